#pragma once

#include "windows/MainTab.h"

class QLabel;

// The "Speed Dial" tab: so far its information label and its File menu entries; the grid and the
// handset operations are to come.
class TSpeedDialTab : public TMainTab {
    Q_OBJECT
public:
    TSpeedDialTab(TMainCore& core, TUserInteraction& ui, QWidget* parent = nullptr);
    ~TSpeedDialTab() override;

    void AddFileEntries(QMenu& file) override;

    void miOpenSpeedDialListClick();
    void miSaveSpeedDialListAsClick();

private:
    QLabel* lblInfoSpeedDial;
};
