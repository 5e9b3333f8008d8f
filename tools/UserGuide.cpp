// Makes the user guide: starts the virtual handset, runs the window against it offscreen, reads every
// list from the handset, takes a picture of each tab and of the provisioning station's window, and
// prints the guide's source with those pictures and the command-line tool's own help (each command
// once) into a PDF. The pictures are also kept in PROGRAM_FOLDER/screenshots/ for the package's
// metainfo, those of the tabs at two sizes of the window. The logo file of the program folder is made here
// too, from the logo the program has built in.
//
//   quorvel-userguide SOURCE.html PROGRAM_FOLDER OUTPUT.pdf LOGO.bmp
//
// QUORVEL_GUIDE_PICTURES=DIR keeps the pictures under their names in the guide, QUORVEL_GUIDE_PAGES=DIR
// each page of the guide as page-NN.png, drawn as the PDF is, and the HTML laid out as guide.html, for
// whoever writes the guide.
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "windows/About.h"
#include "windows/ComUnit.h"
#include "windows/MainUnit.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"
#include "windows/StationView.h"

#include <QAbstractButton>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QSize>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int StartTimeoutMs = 5000;
constexpr int HelpTimeoutMs = 10000;
constexpr int PdfResolution = 300;
// Inherited file descriptors below this are closed in the virtual handset.
constexpr int FileDescriptorsClosed = 1024;
// The page, A4 with margins of 2 cm, in the units the document is laid out in: pixels of 1/96 inch,
// the resolution the offscreen platform gives text and pictures.
constexpr double LayoutDpi = 96;
constexpr double PageWidth = 210 / 25.4 * LayoutDpi;
constexpr double PageHeight = 297 / 25.4 * LayoutDpi;
constexpr double PageMargin = 2 / 2.54 * LayoutDpi;
// A heading closer than this to the foot of its page goes to the next page with what follows it.
constexpr double HeadingKeep = 1.2 * LayoutDpi;

// The pictures as files in PROGRAM_FOLDER/screenshots, by the object name of what they show. Each tab is
// also taken at LargeSize, in NAME-1280x800.png; NAME.png shows the window at its designed size, as the
// guide's pages do.
const std::pair<const char*, const char*> ScreenshotNames[] = {{"tsPhoneBook", "main-window"},
                                                               {"tsSpeedDial", "speed-dial-tab"},
                                                               {"tsBroadcastGroups", "groups-tab"},
                                                               {"tsProfile", "profile-tab"},
                                                               {"tsSim", "sim-tab"},
                                                               {"StationView", "station-window"}};
constexpr QSize LargeSize(1280, 800);

[[noreturn]] void Fail(const QString& text) {
    throw std::runtime_error(text.toStdString());
}

