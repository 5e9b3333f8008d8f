#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

class QTabWidget;
class TMainForm;

// Boxes the operations show (a finished read, a handset without a feature) are answered with OK.
void AnswerBoxes();

// Clicks the window's button of that object name.
void Click(TMainForm& form, const char* button);

// What a picture shows is kept as a file for the package and, when asked, under its name in the guide.
void KeepPicture(const QString& programs, const QString& objectName, const QString& guideName,
                 const QImage& picture);

// Each tab once more in a window of 1280x800, for the package: the grids and lists take the room.
void KeepLargePictures(const QString& programs, TMainForm& form, QTabWidget& pages);

// A picture of a window and the texts it shows.
struct TPicture {
    QImage image;
    QStringList texts;
};

// The provisioning station's window at work, as Options > Station... shows it.
TPicture StationPicture(TMainForm& form);
