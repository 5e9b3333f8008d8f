#pragma once

#include "windows/MainTab.h"

class QLabel;

// The "Broadcast Groups" tab: so far its information label and its File menu entries; the grid and the
// handset operations are to come.
class TBroadcastGroupsTab : public TMainTab {
    Q_OBJECT
public:
    TBroadcastGroupsTab(TMainCore& core, TUserInteraction& ui, QWidget* parent = nullptr);
    ~TBroadcastGroupsTab() override;

    void AddFileEntries(QMenu& file) override;

    void miOpenBroadcastGroupsClick();
    void miSaveBroadcastGroupsAsClick();

private:
    QLabel* lblInfoBroadcastGroups;
};