// The virtual handset the pictures are taken against, with a phone book and groups to show.
class THandset {
public:
    explicit THandset(const QString& programs) {
        Process.setProgram(programs + "/quorvel-handset");
        Process.setArguments({"--pcs", "06Q", "--phonebook-entries", "8", "--groups", "3,7,12,40"});
        // The handset ends with the guide maker, even one that is killed, and keeps none of the files the
        // maker inherited: a build lock held by whoever runs the build would otherwise stay held by an
        // orphaned handset and stop every later build.
        Process.setChildProcessModifier([] {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            for (int fd = 3; fd < FileDescriptorsClosed; ++fd)
                if (const int flags = fcntl(fd, F_GETFD); flags >= 0 && !(flags & FD_CLOEXEC))
                    close(fd);
        });
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

// Lines of help as a block of fixed-width text, without the indent they share.
QString Pre(const QString& text) {
    QStringList lines = text.split('\n');
    while (!lines.isEmpty() && lines.back().trimmed().isEmpty())
        lines.removeLast();
    qsizetype indent = -1;
    for (const QString& line : lines)
        if (!line.trimmed().isEmpty()) {
            const qsizetype blanks = line.indexOf(QRegularExpression("\\S"));
            indent = indent < 0 ? blanks : std::min(indent, blanks);
        }
    for (QString& line : lines)
        line = line.mid(std::max<qsizetype>(indent, 0));
    return "<pre>" + lines.join('\n').toHtmlEscaped() + "</pre>";
}

// Lines of help that name an option or command in a first column and tell of it in a second, the
// second column going on in lines that begin with blanks, as a table whose second column wraps.
QString Table(const QString& text) {
    QList<std::pair<QString, QString>> rows;
    const QRegularExpression columns("^(\\S(?:.*?\\S)?)(?:\\s{2,}(.*))?$");
    for (const QString& line : text.split('\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty())
            continue;
        const QRegularExpressionMatch row = columns.match(line.mid(2));
        if (line.startsWith("  ") && !line.startsWith("   ") && row.hasMatch())
            rows.append({row.captured(1), row.captured(2)});
        else if (!rows.isEmpty())
            rows.back().second += ' ' + trimmed;
    }
    QString html = "<table cellspacing=\"0\">";
    for (const auto& [name, what] : rows)
        html += "<tr><td width=\"34%\"><tt>" + name.toHtmlEscaped() + "</tt></td><td>" +
                what.toHtmlEscaped() + "</td></tr>";
    return html + "</table>";
}

// One command's help without what every command's help repeats (the global options and the exit
// status, which the chapter gives once): its usage, what it does, its options and its example.
QString CommandHtml(const QString& help) {
    QString html;
    for (const QString& part : help.split(QRegularExpression("\n\\s*\n"), Qt::SkipEmptyParts)) {
        const QString text = part.trimmed();
        if (text.startsWith("global options:") || text.startsWith("Exit status:"))
            continue;
        if (text.startsWith("usage: "))
            html += Pre(text.mid(7));
        else if (text.startsWith("options:"))
            html += "<p class=\"label\">options</p>" + Table(part.section('\n', 1));
        else if (text.startsWith("example:") || text.startsWith("examples:"))
            html += "<p class=\"label\">" + text.section('\n', 0, 0).chopped(1).toHtmlEscaped() + "</p>" +
                    Pre(text.section('\n', 1));
        else
            html += "<p>" + text.simplified().toHtmlEscaped() + "</p>";
    }
    return html;
}

// The tool's overview, its global options and exit status once, then each command once.
QString CommandsHtml(const QString& programs) {
    const QString cli = programs + "/quorvel-cli";
    const QString help = Run(cli, {"--help"});
    const qsizetype list = help.indexOf("commands:");
    const qsizetype global = help.indexOf("global options:");
    const qsizetype status = help.indexOf("Exit status:");
    if (list < 0 || global < list || status < global)
        Fail("quorvel-cli --help no longer has its commands, global options and exit status");
    QString html = "<h3>All commands</h3>" + Table(help.mid(list, global - list).section('\n', 1));
    html += "<h3>Global options</h3><p>They go before the command and work with every command.</p>" +
            Table(help.mid(global, status - global).section('\n', 1));
    html += "<h3>Exit status</h3><p>" +
            help.mid(status)
                .section("\n\n", 0, 0)
                .mid(QString("Exit status:").size())
                .simplified()
                .toHtmlEscaped() +
            "</p>";
    const QRegularExpression command(R"(^  ([a-z][a-z-]*(?: [a-z][a-z-]*)?)  )",
                                     QRegularExpression::MultilineOption);
    for (auto it = command.globalMatch(help.left(global), list); it.hasNext();) {
        const QString name = it.next().captured(1);
        html += "<h4>quorvel-cli " + name + "</h4>" + CommandHtml(Run(cli, name.split(' ') << "--help"));
    }
    return html;
}

// The file in PROGRAM_FOLDER/screenshots of a picture of what objectName names, with suffix after its
// name ("-1280x800" or none).
QString ScreenshotFile(const QString& programs, const QString& objectName, const QString& suffix) {
    for (const auto& [shown, name] : ScreenshotNames)
        if (objectName == shown)
            return programs + "/screenshots/" + name + suffix + ".png";
    Fail("no screenshot is named for " + objectName);
}

void SaveScreenshot(const QString& file, const QImage& picture) {
    if (!picture.save(file))
        Fail("cannot write " + file);
}

// What a picture shows is kept as a file for the package and, when asked, under its name in the guide.
void KeepPicture(const QString& programs, const QString& objectName, const QString& guideName,
                 const QImage& picture) {
    SaveScreenshot(ScreenshotFile(programs, objectName, ""), picture);
    if (const QString keep = qEnvironmentVariable("QUORVEL_GUIDE_PICTURES"); !keep.isEmpty())
        picture.save(keep + "/" + guideName);
}

// Each tab once more in a window of LargeSize, for the package: the grids and lists take the room.
void KeepLargePictures(const QString& programs, TMainForm& form, QTabWidget& pages) {
    const QSize designed = form.size();
    form.resize(LargeSize);
    QApplication::processEvents();
    for (int i = 0; i < pages.count(); ++i) {
        pages.setCurrentIndex(i);
        QApplication::processEvents();
        const QImage picture = form.grab().toImage();
        if (picture.size() != LargeSize)
            Fail(QString("the window took %1x%2 instead of %3x%4")
                     .arg(picture.width())
                     .arg(picture.height())
                     .arg(LargeSize.width())
                     .arg(LargeSize.height()));
        const QString suffix = QString("-%1x%2").arg(LargeSize.width()).arg(LargeSize.height());
        SaveScreenshot(ScreenshotFile(programs, pages.widget(i)->objectName(), suffix), picture);
    }
    form.resize(designed);
    QApplication::processEvents();
}

// The provisioning station's window with a template chosen, as Options > Station... shows it.
QImage StationPicture(TMainForm& form) {
    const QTemporaryDir temporary;
    const QDir folder(temporary.filePath("office"));
    if (!folder.mkpath("."))
        Fail("cannot make the example template " + folder.path());
    const auto write = [&](const char* name, const QByteArray& text) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            Fail("cannot write the example template " + file.fileName());
    };
    write("phonebook.phb", "Reception,200\r\n{name},{extension}\r\n");
    write("speeddial.sdl", "Key_1,200\r\n");
    write("profile.pro", "[profile settings]\r\nringer volume=3\r\n");
    write("handsets.csv", "serial,name,extension,ringer tone\n00001 0000001,Anna,201,2\n"
                          "00001 0000002,Bob,202,3\n");
    TStationView station(form);
    station.show();
    auto* edit = station.findChild<QLineEdit*>("edtTemplate");
    if (!edit)
        Fail("the station window has no template field");
    edit->setText(QDir::toNativeSeparators(folder.path()));
    QMetaObject::invokeMethod(edit, "editingFinished");
    QApplication::processEvents();
    const QImage picture = station.grab().toImage();
    // The field would tell a window being destroyed that its editing finished.
    QObject::disconnect(edit, nullptr, &station, nullptr);
    return picture;
}

// Which heading, counted from the first, would sit alone at the foot of a page (its text begins on
// the next, or too little room is left below it); -1 for none.
int HeadingAlone(const QTextDocument& document) {
    const QAbstractTextDocumentLayout* layout = document.documentLayout();
    int heading = -1;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 0)
            continue;
        ++heading;
        const QTextBlock next = block.next();
        if (!next.isValid())
            continue;
        const double top = layout->blockBoundingRect(block).top();
        const QTextLayout* nextLines = next.layout();
        double nextEnd = layout->blockBoundingRect(next).top();
        if (nextLines && nextLines->lineCount() > 0)
            nextEnd += nextLines->lineAt(0).y() + nextLines->lineAt(0).height();
        const int page = int(top / PageHeight);
        const bool alone = int(nextEnd / PageHeight) != page || (page + 1) * PageHeight - top < HeadingKeep;
        if (alone && top - page * PageHeight > PageMargin + 1)
            return heading;
    }
    return -1;
}

