#pragma once

#include "windows/MainTab.h"

#include <QStringList>

class QLabel;
class QMenu;
class QTableWidget;
class QTableWidgetItem;

// The names and words of a list tab's controls: its grid, note, row menu entry, buttons and File menu
// entries, as the window's other parts and the person's scripts know them.
struct TListTabControls {
    const char* Grid;
    QStringList Columns;
    int FirstColumnWidth;
    int SecondColumnWidth;
    const char* Info;
    const char* InfoText;
    const char* DeleteRow;
    const char* DeleteRowText;
    const char* Operations;
    const char* Read;
    const char* Write;
    const char* Delete;
    const char* Clean;
    const char* Open;
    const char* OpenText;
    const char* SaveAs;
    const char* SaveAsText;
    const char* Separator;
};

// A tab that shows one of the handset's fixed-size lists (the speed dial keys, the broadcast group
// slots) in a grid of two columns: the place and its value. The tab owns the grid, its note, the row
// menu, the four buttons and the two File menu entries; a list kind supplies the places, what a cell
// takes, and its operations.
class TListTab : public TMainTab {
    Q_OBJECT
public:
    TListTab(const TTabDescription& description, const TListTabControls& controls, TMainCore& core,
             TUserInteraction& ui, QWidget* parent);
    ~TListTab() override;

    void AddFileEntries(QMenu& file) override;
    void HandsetConnected(int phoneBookCapacity, uint8_t level) override;
    void ShowListEntry(int entry) override;

    void ReadClick() { ReadList(); }
    void WriteClick() { WriteList(); }
    void DeleteClick() { DeleteList(); }
    void CleanGridClick();
    void OpenClick() { OpenFile(); }
    void SaveAsClick() { SaveFile(); }
    void DeleteRowClick();
    // The row the pop-up menu was opened on.
    int MenuRow = -1;

    QTableWidget* Grid() const { return ListGrid; }

protected:
    // Called once the subclass is built: the places in the first column, the values empty.
    void ResetGrid();
    // The value of each place as the list holds it.
    void ShowValues();

private:
    // The list kind's part.
    virtual QStringList Places() const = 0;
    virtual std::string Value(int row) const = 0;
    // An edit of a value cell: the text the list takes, or the refusal's message (the cell then shows
    // the list's value again: what the grid shows is what is written and saved).
    virtual std::optional<std::string> Refusal(const std::string& text) const = 0;
    virtual void SetValue(int row, const std::string& text) = 0;
    virtual void ClearList() = 0;
    virtual void ReadList() = 0;
    virtual void WriteList() = 0;
    virtual void DeleteList() = 0;
    virtual void OpenFile() = 0;
    virtual void SaveFile() = 0;

    void CellEdited(QTableWidgetItem* item);

    TListTabControls Controls;
    QTableWidget* ListGrid;
    QLabel* Info;
    bool Filling = false;
};
