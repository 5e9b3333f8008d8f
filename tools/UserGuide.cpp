// Makes the user guide: starts the virtual handset, runs the window against it offscreen, reads every
// list from the handset, takes a picture of each tab and of the provisioning station's window, and
// prints the guide's source with those pictures and the command-line options its chapters name, as the
// tool's help tells them, into a PDF. The pictures are also kept in PROGRAM_FOLDER/screenshots/ for the
// package's metainfo, those of the tabs at two sizes of the window. The logo file of the program folder is
// made here too, from the logo the program has built in.
//
//   quorvel-userguide SOURCE.html PROGRAM_FOLDER OUTPUT.pdf LOGO.bmp
//
// QUORVEL_GUIDE_PICTURES=DIR keeps the pictures under their names in the guide, QUORVEL_GUIDE_PAGES=DIR
// each page of the guide as page-NN.png, drawn as the PDF is, and the HTML laid out as guide.html, for
// whoever writes the guide.
#include "GuideChecks.h"
#include "GuideFailure.h"
#include "GuideHandset.h"
#include "GuideOptions.h"
#include "GuidePages.h"
#include "GuidePictures.h"

#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "windows/About.h"
#include "windows/ComUnit.h"
#include "windows/MainUnit.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <stdexcept>

namespace {

void MakeGuide(const QString& source, const QString& programs, const QString& output, const QString& logo) {
    if (!TAbout::BuiltInLogo().save(logo, "BMP"))
        Fail("cannot write " + logo);
    if (!QDir(programs).mkpath("screenshots"))
        Fail("cannot make " + programs + "/screenshots");

    QFile sourceFile(source);
    if (!sourceFile.open(QIODevice::ReadOnly))
        Fail("cannot read " + source);
    QString html = QString::fromUtf8(sourceFile.readAll());

    // The window's own folders, apart from the build's and the person's.
    const QTemporaryDir perUser;
    const QTemporaryDir machine;
    const QTemporaryDir programFolder;
    qputenv("QUORVEL_CONFIG_DIR", perUser.path().toLocal8Bit());
    qputenv("QUORVEL_STATE_DIR", machine.path().toLocal8Bit());
    qputenv("QUORVEL_PROGRAM_DIR", programFolder.path().toLocal8Bit());
    QDir(programFolder.path()).mkpath("sim_list");
    QFile::copy(programs + "/settings.cfg", programFolder.filePath("settings.cfg"));
    QFile::copy(programs + "/sim_list/VSIMLIST.xml", programFolder.filePath("sim_list/VSIMLIST.xml"));
    // The station window runs the tool of the program folder.
    QFile::link(programs + "/quorvel-cli", programFolder.filePath("quorvel-cli"));

    const THandset handset(programs);
    TIniFile(ProgramIniPath()).WriteInteger("Serial Port", "Device No", handset.Com);

    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, &AnswerBoxes);
    answerer.start(20);

    TMainForm form({"quorvel"});
    TComForm comForm(form.Core().Engine(), form.Core().SelectedPort, &form);
    TSaveQuestionForm saveQuestion(&form);
    TProgressForm progress(&form);
    form.SetWindows(&comForm, &saveQuestion, &progress);
    form.resize(TMainForm::DesignWidth, TMainForm::DesignHeight);
    form.show();
    QApplication::processEvents();
    if (!form.Port().IsOpen())
        Fail("the window could not open the virtual handset's port");

    auto* pages = form.findChild<QTabWidget*>("PageControl");
    const std::pair<const char*, const char*> reads[] = {{"tsPhoneBook", "bbtnLoadFromPp"},
                                                         {"tsProfile", "bbtnReadDefaultsFromPp"},
                                                         {"tsSpeedDial", "bbtnReadSpeedDial"},
                                                         {"tsBroadcastGroups", "bbtnReadBroadcastGroups"}};
    for (const auto& [sheet, button] : reads) {
        pages->setCurrentWidget(form.findChild<QWidget*>(sheet));
        Click(form, button);
    }

    QTextDocument document;
    TPictureTexts shown;
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        QApplication::processEvents();
        const QString objectName = pages->widget(i)->objectName();
        const QString name = objectName + ".png";
        if (!html.contains("src=\"" + name + "\""))
            Fail("the guide has no picture of the tab \"" + pages->tabText(i) + "\" (" + name + ")");
        const QImage picture = form.grab().toImage();
        shown[name] = ShownTexts(form);
        document.addResource(QTextDocument::ImageResource, QUrl(name), picture);
        KeepPicture(programs, objectName, name, picture);
    }
    KeepLargePictures(programs, form, *pages);
    pages->setCurrentIndex(0);
    if (html.contains("src=\"StationView.png\"")) {
        const TPicture station = StationPicture(form);
        shown["StationView.png"] = station.texts;
        document.addResource(QTextDocument::ImageResource, QUrl("StationView.png"), station.image);
        KeepPicture(programs, "StationView", "StationView.png", station.image);
    }

    html.replace("@VERSION@", QString::fromStdString(TAbout().String(TVersionKey::FileVersion)));
    html = WithOptionTables(html, programs);
    // Laid out on pages of points, so that the breaks set below are where the pages break.
    document.setDocumentMargin(PageMargin);
    document.setPageSize(QSizeF(PageWidth, PageHeight));
    SetGuide(document, html);
    if (const QString keep = qEnvironmentVariable("QUORVEL_GUIDE_PAGES"); !keep.isEmpty()) {
        QFile kept(keep + "/guide.html");
        const QByteArray text = html.toUtf8();
        if (!kept.open(QIODevice::WriteOnly) || kept.write(text) != text.size() || !kept.flush())
            Fail("cannot write " + kept.fileName());
        std::fprintf(stderr, "quorvel-userguide: %d pages, %lld characters\n", document.pageCount(),
                     static_cast<long long>(document.characterCount()));
    }

    const QString partial = output + ".part";
    Print(document, partial);
    // Checked once printed, so that the pages kept for whoever writes the guide show what is wrong.
    try {
        CheckPagesHoldTheirText(document);
        CheckPicturesShowNoTemporaryPath(document, shown);
    } catch (...) {
        QFile::remove(partial);
        throw;
    }
    QFile::remove(output);
    if (!QFile::rename(partial, output))
        Fail("cannot write " + output);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 5) {
        std::fprintf(stderr, "usage: quorvel-userguide SOURCE.html PROGRAM_FOLDER OUTPUT.pdf LOGO.bmp\n");
        return 2;
    }
    try {
        MakeGuide(arguments[1], arguments[2], arguments[3], arguments[4]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvel-userguide: %s\n", e.what());
        return 1;
    }
    return 0;
}