// Lays the guide out with headings kept to what follows them: one that would end a page begins the
// next instead. The renderer takes "page-break-before: always" but no "page-break-after: avoid", so
// the breaks are put into the guide's headings here, one at a time, each on a fresh layout, as each
// moves what comes after it.
void SetGuide(QTextDocument& document, const QString& html) {
    const QRegularExpression headingTag("<h[1-6]");
    QList<int> breaks;
    for (;;) {
        QString broken = html;
        int heading = 0;
        qsizetype at = 0;
        for (auto it = headingTag.globalMatch(html); it.hasNext(); ++heading) {
            const QRegularExpressionMatch match = it.next();
            if (!breaks.contains(heading))
                continue;
            const QString style = " style=\"page-break-before: always\"";
            broken.insert(match.capturedEnd() + at, style);
            at += style.size();
        }
        document.setHtml(broken);
        const int alone = HeadingAlone(document);
        if (alone < 0 || breaks.contains(alone))
            return;
        breaks.append(alone);
    }
}

// Draws page index of the laid-out document, with its number at the foot, on a painter whose device
// is a page.
void DrawPage(QTextDocument& document, QPainter& painter, int index, int count) {
    const QRect device = painter.viewport();
    painter.save();
    painter.scale(device.width() / PageWidth, device.height() / PageHeight);
    painter.save();
    painter.translate(0, -index * PageHeight);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(0, index * PageHeight, PageWidth, PageHeight);
    painter.setClipRect(context.clip);
    document.documentLayout()->draw(&painter, context);
    painter.restore();
    QFont font = document.defaultFont();
    font.setPointSizeF(8);
    painter.setFont(font);
    painter.setPen(Qt::darkGray);
    painter.drawText(QRectF(PageMargin, PageHeight - PageMargin * 0.8, PageWidth - 2 * PageMargin, 20),
                     Qt::AlignRight | Qt::AlignTop, QString("%1 / %2").arg(index + 1).arg(count));
    painter.restore();
}

