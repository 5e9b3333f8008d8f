#include "windows/ListTab.h"

#include "platform/AnsiText.h"
#include "platform/Texts.h"
#include "windows/ListGrid.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QVBoxLayout>

TListTab::TListTab(const TTabDescription& description, const TListTabControls& controls, TMainCore& core,
                   TUserInteraction& ui, QWidget* parent)
    : TMainTab(description, core, ui, parent)
    , Controls(controls)
    , ListGrid(AddBusyControl(ListGrid::Create(controls.Grid, 0, controls.Columns, this)))
    , Info(InfoLabel(controls.Info, controls.InfoText, this)) {
    ListGrid->setColumnWidth(0, controls.FirstColumnWidth);
    ListGrid->setColumnWidth(1, controls.SecondColumnWidth);
    ListGrid::StretchLastColumn(*ListGrid);
    connect(ListGrid, &QTableWidget::itemChanged, this, &TListTab::CellEdited);
    auto* menu = new QMenu(this);
    QAction* deleteRow = menu->addAction(QString::fromUtf8(controls.DeleteRowText));
    deleteRow->setObjectName(controls.DeleteRow);
    connect(deleteRow, &QAction::triggered, this, &TListTab::DeleteRowClick);
    ListGrid::AttachRowMenu(*ListGrid, *menu, MenuRow);

    auto* operations = new QGroupBox(this);
    operations->setObjectName(controls.Operations);
    auto* buttons = new QHBoxLayout(operations);
    buttons->addWidget(
        ReadButton(AddButton(operations, controls.Read, Texts::ReadFromHandset, &TListTab::ReadClick)));
    buttons->addWidget(AddButton(operations, controls.Write, Texts::WriteToHandset, &TListTab::WriteClick));
    buttons->addWidget(
        AddButton(operations, controls.Delete, Texts::DeleteInHandset, &TListTab::DeleteClick));
    buttons->addWidget(AddButton(operations, controls.Clean, Texts::CleanGrid, &TListTab::CleanGridClick));
    SheetLayout()->setAlignment(Qt::Alignment());
    SheetLayout()->addWidget(ListGrid, 1);
    SheetLayout()->addWidget(Info);
    SheetLayout()->addWidget(operations);
}

TListTab::~TListTab() = default;

void TListTab::AddFileEntries(QMenu& file) {
    SetFileEntries(AddEntry(file, Controls.Open, Controls.OpenText, &TListTab::OpenClick),
                   AddEntry(file, Controls.SaveAs, Controls.SaveAsText, &TListTab::SaveAsClick));
    AddFeatureSeparator(file, Controls.Separator);
}

void TListTab::HandsetConnected(int, uint8_t) {
    ShowConnectedHandset(*Info, Controls.InfoText);
}

void TListTab::ShowListEntry(int) {
    ShowValues();
}

void TListTab::ResetGrid() {
    const QStringList places = Places();
    ListGrid->setRowCount(int(places.size()));
    ListGrid::Reset(*ListGrid, places);
}

void TListTab::ShowValues() {
    Filling = true;
    for (int row = 0; row < ListGrid->rowCount(); ++row)
        ListGrid->item(row, 1)->setText(FromAnsi(Value(row)));
    Filling = false;
}

void TListTab::CellEdited(QTableWidgetItem* item) {
    if (Filling || item->column() != 1)
        return;
    const std::string text = ToAnsi(item->text());
    if (const std::optional<std::string> refusal = Refusal(text)) {
        Ui.Message(TMessageKind::Error, *refusal, TButtons::Ok);
        Filling = true;
        item->setText(FromAnsi(Value(item->row())));
        Filling = false;
        return;
    }
    SetValue(item->row(), text);
}

// Empties the value of the row the menu was opened on, as an edit would.
void TListTab::DeleteRowClick() {
    if (MenuRow >= 0 && MenuRow < ListGrid->rowCount())
        ListGrid->item(MenuRow, 1)->setText("");
}

void TListTab::CleanGridClick() {
    RunBusy(Ui, [this] {
        Ui.ShowStatus("");
        ClearList();
        ResetGrid();
    });
}
