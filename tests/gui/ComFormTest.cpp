// The connection settings window offscreen: the port list, what Close and Escape store, the test.
#include "support/FakeLink.h"
#include "support/HandsetProcess.h"
#include "support/ModalAnswerer.h"
#include "support/ProgramFolderOverride.h"

#include "link/ConnectionSettings.h"
#include "link/Sndmail.h"
#include "link/StopRequest.h"
#include "platform/DeviceMap.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Texts.h"
#include "windows/ComUnit.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

struct ComForm : testing::Test {
    ComForm() { qputenv("QUORVEL_CONFIG_DIR", config.path().toLocal8Bit()); }

    void SetUp() override {
        QFile::remove(QString::fromStdString(ProgramIniPath()));
        MoveMachinePortsOutOfTheList();
    }
    void TearDown() override { qunsetenv("QUORVEL_PORTS"); }

    // The serial devices of the machine would take the lowest free numbers; high numbers in the map file
    // keep them out of the list, so that it holds only the ports a test maps.
    void MoveMachinePortsOutOfTheList() {
        QFile map(QString::fromStdString(DeviceMap::MapFilePath()));
        ASSERT_TRUE(map.open(QIODevice::WriteOnly));
        int n = 200;
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
            if (n <= DeviceMap::MaxPortNumber)
                map.write(QString("COM%1=%2\n").arg(n++).arg(info.systemLocation()).toLocal8Bit());
    }

    // Ports COMn mapped to plain files, which exist like devices but never open as serial ports.
    void MapPorts(std::initializer_list<int> numbers, QFileDevice::Permissions permissions = {}) {
        QStringList entries;
        for (const int n : numbers) {
            const QString path = devices.filePath(QString("port%1").arg(n));
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.close();
            if (permissions.toInt() != 0)
                file.setPermissions(permissions);
            entries << QString("COM%1=%2").arg(n).arg(path);
        }
        qputenv("QUORVEL_PORTS", entries.join(';').toLocal8Bit());
    }

    QStringList Items(TComForm& form) {
        QStringList items;
        QComboBox* list = form.findChild<QComboBox*>("cbComport");
        for (int i = 0; i < list->count(); ++i)
            items << list->itemText(i);
        return items;
    }

    QComboBox* List(TComForm& form) { return form.findChild<QComboBox*>("cbComport"); }
    QLabel* Result(TComForm& form) { return form.findChild<QLabel*>("lblComTestCfm"); }
    QPushButton* Button(TComForm& form, const char* name) { return form.findChild<QPushButton*>(name); }
    QColor ResultColour(TComForm& form) { return Result(form)->palette().color(QPalette::WindowText); }

    void ExpectResultCentred(TComForm& form) {
        const QGroupBox* box = form.findChild<QGroupBox*>("gbComTest");
        EXPECT_EQ(Result(form)->x(), box->width() / 2 - Result(form)->width() / 2);
    }

    void PressEscape(QWidget& widget) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&widget, &press);
    }

    QTemporaryDir config;
    QTemporaryDir devices;
    TProgramFolderOverride programFolder;
    TSendmail engine;
    int selectedPort = 0;
};

TEST_F(ComForm, IsFixedInSizeWithoutTitleBarButtons) {
    MapPorts({1});
    TComForm form(engine, selectedPort);
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.height(), 226 + 25 + 10) << "the client ends 10 below the Close button";
    EXPECT_GE(form.width(), 208) << "and may be wider for its title";
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(Result(form)->font().bold());
    EXPECT_EQ(Result(form)->font().pixelSize(), 16);
}

TEST_F(ComForm, OffersOnlyPortsUpToFiftyInOrderWithTheStoredOneSelected) {
    MapPorts({60, 12, 51, 3, 50});
    ConnectionSettings::WriteDeviceNo(12);
    TComForm form(engine, selectedPort);
    EXPECT_EQ(Items(form), QStringList({"COM3", "COM12", "COM50"}));
    EXPECT_EQ(List(form)->currentText(), "COM12");
    EXPECT_EQ(selectedPort, 12);
    EXPECT_FALSE(engine.IsPortOpen()) << "filling the list opens no port";
}

TEST_F(ComForm, UnknownStoredPortSelectsTheFirst) {
    MapPorts({1, 3});
    ConnectionSettings::WriteDeviceNo(7);
    TComForm form(engine, selectedPort);
    EXPECT_EQ(List(form)->currentIndex(), 0);
    EXPECT_EQ(List(form)->currentText(), "COM1");
    EXPECT_EQ(selectedPort, 1);
    EXPECT_TRUE(form.HasPorts());
}

TEST_F(ComForm, WithoutPortsThereIsNothingToOffer) {
    MapPorts({60});
    TComForm form(engine, selectedPort);
    EXPECT_FALSE(form.HasPorts());
}

