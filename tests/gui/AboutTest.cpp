// The about box and the user guide command, offscreen.
#include "support/HandsetProcess.h"
#include "support/ModalAnswerer.h"
#include "support/ProgramFolderOverride.h"
#include "support/RecordingUser.h"
#include "support/ShownWindow.h"
#include "support/WaitFor.h"

#include "platform/TextFormat.h"
#include "platform/Texts.h"
#include "windows/About.h"
#include "windows/MainUnit.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

// The begin mark of a version record, put together at run time so that this program carries none.
QByteArray RecordMark() {
    return QByteArray("\x01QuorvelVersion") + "Record\x02";
}

struct TShownRow {
    QString caption;
    QString value;
    int y;
};

// The rows of a built about box, in the order of their labels.
std::vector<TShownRow> Rows(QDialog& window) {
    std::vector<TShownRow> rows;
    for (int n = 1;; n += 2) {
        auto* caption = window.findChild<QLabel*>(QString("lbl%1").arg(n));
        auto* value = window.findChild<QLabel*>(QString("lbl%1").arg(n + 1));
        if (!caption || !value)
            return rows;
        rows.push_back({caption->text(), value->text(), caption->y()});
    }
}

std::vector<QString> Captions(QDialog& window) {
    std::vector<QString> captions;
    for (const TShownRow& row : Rows(window))
        captions.push_back(row.caption);
    return captions;
}

// The about box the "About" command shows, answered by closing it once looked at.
struct TSeenAbout {
    std::vector<TShownRow> rows;
    QImage logo;
    int logoX = -1;
    int width = 0;
};

TSeenAbout ShowProgramAboutAndLook() {
    TSeenAbout seen;
    TModalAnswerer answerer(QMessageBox::Ok, [&seen](QDialog& window) {
        seen.rows = Rows(window);
        seen.width = window.width();
        if (auto* logo = window.findChild<QLabel*>("imgLogo")) {
            seen.logo = logo->pixmap().toImage();
            seen.logoX = logo->x();
        }
        window.findChild<QPushButton*>("btnOK")->click();
    });
    ShowProgramAbout(nullptr);
    return seen;
}

TEST(AboutCommand, WithoutFilesShowsFiveRowsAndTheBuiltInLogo) {
    const TProgramFolderOverride folder;
    const TAbout running;
    const TSeenAbout seen = ShowProgramAboutAndLook();
    ASSERT_EQ(seen.rows.size(), 5u);
    const std::vector<QString> expected = {"Product Name", "Product Version", "File Version", "Compiled",
                                           "Home Page"};
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(seen.rows[i].caption, expected[i]);
    EXPECT_EQ(seen.rows[0].value, "Quorvel");
    EXPECT_EQ(seen.rows[1].value.toStdString(), running.String(TVersionKey::ProductVersion));
    EXPECT_EQ(seen.rows[2].value.toStdString(), running.String(TVersionKey::FileVersion));
    EXPECT_FALSE(running.String(TVersionKey::FileVersion).empty());
    EXPECT_EQ(seen.rows[3].value, running.BuildTime());
    EXPECT_FALSE(running.BuildTime().isEmpty());
    EXPECT_TRUE(seen.rows[4].value.contains(QString::fromStdString(running.String(TVersionKey::HomePage))));
    EXPECT_EQ(seen.logo.size(), QSize(TAbout::LogoWidth, TAbout::LogoHeight));
    EXPECT_EQ(seen.logo.convertToFormat(QImage::Format_RGB888), TAbout::BuiltInLogo());
    EXPECT_EQ(seen.logoX, (seen.width - TAbout::LogoWidth) / 2) << "the logo is centred";
}

