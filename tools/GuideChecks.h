#pragma once

#include <QString>
#include <QStringList>

#include <map>

class QTextDocument;
class QWidget;

// What the build refuses to ship in the guide. Each check ends the maker through Fail, with a message
// that names the page and the text.

// The texts a window shows, as its picture would show them: labels, fields, buttons, the cells of its
// lists and tables, its title.
QStringList ShownTexts(const QWidget& window);

// The texts each picture of the guide shows, by its name in the guide ("StationView.png").
using TPictureTexts = std::map<QString, QStringList>;

// Every line of the laid-out document lies within its page's printable area: not beyond the right
// margin, and not cut by the page's foot.
void CheckPagesHoldTheirText(const QTextDocument& document);

// No picture shows a temporary path (under /tmp or the run's QDir::tempPath()): the person would see
// where the pictures were taken instead of a folder of their own.
void CheckPicturesShowNoTemporaryPath(const QTextDocument& document, const TPictureTexts& pictures);
