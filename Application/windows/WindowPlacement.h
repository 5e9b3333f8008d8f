#pragma once

#include <string>

class QWidget;

// A window's size and place in the window ini, in the section named after the window's objectName().
// Height and Width are the window's own size, Top and Left the outer corner of its frame.

// Restores the placement; a window without a section is centred, one stored off the desktop too.
// positionOnly, and a window of fixed size, keep their size.
void LoadWindowPlacement(const std::string& iniPath, QWidget& form, bool positionOnly);
// False when the ini could not be written.
bool SaveWindowPlacement(const std::string& iniPath, QWidget& form);

// True when the window lies beyond the left or right edge of the desktop spanning all screens, or
// reaches above or below it at all.
bool IsOffScreen(const QWidget& form);
// Centres the window on the first screen.
void CenterOnScreen(QWidget& form);
