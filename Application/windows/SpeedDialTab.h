#pragma once

#include "lists/SpeedDial.h"
#include "lists/SpeedDialTransfer.h"
#include "windows/MainTab.h"

class QAction;
class QLabel;
class QMenu;
class QTableWidget;
class QTableWidgetItem;

// The "Speed Dial" tab: the eleven speed dial numbers in a grid, the handset operations on them, and
// the ".sdl" file entries.
class TSpeedDialTab : public TMainTab {
    Q_OBJECT
public:
    TSpeedDialTab(TMainCore& core, TUserInteraction& ui, QWidget* parent = nullptr);
    ~TSpeedDialTab() override;

    void AddFileEntries(QMenu& file) override;
    void HandsetConnected(int phoneBookCapacity, uint8_t level) override;
    void ShowListEntry(int entry) override;

    void bbtnReadSpeedDialClick();
    void bbtnWriteSpeedDialClick();
    void bbtnDeleteSpeedDialClick();
    void bbtnCleanGridSpeedDialClick();
    void miOpenSpeedDialListClick();
    void miSaveSpeedDialListAsClick();
    void miDeleteSpeedDialNumberClick();
    // The row the pop-up menu was opened on.
    int MenuRow = -1;

    TPP5SpeedDial& List() { return Core.SpeedDial; }
    QTableWidget* Grid() const { return sgSpeedDial; }

private:
    void InitSpeedDialGrid();
    void sgSpeedDialSetEditText(QTableWidgetItem* item);

    TSpeedDialTransfer Transfer;
    QTableWidget* sgSpeedDial;
    QLabel* lblInfoSpeedDial;
    QMenu* pmSpeedDial;
    QAction* miDeleteSpeedDialNumber;
    bool Filling = false;
};