TEST(AboutCommand, AboutCfgAndLogoFileOfTheProgramFolder) {
    const TProgramFolderOverride folder;
    QFile cfg(folder.File("about.cfg"));
    ASSERT_TRUE(cfg.open(QIODevice::WriteOnly));
    cfg.write(
        "[User Defined About Values]\r\nHomePage=\r\nProductVersion=9.9\r\nproductname = Quorvel Pro\r\n");
    cfg.close();
    QImage logo(40, 20, QImage::Format_RGB888);
    logo.fill(Qt::red);
    ASSERT_TRUE(logo.save(folder.File("AboutLogo.bmp"), "BMP"));

    const TAbout running;
    const TSeenAbout seen = ShowProgramAboutAndLook();
    ASSERT_EQ(seen.rows.size(), 5u);
    EXPECT_EQ(seen.rows[0].value, "Quorvel Pro");
    EXPECT_EQ(seen.rows[1].value, "9.9");
    EXPECT_TRUE(seen.rows[4].value.contains(QString::fromStdString(running.String(TVersionKey::HomePage))))
        << "an empty HomePage= keeps the record's";
    EXPECT_EQ(seen.logo.size(), QSize(40, 20));
    EXPECT_EQ(seen.logo.pixelColor(5, 5), QColor(Qt::red));
}

TEST(AboutBox, AValueOfAboutCfgReplacesTheHomePage) {
    QTemporaryDir dir;
    QFile cfg(dir.filePath("about.cfg"));
    ASSERT_TRUE(cfg.open(QIODevice::WriteOnly));
    cfg.write("[User Defined About Values]\nHomePage=https://other.example/\nEmail=help@other.example\n");
    cfg.close();
    TAbout about;
    about.LoadUserValues(cfg.fileName().toStdString());
    about.LoadUserValues(dir.filePath("missing.cfg").toStdString());
    EXPECT_EQ(about.String(TVersionKey::HomePage), "https://other.example/");
    EXPECT_EQ(about.MailLink().toStdString(),
              "mailto:help@other.example?subject=Software Question: Quorvel " +
                  about.String(TVersionKey::FileVersion));
}

TEST(AboutBox, RowPitchAndSpacing) {
    EXPECT_EQ(TAbout::RowPitch(72), 15);
    EXPECT_EQ(TAbout::RowPitch(96), 15);
    EXPECT_EQ(TAbout::RowPitch(120), 19) << "15 x 120 / 96 = 18.75, rounded";
    EXPECT_EQ(TAbout::RowPitch(144), 23);

    TAbout about;
    EXPECT_EQ(about.Rows(), TAbout::InitialRows);
    // Rows without a logo: the first row a pitch down, "E-mail" two pitches after the row before it, and
    // "Home Page" one pitch after "E-mail".
    for (const int ppi : {96, 120}) {
        const int p = TAbout::RowPitch(ppi);
        const auto window = about.BuildWindow(nullptr, ppi);
        const std::vector<TShownRow> rows = Rows(*window);
        ASSERT_EQ(rows.size(), 6u);
        EXPECT_EQ(rows[0].y, p);
        EXPECT_EQ(rows[1].y - rows[0].y, p);
        EXPECT_EQ(rows[4].caption, "E-mail");
        EXPECT_EQ(rows[4].y - rows[3].y, 2 * p);
        EXPECT_EQ(rows[5].y - rows[4].y, p);
        auto* ok = window->findChild<QPushButton*>("btnOK");
        EXPECT_EQ(ok->y(), rows[5].y + 2 * p);
        EXPECT_EQ(window->height(), ok->y() + 4 * p);
        EXPECT_EQ(window->windowTitle(), "About");
    }
    // Without "E-mail", "Home Page" stands two pitches down as well.
    about.ClearRow(TAbout::RowEmail);
    const auto window = about.BuildWindow(nullptr, 96);
    const std::vector<TShownRow> rows = Rows(*window);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[4].y - rows[3].y, 30);
}