void Print(QTextDocument& document, const QString& output) {
    const int count = document.pageCount();
    QPdfWriter writer(output);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(PdfResolution);
    writer.setTitle("Quorvel User Guide");
    writer.setCreator("Quorvel");
    QPainter painter(&writer);
    for (int page = 0; page < count; ++page) {
        if (page > 0)
            writer.newPage();
        DrawPage(document, painter, page, count);
    }
    if (!painter.end())
        Fail("cannot write " + output);

    if (const QString keep = qEnvironmentVariable("QUORVEL_GUIDE_PAGES"); !keep.isEmpty())
        for (int page = 0; page < count; ++page) {
            QImage image(int(PageWidth * 2), int(PageHeight * 2), QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter onImage(&image);
            DrawPage(document, onImage, page, count);
            onImage.end();
            image.save(QString("%1/page-%2.png").arg(keep).arg(page + 1, 2, 10, QChar('0')));
        }
}

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
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        QApplication::processEvents();
        const QString objectName = pages->widget(i)->objectName();
        const QString name = objectName + ".png";
        if (!html.contains("src=\"" + name + "\""))
            Fail("the guide has no picture of the tab \"" + pages->tabText(i) + "\" (" + name + ")");
        const QImage picture = form.grab().toImage();
        document.addResource(QTextDocument::ImageResource, QUrl(name), picture);
        KeepPicture(programs, objectName, name, picture);
    }
    KeepLargePictures(programs, form, *pages);
    pages->setCurrentIndex(0);
    if (html.contains("src=\"StationView.png\"")) {
        const QImage station = StationPicture(form);
        document.addResource(QTextDocument::ImageResource, QUrl("StationView.png"), station);
        KeepPicture(programs, "StationView", "StationView.png", station);
    }

    html.replace("@VERSION@", QString::fromStdString(TAbout().String(TVersionKey::FileVersion)));
    html.replace("<!--COMMANDS-->", CommandsHtml(programs));
    // Laid out on pages of points, so that the breaks set below are where the pages break.
    document.setDocumentMargin(PageMargin);
    document.setPageSize(QSizeF(PageWidth, PageHeight));
    SetGuide(document, html);
    if (const QString keep = qEnvironmentVariable("QUORVEL_GUIDE_PAGES"); !keep.isEmpty()) {
        QFile kept(keep + "/guide.html");
        if (kept.open(QIODevice::WriteOnly))
            kept.write(html.toUtf8());
        std::fprintf(stderr, "quorvel-userguide: %d pages, %lld characters\n", document.pageCount(),
                     static_cast<long long>(document.characterCount()));
    }

    const QString partial = output + ".part";
    Print(document, partial);
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
