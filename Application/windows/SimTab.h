#pragma once

#include "windows/MainTab.h"

class QLabel;

// The "SIM" tab: the SIM interpreter list's version and date, and the SIM's move between a handset and
// a file.
class TSimTab : public TMainTab {
    Q_OBJECT
public:
    TSimTab(TMainCore& core, TUserInteraction& ui, QWidget* parent = nullptr);
    ~TSimTab() override;

    // Shows the SIM interpreter list's version and date. False when the list does not have the
    // version the program reads, or cannot be read: the tab is of no use then.
    bool CheckSimInterpreter();

    void bbtnBackupSimClick();
    void bbtnRestoreSimClick();

private:
    void Transfer(bool toFile);

    QLabel* lblXmlDateText;
    QLabel* lblXmlVersionText;
};