TEST_F(ComForm, ChangeFollowsTheSelectionButEscapeStoresNothing) {
    MapPorts({1, 3});
    ConnectionSettings::WriteDeviceNo(7);
    TComForm form(engine, selectedPort);
    form.show();
    List(form)->setCurrentIndex(int(Items(form).indexOf("COM3")));
    EXPECT_EQ(selectedPort, 3);
    EXPECT_EQ(engine.Com().ComNumber(), 3) << "a change opens the port at once";
    EXPECT_TRUE(Button(form, "btnClose")->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    PressEscape(form);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_EQ(ConnectionSettings::ReadDeviceNo(), 7);
}

TEST_F(ComForm, CloseStoresTheSelectedPort) {
    MapPorts({1, 3});
    ConnectionSettings::WriteDeviceNo(7);
    {
        TComForm form(engine, selectedPort);
        form.show();
        Button(form, "btnClose")->click();
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(ConnectionSettings::ReadDeviceNo(), 1);
    }
    TComForm form(engine, selectedPort);
    form.show();
    List(form)->setCurrentIndex(int(Items(form).indexOf("COM3")));
    Button(form, "btnClose")->click();
    EXPECT_EQ(ConnectionSettings::ReadDeviceNo(), 3);
}

TEST_F(ComForm, PortWithoutRightsIsExplained) {
    // Root opens any device, so the refusal comes from the link: the window's part is to tell it.
    MapPorts({1, 5});
    TFakeLink link;
    link.Opened = false;
    link.OpenSucceeds = false;
    link.OpenFailure = {TPortFailure::Kind::PermissionDenied, "/dev/ttyUSB0", "dialout"};
    TMailControl refusing(link);
    TModalAnswerer answerer;
    TComForm form(refusing, selectedPort);
    form.show();
    List(form)->setCurrentIndex(int(Items(form).indexOf("COM5")));
    ASSERT_EQ(answerer.Texts.size(), 1u);
    EXPECT_TRUE(answerer.Texts[0].startsWith("You may not open COM5 (/dev/ttyUSB0)"))
        << answerer.Texts[0].toStdString();
    EXPECT_TRUE(answerer.Texts[0].contains("Join that group"));
    EXPECT_EQ(link.ComNumber(), 5);

    // Any other failure is left to the test, which says that a port another program holds is busy.
    link.OpenFailure = {TPortFailure::Kind::Busy, "/dev/ttyUSB1", ""};
    List(form)->setCurrentIndex(int(Items(form).indexOf("COM1")));
    EXPECT_EQ(answerer.Texts.size(), 1u);
    Button(form, "btnComTestReq")->click();
    EXPECT_EQ(Result(form)->text(), "Port in use by another program!");
}

TEST_F(ComForm, PortThatWillNotOpenIsNotReported) {
    MapPorts({1, 3});
    TModalAnswerer answerer;
    TComForm form(engine, selectedPort);
    form.show();
    List(form)->setCurrentIndex(int(Items(form).indexOf("COM3")));
    EXPECT_FALSE(engine.IsPortOpen());
    EXPECT_TRUE(answerer.Texts.empty());
}

TEST_F(ComForm, TestFindsTheHandset) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    ASSERT_LE(handset.ComNumber(), 50);
    ConnectionSettings::WriteDeviceNo(handset.ComNumber());
    TComForm form(engine, selectedPort);
    ASSERT_EQ(List(form)->currentText(), QString("COM%1").arg(handset.ComNumber()));
    form.show();

    Button(form, "btnComTestReq")->click();
    EXPECT_EQ(Result(form)->text(), Texts::ConnectedTest);
    EXPECT_EQ(ResultColour(form), QColor(0, 128, 0));
    ExpectResultCentred(form);
    EXPECT_TRUE(TIniFile(ProgramIniPath()).ValueExists("Serial Port", "Baudrate"));
    EXPECT_EQ(ConnectionSettings::ReadBaudrate(), 115200);
    EXPECT_TRUE(Button(form, "btnComTestReq")->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ComForm, TestWithSilentHandsetSearchesThenFindsNothing) {
    THandsetProcess handset({"--silent"});
    ASSERT_TRUE(handset.Started());
    ASSERT_LE(handset.ComNumber(), 50);
    ConnectionSettings::WriteDeviceNo(handset.ComNumber());
    TComForm form(engine, selectedPort);
    form.show();

    // A look at the window while the probe is still waiting for the handset.
    QString searching;
    QColor searchingColour;
    bool controlsEnabled = true;
    Qt::CursorShape cursor = Qt::ArrowCursor;
    bool visibleAfterEscape = false;
    QElapsedTimer sinceEscape;
    QTimer::singleShot(2000, [&] {
        searching = Result(form)->text();
        searchingColour = ResultColour(form);
        controlsEnabled = Button(form, "btnClose")->isEnabled() ||
                          Button(form, "btnComTestReq")->isEnabled() || List(form)->isEnabled();
        if (const QCursor* shown = QApplication::overrideCursor())
            cursor = shown->shape();
        sinceEscape.start();
        PressEscape(form);
        visibleAfterEscape = form.isVisible();
    });
    Button(form, "btnComTestReq")->click();
    // The six probes of a silent handset take some eight seconds; Escape ends them at once.
    EXPECT_LT(sinceEscape.elapsed(), 2000);

    EXPECT_TRUE(searching.startsWith(QString(Texts::Searching) + "..")) << searching.toStdString();
    EXPECT_EQ(searchingColour, QColor(255, 255, 0));
    EXPECT_FALSE(controlsEnabled);
    EXPECT_EQ(cursor, Qt::WaitCursor);
    EXPECT_TRUE(visibleAfterEscape) << "Escape during the test ends the probes before the window closes";
    EXPECT_FALSE(form.isVisible()) << "Escape during the test closes the window once the probes have ended";
    EXPECT_FALSE(StopRequested()) << "the next operation starts without the test's stop";
    EXPECT_EQ(form.result(), QDialog::Rejected);

    EXPECT_EQ(Result(form)->text(), Texts::NothingConnected);
    EXPECT_EQ(ResultColour(form), QColor(255, 0, 0));
    ExpectResultCentred(form);
    EXPECT_FALSE(TIniFile(ProgramIniPath()).ValueExists("Serial Port", "Baudrate"));
    EXPECT_TRUE(List(form)->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
