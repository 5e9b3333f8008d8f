#include "GuidePictures.h"

#include "GuideFailure.h"

#include "windows/MainUnit.h"
#include "windows/StationView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QSize>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>
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
        picture.save(keep + "/" + guideName);
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
