#pragma once

#include "lists/BroadcastGroups.h"
#include "lists/BroadcastGroupsTransfer.h"
#include "windows/ListTab.h"

// The "Broadcast Groups" tab: the sixteen group slots in a grid, the handset operations on them, and
// the ".BGL" file entries.
class TBroadcastGroupsTab : public TListTab {
    Q_OBJECT
public:
    TBroadcastGroupsTab(TMainCore& core, TUserInteraction& ui, QWidget* parent = nullptr);
    ~TBroadcastGroupsTab() override;

    TBroadcastGroups& Groups() { return Core.BroadcastGroups; }

private:
    QStringList Places() const override;
    std::string Value(int row) const override;
    std::optional<std::string> Refusal(const std::string& text) const override;
    void SetValue(int row, const std::string& text) override;
    void ClearList() override;
    void ReadList() override;
    void WriteList() override;
    void DeleteList() override;
    void OpenFile() override;
    void SaveFile() override;

    TBroadcastGroupsTransfer Transfer;
};
