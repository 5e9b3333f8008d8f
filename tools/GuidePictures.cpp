#include "GuidePictures.h"

#include "GuideChecks.h"
#include "GuideFailure.h"

#include "core/ProvisionTemplate.h"
#include "platform/ChangeStore.h"
#include "platform/HandsetIdentity.h"
#include "vsim/FleetStore.h"
#include "windows/MainUnit.h"
#include "windows/StationView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QSize>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

namespace {

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

struct TStationEvent {
    const char* event;
    const char* port;
    const char* serial;
    const char* text;
};

// The handsets of the station's picture, as the virtual handset is by default, on a PC of this name.
constexpr int StationHandsetModel = 0xAA;
constexpr int StationHandsetCapacity = 200;
constexpr const char* StationPc = "office-pc";

// What "station watch --json" told of four handsets docked at once, in its words.
const TStationEvent StationEvents[] = {
    {"watching", "", "", "Watching the docking stations for handsets to give the template office."},
    {"docked", "COM10", "00001 0000001", "handset 00001 0000001 docked; provisioning it."},
    {"docked", "COM11", "00001 0000002", "handset 00001 0000002 docked; provisioning it."},
    {"docked", "COM12", "00001 0000153", "handset 00001 0000153 docked; provisioning it."},
    {"message", "COM10", "00001 0000001",
     "Written: 2 entries; skipped as already held: 0; not written: 0 (handset 00001 0000001 at COM10)."},
    {"message", "COM11", "00001 0000002",
     "The speed dial list replace: 2 to add, 9 kept; 27 mails, under 1 s at 115200 baud."},
    {"message", "COM12", "00001 0000153",
     "The handset 00001 0000153 at COM12 is not listed in office/handsets.csv, and --only-listed takes "
     "only those that are. Nothing was written to the handset."},
    {"done", "COM10", "00001 0000001", "provisioned (00001 0000001); the next handset may be docked."},
    {"failed", "COM12", "00001 0000153",
     "failed (00001 0000153), exit status 1; take the handset out and dock it again to try again."},
    {"docked", "COM13", "00001 0000004", "handset 00001 0000004 docked; provisioning it."},
};

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

// The PC's table of handsets as the station leaves it: each of the four noted as seen on its port, and
// the one done as given the template and verified.
void NoteStationHandsets(const QString& templateFolder) {
    // The table the window program keeps, from here on: the maker's own handset, connected before, is
    // not in it, so that the picture is the same on every PC.
    UseFleetStore();
    TChangeStore& store = ChangeStore();
    for (const auto& [event, port, serial, text] : StationEvents) {
        if (std::string_view(event) != "docked")
            continue;
        THandsetIdentity handset;
        handset.port = QString(port).mid(3).toInt();
        handset.serial = serial;
        handset.software = "62018400";
        handset.pcs = "06B";
        THandsetRow row = HandsetSeen(handset, StationHandsetModel, StationHandsetCapacity);
        row.LastPc = StationPc;
        if (const std::string why = store.NoteSeen(row); !why.empty())
            Fail("cannot note the station's handsets: " + QString::fromStdString(why));
    }
    const std::string hash = TProvisionTemplate::Load(templateFolder.toStdString()).ContentHash();
    if (const std::string why = store.NoteTemplate(StationEvents[1].serial, "office", hash, "verified");
        !why.empty())
        Fail("cannot note the station's handsets: " + QString::fromStdString(why));
}

} // namespace

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

void KeepPicture(const QString& programs, const QString& objectName, const QString& guideName,
                 const QImage& picture) {
    SaveScreenshot(ScreenshotFile(programs, objectName, ""), picture);
    if (const QString keep = qEnvironmentVariable("QUORVEL_GUIDE_PICTURES"); !keep.isEmpty())
        SaveScreenshot(keep + "/" + guideName, picture);
}

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

TPicture StationPicture(TMainForm& form) {
    // The template lies in a folder of the run's own, but the window names it as the person would, by
    // the folder the command-line chapter names, "office": a temporary path in the picture would fail
    // the guide.
    const QTemporaryDir temporary;
    const QString working = QDir::currentPath();
    if (!temporary.isValid() || !QDir::setCurrent(temporary.path()))
        Fail("cannot make a folder for the example template");
    const struct TBack {
        QString folder;
        ~TBack() { QDir::setCurrent(folder); }
    } back{working};
    const QDir folder("office");
    if (!folder.mkpath("."))
        Fail("cannot make the example template " + folder.absolutePath());
    const auto write = [&](const char* name, const QByteArray& text) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.flush())
            Fail("cannot write the example template " + file.fileName());
    };
    write("phonebook.phb", "Reception,100\r\n{name},{extension}\r\n");
    write("speeddial.sdl", "Key_1,100\r\nKey_2,{extension}\r\n");
    write("profile.pro", "[profile settings]\r\nringer volume=3\r\n");
    write("handsets.csv", "serial,name,extension,ringer tone\n00001 0000001,Anna Berg,201,2\n"
                          "00001 0000002,Bob Lund,202,3\n00001 0000003,Carla Diaz,203,4\n"
                          "00001 0000004,Dan Ek,204,5\n");
    NoteStationHandsets(folder.path());
    TStationView station(form);
    station.show();
    auto* edit = station.findChild<QLineEdit*>("edtTemplate");
    if (!edit)
        Fail("the station window has no template field");
    edit->setText(folder.path());
    QMetaObject::invokeMethod(edit, "editingFinished");
    if (auto* onlyListed = station.findChild<QCheckBox*>("chkOnlyListed"))
        onlyListed->setChecked(true);
    // The station at work, told what the running tool tells it: four handsets, one done, one being
    // provisioned, one refused, one just docked.
    for (const auto& [event, port, serial, text] : StationEvents)
        station.TakeEvent(QJsonObject{{"event", event}, {"port", port}, {"serial", serial}, {"text", text}});
    QApplication::processEvents();
    const TPicture picture{station.grab().toImage(), ShownTexts(station)};
    // The field would tell a window being destroyed that its editing finished.
    QObject::disconnect(edit, nullptr, &station, nullptr);
    return picture;
}
