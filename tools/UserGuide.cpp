// Makes the user guide: starts the virtual handset, runs the window against it offscreen, reads every
// list from the handset, takes a picture of each tab, and prints the guide's source with those
// pictures and the command-line tool's own help into a PDF. The logo file of the program folder is made
// here too, from the logo the program has built in.
//
//   quorvel-userguide SOURCE.html PROGRAM_FOLDER OUTPUT.pdf LOGO.bmp
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "windows/About.h"
#include "windows/ComUnit.h"
#include "windows/MainUnit.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPageSize>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>

#include <cstdio>
#include <stdexcept>

namespace {

constexpr int StartTimeoutMs = 5000;
constexpr int HelpTimeoutMs = 10000;
constexpr int PdfResolution = 300;

[[noreturn]] void Fail(const QString& text) {
    throw std::runtime_error(text.toStdString());
}

// The virtual handset the pictures are taken against, with a phone book and groups to show.
class THandset {
public:
    explicit THandset(const QString& programs) {
        Process.setProgram(programs + "/quorvel-handset");
        Process.setArguments({"--pcs", "06Q", "--phonebook-entries", "8", "--groups", "3,7,12,40"});
        Process.start();
        QByteArray seen;
        const QDeadlineTimer deadline(StartTimeoutMs);
        while (!seen.contains('\n') && Process.waitForReadyRead(int(deadline.remainingTime())))
            seen += Process.readAllStandardOutput();
        const auto match = QRegularExpression(R"(\(COM(\d+)\))").match(QString::fromLocal8Bit(seen));
        if (!match.hasMatch())
            Fail("the virtual handset did not start: " + QString::fromLocal8Bit(seen));
        Com = match.captured(1).toInt();
    }
    ~THandset() {
        Process.terminate();
        if (!Process.waitForFinished(StartTimeoutMs))
            Process.kill();
        Process.waitForFinished(StartTimeoutMs);
    }
    int Com = 0;

private:
    QProcess Process;
};

// Boxes the operations show (a finished read, a handset without a feature) are answered with OK.
void AnswerBoxes() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        std::fprintf(stderr, "quorvel-userguide: %s\n", qPrintable(box->text()));
        box->accept();
    } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->reject();
    }
}

void Click(TMainForm& form, const char* button) {
    auto* control = form.findChild<QAbstractButton*>(button);
    if (!control)
        Fail(QString("the window has no button %1").arg(button));
    control->click();
}

QString Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(HelpTimeoutMs) || process.exitCode() != 0)
        Fail(program + " " + arguments.join(' ') + " did not run");
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The tool's help and that of each of its commands, as they stand.
QString CommandsHtml(const QString& programs) {
    const QString cli = programs + "/quorvel-cli";
    const QString help = Run(cli, {"--help"});
    QString html = "<pre>" + help.toHtmlEscaped() + "</pre>";
    const QRegularExpression command(R"(^  ([a-z][a-z-]*))", QRegularExpression::MultilineOption);
    const qsizetype list = help.indexOf("commands:");
    for (auto it = command.globalMatch(help, list < 0 ? 0 : list); it.hasNext();) {
        const QString name = it.next().captured(1);
        html +=
            "<h3>quorvel-cli " + name + "</h3><pre>" + Run(cli, {name, "--help"}).toHtmlEscaped() + "</pre>";
    }
    return html;
}

void MakeGuide(const QString& source, const QString& programs, const QString& output, const QString& logo) {
    if (!TAbout::BuiltInLogo().save(logo, "BMP"))
        Fail("cannot write " + logo);

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
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        QApplication::processEvents();
        const QString name = pages->widget(i)->objectName() + ".png";
        if (!html.contains("src=\"" + name + "\""))
            Fail("the guide has no picture of the tab \"" + pages->tabText(i) + "\" (" + name + ")");
        const QImage picture = form.grab().toImage();
        document.addResource(QTextDocument::ImageResource, QUrl(name), picture);
        // For whoever writes the guide: the pictures as files.
        if (const QString keep = qEnvironmentVariable("QUORVEL_GUIDE_PICTURES"); !keep.isEmpty())
            picture.save(keep + "/" + name);
    }
    pages->setCurrentIndex(0);

    html.replace("@VERSION@", QString::fromStdString(TAbout().String(TVersionKey::FileVersion)));
    html.replace("<!--COMMANDS-->", CommandsHtml(programs));
    document.setHtml(html);

    const QString partial = output + ".part";
    {
        QPdfWriter writer(partial);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(PdfResolution);
        writer.setTitle("Quorvel User Guide");
        writer.setCreator("Quorvel");
        document.print(&writer);
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
