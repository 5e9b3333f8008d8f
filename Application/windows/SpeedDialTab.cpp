#include "windows/SpeedDialTab.h"

#include "lists/SpeedDialFile.h"
#include "platform/Texts.h"

#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QValidator>

namespace {

constexpr const char* TooLong = "The number must not exceed 23 digits!";

const TListTabControls SpeedDialControls{"sgSpeedDial",
                                         {"Key", "Number"},
                                         63,
                                         346,
                                         "lblInfoSpeedDial",
                                         Texts::InfoSpeedDial,
                                         "miDeleteSpeedDialNumber",
                                         "Delete Speed Dial Number (only in grid).",
                                         "gbSpeedDialOperations",
                                         "bbtnReadSpeedDial",
                                         "bbtnWriteSpeedDial",
                                         "bbtnDeleteSpeedDial",
                                         "bbtnCleanGridSpeedDial",
                                         "miOpenSpeedDialList",
                                         Texts::OpenSpeedDialList,
                                         "miSaveSpeedDialListAs",
                                         Texts::SaveSpeedDialListAs,
                                         "N7"};

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
    : TListTab({"tsSpeedDial", Texts::TabSpeedDial, "SPEED_DIAL", TListKind::SpeedDial}, SpeedDialControls,
               core, ui, parent)
    , Transfer(core, ui, core.SpeedDial) {
    Grid()->setItemDelegateForColumn(1, new TNumberEditor(Grid()));
    ResetGrid();
}

TSpeedDialTab::~TSpeedDialTab() = default;

// "#0" to "#9" and the alarm key's "#A".
QStringList TSpeedDialTab::Places() const {
    QStringList keys;
    for (int k = 0; k < TPP5SpeedDial::Keys; ++k)
        keys << (k == TPP5SpeedDial::AlarmKey ? QString("#A") : QString("#%1").arg(k));
    return keys;
}

std::string TSpeedDialTab::Value(int row) const {
    return Core.SpeedDial.Numbers[size_t(row)];
}

// More than 23 characters are refused (a number cut short would dial someone else); anything shorter is
// the key's number.
std::optional<std::string> TSpeedDialTab::Refusal(const std::string& text) const {
    if (text.size() > TPP5SpeedDial::MaxNumberLength)
        return TooLong;
    return std::nullopt;
}

void TSpeedDialTab::SetValue(int row, const std::string& text) {
    Core.SpeedDial.SetNumber(row, text);
}

void TSpeedDialTab::ClearList() {
    Core.SpeedDial.Clear();
}

// The grid keeps what it shows until the read has something to put in its place.
void TSpeedDialTab::ReadList() {
    Transfer.LoadFromHandset();
}

void TSpeedDialTab::WriteList() {
    Transfer.SaveToHandset();
}

void TSpeedDialTab::DeleteList() {
    Transfer.DeleteInHandset();
}

void TSpeedDialTab::OpenFile() {
    OpenSpeedDialList(Ui, Core.SpeedDial);
}

void TSpeedDialTab::SaveFile() {
    SaveSpeedDialListAs(Ui, Core.SpeedDial);
}
