#pragma once

#include "vsim/RecordEngine.h"
#include "windows/MainTab.h"

#include <memory>

class QLabel;
class QPushButton;
class QTreeWidget;

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
    void btnReleaseMoveClick();

    // Lists what the records of SIMs in files hold: each SIM, how far its move is and what takes it on.
    void ShowSimRecords();
    // The SIM interpreter list is checked; the tab goes when the list is of no use.
    bool WindowShown() override;
    void TabShown() override;

private:
    std::unique_ptr<TRecordEngine> OpenStore();
    void Transfer(bool toFile);
    void twSimRecordsSelectionChanged();

    QLabel* lblXmlDateText;
    QLabel* lblXmlVersionText;
    QTreeWidget* twSimRecords;
    QLabel* lblSimAdvice;
    QPushButton* btnReleaseMove;
};