TEST(AboutBox, AllRowsInDisplayOrder) {
    TAbout about;
    about.SetRow(TAbout::RowAll);
    const auto window = about.BuildWindow(nullptr, 96);
    const std::vector<QString> expected = {
        "Product Name", "Internal Name", "Original Filename", "File Description", "Product Version",
        "File Version", "Compiled",      "Legal Copyright",   "Legal Trademarks", "Comments",
        "Company Name", "E-mail",        "Home Page"};
    EXPECT_EQ(Captions(*window), expected);
    EXPECT_TRUE(window->findChild<QLabel*>("lbl2")->font().bold()) << "the product name is bold";
    EXPECT_FALSE(window->findChild<QLabel*>("lbl4")->font().bold());
    for (QLabel* label : window->findChildren<QLabel*>())
        EXPECT_LE(label->x() + label->width() + 25, window->width()) << label->objectName().toStdString();
}

TEST(AboutBox, AnotherProgramFile) {
    const std::string cli = (ProgramFolder() + "/quorvel-cli").toStdString();
    TAbout about(cli);
    EXPECT_EQ(about.String(TVersionKey::InternalName), "quorvel-cli");
    EXPECT_EQ(about.Rows(), TAbout::InitialRows & ~(1u << TAbout::RowCompiled));
    try {
        TAbout missing("/nowhere/reader");
        FAIL() << "no error for a missing file";
    } catch (const EAboutFileError& e) {
        EXPECT_STREQ(e.what(), "File not Found: \"/nowhere/reader\"");
    }
}

// Takes what the user guide command opens, so that no reader starts.
class TOpenedUrls : public QObject {
    Q_OBJECT
public:
    TOpenedUrls() {
        QDesktopServices::setUrlHandler("file", this, "Open");
        QDesktopServices::setUrlHandler("mailto", this, "Open");
    }
    ~TOpenedUrls() override {
        QDesktopServices::unsetUrlHandler("file");
        QDesktopServices::unsetUrlHandler("mailto");
    }
    std::vector<QUrl> Urls;
public slots:
    void Open(const QUrl& url) { Urls.push_back(url); }
};

// A desktop whose xdg-mime names a PDF reader (or none), and the reader's desktop entry.
struct UserGuide : testing::Test {
    UserGuide()
        : oldPath(qgetenv("PATH"))
        , oldData(qgetenv("XDG_DATA_HOME")) {
        qputenv("PATH", (desktop.path() + ":" + QString::fromLocal8Bit(oldPath)).toLocal8Bit());
        qputenv("XDG_DATA_HOME", desktop.path().toLocal8Bit());
        QDir(desktop.path()).mkpath("applications");
    }
    ~UserGuide() override {
        qputenv("PATH", oldPath);
        qputenv("XDG_DATA_HOME", oldData);
    }

