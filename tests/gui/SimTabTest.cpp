// The SIM tab's start-up check of the interpreter list in the program folder.
#include "support/ModalAnswerer.h"
#include "support/ProgramFolderOverride.h"

#include "windows/MainUnit.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct SimTab : testing::Test {
    SimTab() {
        qputenv("QUORVEL_CONFIG_DIR", config.path().toLocal8Bit());
        QFile settings(programFolder.File("settings.cfg"));
        settings.open(QIODevice::WriteOnly);
        settings.write("VIRTUAL_SIM=ON\r\n");
    }
    void WriteList(const QByteArray& text) {
        QDir(programFolder.Path()).mkpath("sim_list");
        QFile file(programFolder.File("sim_list/VSIMLIST.xml"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    static QByteArray List(const char* version, const char* date) {
        return QByteArray("<handset><info><document version=\"") + version + "\" date=\"" + date +
               "\"/></info></handset>\r\n";
    }
    // Runs the check and gives the texts of the boxes it showed.
    std::vector<QString> Check(TMainForm& form) {
        TModalAnswerer answerer;
        form.CheckSimInterpreter();
        return answerer.Texts;
    }
    static QString Label(TMainForm& form, const char* name) { return form.findChild<QLabel*>(name)->text(); }
    static bool SimTabVisible(TMainForm& form) {
        auto* pages = form.findChild<QTabWidget*>("PageControl");
        return pages->isTabVisible(pages->indexOf(form.findChild<QWidget*>("tsSim")));
    }

    QTemporaryDir config;
    TProgramFolderOverride programFolder{false};
};

} // namespace

TEST_F(SimTab, AListOfVersionTwoShowsItsDateAndVersion) {
    WriteList(List("2.10", "08-12-2026 and more text"));
    TMainForm form({"quorvel"});
    EXPECT_TRUE(Check(form).empty());
    EXPECT_EQ(Label(form, "lblXmlVersionText"), "2.10");
    EXPECT_EQ(Label(form, "lblXmlDateText"), "08-12-2026 and more ");
    EXPECT_TRUE(SimTabVisible(form));
}

TEST_F(SimTab, AMissingListLeavesErrorAndTheTab) {
    TMainForm form({"quorvel"});
    const auto texts = Check(form);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "SIM interpreter could not be located!");
    EXPECT_EQ(Label(form, "lblXmlVersionText"), "Error");
    EXPECT_EQ(Label(form, "lblXmlDateText"), "Error");
    EXPECT_TRUE(SimTabVisible(form));
}

TEST_F(SimTab, AnotherVersionOrAnUnreadableListHidesTheTab) {
    for (const char* version : {"1.05", "3.0", "2"}) {
        WriteList(List(version, "d"));
        TMainForm form({"quorvel"});
        const auto texts = Check(form);
        ASSERT_EQ(texts.size(), 1u) << version;
        EXPECT_EQ(texts[0],
                  QString("Current SIM Interpreter version %1 - Required version 2.xx").arg(version));
        EXPECT_FALSE(SimTabVisible(form)) << version;
        EXPECT_EQ(Label(form, "lblXmlVersionText"), version);
    }

    // 5000 bytes without a line feed: neither tokenizer can read it.
    WriteList("<handset>" + QByteArray(5000, 'x'));
    TMainForm form({"quorvel"});
    const auto texts = Check(form);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(texts[0].startsWith("The SIM interpreter list could not be read: "))
        << texts[0].toStdString();
    EXPECT_TRUE(texts[0].contains("Line too long")) << texts[0].toStdString();
    EXPECT_FALSE(SimTabVisible(form));
}
