#pragma once

#include "windows/ElidedLabel.h"

#include <string>

class TMainCore;
class TTpaProComImpl;

// The status bar panel that says in a few words what is at the window's port: the handset the last
// connection found there, a docking station not asked yet or with no handset found, a docking station that
// went away, none at all. Its tool tip is the whole sentence, naming the port and its device. It looks only
// at what costs nothing to learn (whether the port is open and why it was given up, the device map's entry
// and whether that device exists, what the last connection found), so the window can have it look every
// second: it never opens the port, which another program may want, and never sends the handset a mail.
class TPortStatePanel : public TElidedLabel {
public:
    TPortStatePanel(TTpaProComImpl& port, const TMainCore& core, QWidget* parent);

    // Looks at the port again. While busy, an open port without a handset is being connected; while
    // lent to the station, the window has closed it for the station to use.
    void Refresh(bool busy, bool lentToStation);
    // A connection has just found a handset at the port.
    void HandsetIdentified();
    // A connection step at the port has ended, whatever it found.
    void ConnectionTried();

    // As wide as its words, where the status bar has the room.
    QSize sizeHint() const override { return QLabel::sizeHint(); }

private:
    void Show(const QString& words, const std::string& sentence);
    void ShowClosedPort(int number);

    TTpaProComImpl& Port;
    const TMainCore& Core;
    // The line has stayed open since the last connection found its handset: only then is the handset
    // the core names still the one at the port.
    bool HandsetAtPort = false;
    // A connection step has looked at the port since it was opened: until then nothing says that no
    // handset is there.
    bool Asked = false;
};