    void WriteExecutable(const QString& name, const QByteArray& text) {
        QFile file(desktop.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.setPermissions(file.permissions() | QFile::ExeOwner);
    }
    // A reader program whose file carries a version record with this version; without one when empty.
    void RegisterReader(const QByteArray& version) {
        WriteExecutable("xdg-mime", "#!/bin/sh\necho test-reader.desktop\n");
        QByteArray program = "#!/bin/sh\n";
        if (!version.isEmpty())
            program += "# " + RecordMark() + "ProductName=Reader\nFileVersion=" + version + "\n\x03\n";
        WriteExecutable("test-reader", program);
        QFile entry(desktop.filePath("applications/test-reader.desktop"));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Reader\nExec=test-reader %f\n");
    }

    TProgramFolderOverride folder;
    QTemporaryDir desktop;
    QByteArray oldPath;
    QByteArray oldData;
    TOpenedUrls opened;
    TRecordingUser user;
};

TEST_F(UserGuide, OpensTheGuideOfTheProgramFolder) {
    RegisterReader("");
    OpenUserGuide(user);
    ASSERT_EQ(opened.Urls.size(), 1u);
    EXPECT_EQ(opened.Urls[0], QUrl::fromLocalFile(folder.File("QuorvelUserGuide.pdf")));
    EXPECT_TRUE(user.Messages.empty()) << "a reader whose version is not known is taken as it is";
}

TEST_F(UserGuide, WithoutAReaderSaysOneIsNeeded) {
    WriteExecutable("xdg-mime", "#!/bin/sh\nexit 0\n");
    OpenUserGuide(user);
    EXPECT_EQ(opened.Urls.size(), 1u) << "the guide is opened all the same";
    ASSERT_EQ(user.Messages.size(), 1u);
    EXPECT_EQ(user.Messages[0].kind, TMessageKind::Information);
    const QString guide = folder.File("QuorvelUserGuide.pdf");
    EXPECT_EQ(user.Messages[0].text, FormatText(Texts::PdfReaderNeeded, guide.toStdString().c_str()));
    EXPECT_TRUE(QFileInfo(guide).isAbsolute());
}

// F1 in the window, on a desktop without a reader: the box names the guide's file, to be opened another
// way.
TEST_F(UserGuide, F1WithoutAReaderNamesTheGuideFile) {
    WriteExecutable("xdg-mime", "#!/bin/sh\nexit 0\n");
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    TSaveQuestionForm saveQuestion;
    TProgressForm progress;
    auto form = ShownWindow(handset, saveQuestion, progress);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));

    TModalAnswerer answerer;
    QTest::keyClick(form.get(), Qt::Key_F1);
    ASSERT_TRUE(WaitFor([&] { return !answerer.Texts.empty(); }));
    EXPECT_EQ(opened.Urls.size(), 1u);
    const QString guide = folder.File("QuorvelUserGuide.pdf");
    EXPECT_TRUE(answerer.Texts[0].startsWith("A PDF reader is needed")) << answerer.Texts[0].toStdString();
    EXPECT_TRUE(answerer.Texts[0].contains(guide)) << answerer.Texts[0].toStdString();
}

TEST_F(UserGuide, AReaderOfKnownVersion) {
    RegisterReader("10.1.0");
    OpenUserGuide(user);
    EXPECT_TRUE(user.Messages.empty());

    RegisterReader("4.05");
    OpenUserGuide(user);
    ASSERT_EQ(user.Messages.size(), 1u);
    EXPECT_EQ(user.Messages[0].text, "Adobe Reader 5 or newer is required to read the user guide.");
}

TEST(UserGuideFile, IsAPdfWithAPictureOfEachTabAndTheStation) {
    const TProgramFolderOverride folder;
    QFile settings(folder.File("settings.cfg"));
    ASSERT_TRUE(QFile::copy(ProgramFolder() + "/settings.cfg", settings.fileName()));
    const TMainForm form({"quorvel"});
    const int tabs = form.findChild<QTabWidget*>("PageControl")->count();
    EXPECT_EQ(tabs, 5);

    QFile guide(ProgramFolder() + "/QuorvelUserGuide.pdf");
    ASSERT_TRUE(guide.open(QIODevice::ReadOnly)) << "the build makes the guide";
    const QByteArray pdf = guide.readAll();
    EXPECT_TRUE(pdf.startsWith("%PDF-"));
    EXPECT_TRUE(pdf.trimmed().endsWith("%%EOF"));
    // A picture of each tab and one of the provisioning station's window.
    EXPECT_EQ(pdf.count("/Subtype /Image"), tabs + 1);
    // Each tab at the window's designed size and at 1280x800, for the package.
    EXPECT_TRUE(QFile::exists(ProgramFolder() + "/screenshots/station-window.png"));
    for (const char* tab : {"main-window", "speed-dial-tab", "groups-tab", "profile-tab", "sim-tab"})
        for (const auto& [suffix, size] :
             {std::pair{"", QSize()}, std::pair{"-1280x800", QSize(1280, 800)}}) {
            const QString file = ProgramFolder() + "/screenshots/" + tab + suffix + ".png";
            const QImage picture(file);
            EXPECT_FALSE(picture.isNull()) << file.toStdString();
            if (size.isValid()) {
                EXPECT_EQ(picture.size(), size) << file.toStdString();
            }
        }
}

} // namespace

#include "AboutTest.moc"
