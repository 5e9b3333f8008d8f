#pragma once

class QWidget;

// The least width of a window in which its frame shows the whole title: the title as the window
// system shows it (on X11 followed by " — " and the program's name) in a bold font, with room for the
// frame's icon and buttons. A small dialog is made at least this wide, so that its title is not cut.
int TitleWidth(const QWidget& window);
