#include "windows/SpeedDialTab.h"

#include "lists/SpeedDialFile.h"
#include "platform/AnsiText.h"
#include "platform/Texts.h"
#include "windows/ListGrid.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValidator>

namespace {

constexpr const char* TooLong = "The number must not exceed 23 digits!";
constexpr const char* DeleteNumber = "Delete Speed Dial Number (only in grid).";

// What a number cell takes as it is typed: digits, "*", "#", "-" and "P", a "p" as "P".
class TDialKeys : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        for (const QChar c : input)
            if ((c < '0' || c > '9') && !QString("*#-P").contains(c))
                return Invalid;
        return Acceptable;
    }
};

class TNumberEditor : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            line->setValidator(new TDialKeys(line));
        return editor;
    }
};

} // namespace

TSpeedDialTab::TSpeedDialTab(TMainCore& core, TUserInteraction& ui, QWidget* parent)
    : TMainTab({"tsSpeedDial", Texts::TabSpeedDial, "SPEED_DIAL", TListKind::SpeedDial}, core, ui, parent)
    , Transfer(core, ui, core.SpeedDial)
    , sgSpeedDial(
          AddBusyControl(ListGrid::Create("sgSpeedDial", TPP5SpeedDial::Keys, {"Key", "Number"}, this)))
    , lblInfoSpeedDial(InfoLabel("lblInfoSpeedDial", Texts::InfoSpeedDial, this)) {
    sgSpeedDial->setColumnWidth(0, 63);
    sgSpeedDial->setColumnWidth(1, 346);
    ListGrid::StretchLastColumn(*sgSpeedDial);
    connect(sgSpeedDial, &QTableWidget::itemChanged, this, &TSpeedDialTab::sgSpeedDialSetEditText);
    sgSpeedDial->setItemDelegateForColumn(1, new TNumberEditor(sgSpeedDial));
    pmSpeedDial = new QMenu(this);
    miDeleteSpeedDialNumber = pmSpeedDial->addAction(QString::fromUtf8(DeleteNumber));
    miDeleteSpeedDialNumber->setObjectName("miDeleteSpeedDialNumber");
    connect(miDeleteSpeedDialNumber, &QAction::triggered, this, &TSpeedDialTab::miDeleteSpeedDialNumberClick);
    ListGrid::AttachRowMenu(*sgSpeedDial, *pmSpeedDial, MenuRow);

    auto* operations = new QGroupBox(this);
    operations->setObjectName("gbSpeedDialOperations");
    auto* buttons = new QHBoxLayout(operations);
    buttons->addWidget(ReadButton(AddButton(operations, "bbtnReadSpeedDial", Texts::ReadFromHandset,
                                            &TSpeedDialTab::bbtnReadSpeedDialClick)));
    buttons->addWidget(AddButton(operations, "bbtnWriteSpeedDial", Texts::WriteToHandset,
                                 &TSpeedDialTab::bbtnWriteSpeedDialClick));
    buttons->addWidget(AddButton(operations, "bbtnDeleteSpeedDial", Texts::DeleteInHandset,
                                 &TSpeedDialTab::bbtnDeleteSpeedDialClick));
    buttons->addWidget(AddButton(operations, "bbtnCleanGridSpeedDial", Texts::CleanGrid,
                                 &TSpeedDialTab::bbtnCleanGridSpeedDialClick));
    SheetLayout()->setAlignment(Qt::Alignment());
    SheetLayout()->addWidget(sgSpeedDial, 1);
    SheetLayout()->addWidget(lblInfoSpeedDial);
    SheetLayout()->addWidget(operations);
    InitSpeedDialGrid();
}

TSpeedDialTab::~TSpeedDialTab() = default;

void TSpeedDialTab::AddFileEntries(QMenu& file) {
    SetFileEntries(AddEntry(file, "miOpenSpeedDialList", Texts::OpenSpeedDialList,
                            &TSpeedDialTab::miOpenSpeedDialListClick),
                   AddEntry(file, "miSaveSpeedDialListAs", Texts::SaveSpeedDialListAs,
                            &TSpeedDialTab::miSaveSpeedDialListAsClick));
    AddFeatureSeparator(file, "N7");
}

void TSpeedDialTab::HandsetConnected(int, uint8_t) {
    ShowConnectedHandset(*lblInfoSpeedDial, Texts::InfoSpeedDial);
}

// Headers and key labels, and every number cell empty.
void TSpeedDialTab::InitSpeedDialGrid() {
    QStringList keys;
    for (int k = 0; k < TPP5SpeedDial::Keys; ++k)
        keys << (k == TPP5SpeedDial::AlarmKey ? QString("#A") : QString("#%1").arg(k));
    ListGrid::Reset(*sgSpeedDial, keys);
}

void TSpeedDialTab::ShowListEntry(int) {
    Filling = true;
    for (int k = 0; k < TPP5SpeedDial::Keys; ++k)
        sgSpeedDial->item(k, 1)->setText(FromAnsi(Core.SpeedDial.Numbers[size_t(k)]));
    Filling = false;
}

// An edit of a number: more than 23 characters are refused, and the cell shows the key's number again
// (a number cut short would dial someone else); anything shorter is the key's number. What the grid
// shows is what is written and saved.
void TSpeedDialTab::sgSpeedDialSetEditText(QTableWidgetItem* item) {
    if (Filling || item->column() != 1)
        return;
    const std::string text = ToAnsi(item->text());
    if (text.size() > TPP5SpeedDial::MaxNumberLength) {
        Ui.Message(TMessageKind::Error, TooLong, TButtons::Ok);
        Filling = true;
        item->setText(FromAnsi(Core.SpeedDial.Numbers[size_t(item->row())]));
        Filling = false;
        return;
    }
    Core.SpeedDial.SetNumber(item->row(), text);
}

// Empties the number of the row the menu was opened on, as an edit would.
void TSpeedDialTab::miDeleteSpeedDialNumberClick() {
    if (MenuRow >= 0 && MenuRow < TPP5SpeedDial::Keys)
        sgSpeedDial->item(MenuRow, 1)->setText("");
}

// The grid keeps what it shows until the read has something to put in its place.
void TSpeedDialTab::bbtnReadSpeedDialClick() {
    Transfer.LoadFromHandset();
}

void TSpeedDialTab::bbtnWriteSpeedDialClick() {
    Transfer.SaveToHandset();
}

void TSpeedDialTab::bbtnDeleteSpeedDialClick() {
    Transfer.DeleteInHandset();
}

void TSpeedDialTab::bbtnCleanGridSpeedDialClick() {
    RunBusy(Ui, [this] {
        Ui.ShowStatus("");
        InitSpeedDialGrid();
        Core.SpeedDial.Clear();
    });
}

void TSpeedDialTab::miOpenSpeedDialListClick() {
    OpenSpeedDialList(Ui, Core.SpeedDial);
}

void TSpeedDialTab::miSaveSpeedDialListAsClick() {
    SaveSpeedDialListAs(Ui, Core.SpeedDial);
}
