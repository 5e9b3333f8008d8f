#pragma once

#include "lists/SpeedDial.h"
#include "lists/SpeedDialTransfer.h"
#include "windows/ListTab.h"

// The "Speed Dial" tab: the eleven speed dial numbers in a grid, the handset operations on them, and
// the ".sdl" file entries.
class TSpeedDialTab : public TListTab {
    Q_OBJECT
public:
    TSpeedDialTab(TMainCore& core, TUserInteraction& ui, QWidget* parent = nullptr);
    ~TSpeedDialTab() override;

    TPP5SpeedDial& List() { return Core.SpeedDial; }

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

    TSpeedDialTransfer Transfer;
};
