#pragma once

#include "lists/BroadcastGroups.h"
#include "lists/BroadcastGroupsTransfer.h"
#include "windows/MainTab.h"

class QAction;
class QLabel;
class QMenu;
class QTableWidget;
class QTableWidgetItem;

// The "Broadcast Groups" tab: the sixteen group slots in a grid, the handset operations on them, and
// the ".BGL" file entries.
class TBroadcastGroupsTab : public TMainTab {
    Q_OBJECT
public:
    TBroadcastGroupsTab(TMainCore& core, TUserInteraction& ui, QWidget* parent = nullptr);
    ~TBroadcastGroupsTab() override;

    void AddFileEntries(QMenu& file) override;
    void ShowListEntry(int entry) override;

    void bbtnReadBroadcastGroupsClick();
    void bbtnWriteBroadcastGroupsClick();
    void bbtnDeleteBroadcastGroupsClick();
    void bbtnCleanGridBroadcastGroupsClick();
    void miOpenBroadcastGroupsClick();
    void miSaveBroadcastGroupsAsClick();
    void miDeleteBroadcastGroupClick();
    // The row the pop-up menu was opened on.
    int MenuRow = -1;

    TBroadcastGroups& Groups() { return Core.BroadcastGroups; }
    QTableWidget* Grid() const { return sgBroadcastGroups; }

private:
    void InitGroupsGrid();
    void ShowGroups();
    void sgBroadcastGroupsSetEditText(QTableWidgetItem* item);

    TBroadcastGroupsTransfer Transfer;
    QTableWidget* sgBroadcastGroups;
    QLabel* lblInfoBroadcastGroups;
    QMenu* pmBroadcastGroups;
    QAction* miDeleteBroadcastGroup;
    bool Filling = false;
};
