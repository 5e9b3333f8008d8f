#include "windows/PlanDialog.h"

#include "platform/AnsiText.h"
#include "platform/Texts.h"

#include <QColor>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int DesignWidth = 560;
constexpr int DesignHeight = 420;

// "Anna 0301234", either part left out when empty.
QString Joined(const std::string& item, const std::string& value) {
    if (item.empty() || value.empty())
        return FromAnsi(item + value);
    return FromAnsi(item + " " + value);
}

QString NothingChangesText(const TWritePlan& plan) {
    const QString list = FromAnsi(plan.List);
    if (plan.Count(TPlanStep::NotWritten) == 0)
        return QString("The handset already holds this %1: the write changes nothing.").arg(list);
    return QString("The write changes nothing in the handset's %1: the handset already holds everything "
                   "that can be written.")
        .arg(list);
}

} // namespace

QString TPlanDialog::LineText(const TPlanLine& line) {
    switch (line.Step) {
    case TPlanStep::Add:
        return "Add: " + Joined(line.Item, line.After);
    case TPlanStep::Remove:
        return "Remove: " + Joined(line.Item, line.Before);
    case TPlanStep::Change:
        return "Change: " + Joined(line.Item, line.Before) + QString::fromUtf8(" \u2192 ") +
               FromAnsi(line.After);
    case TPlanStep::Keep:
        return "Kept: " + Joined(line.Item, line.Before);
    case TPlanStep::NotWritten:
        return QString("Not written") + (line.Row > 0 ? QString(", line %1").arg(line.Row) : QString()) +
               ": " + Joined(line.Item, line.After) +
               (line.Reason.empty() ? QString() : " (" + FromAnsi(line.Reason) + ")");
    }
    return {};
}

TPlanDialog::TPlanDialog(const TWritePlan& plan, QWidget* parent)
    : QDialog(parent) {
    setObjectName("PlanDialog");
    setWindowTitle(QString(plan.Delete ? Texts::DeleteInHandset : Texts::WriteToHandset) +
                   QString::fromUtf8(" \u2013 ") + FromAnsi(plan.List));

    // The operation's question: this box is its one confirmation.
    lblQuestion = new QLabel(FromAnsi(plan.Question), this);
    lblQuestion->setObjectName("lblQuestion");
    lblQuestion->setWordWrap(true);
    lblQuestion->setVisible(!plan.Question.empty());

    // The first line of the command line's plan, in the same words.
    lblCounts =
        new QLabel(FromAnsi("The " + plan.List + PlanKindWord(plan) + PlanCountsText(plan) + "."), this);
    lblCounts->setObjectName("lblCounts");
    lblCounts->setWordWrap(true);

    lblNothing = new QLabel(this);
    lblNothing->setObjectName("lblNothing");
    lblNothing->setWordWrap(true);
    if (!plan.ChangesHandset())
        lblNothing->setText(NothingChangesText(plan));
    lblNothing->setVisible(!plan.ChangesHandset());

    // Deleting entries the person may not know the handset holds is what a careless replace loses.
    const std::string removal = PlanRemovalWarning(plan);
    lblRemoval = new QLabel(FromAnsi(removal), this);
    lblRemoval->setObjectName("lblRemoval");
    lblRemoval->setWordWrap(true);
    QFont bold = lblRemoval->font();
    bold.setBold(true);
    lblRemoval->setFont(bold);
    lblRemoval->setVisible(!removal.empty());

    lbPlan = new QListWidget(this);
    lbPlan->setObjectName("lbPlan");
    lbPlan->setSelectionMode(QAbstractItemView::NoSelection);
    lbPlan->setUniformItemSizes(true);
    for (const TPlanLine& line : plan.Lines) {
        if (line.Step == TPlanStep::Keep)
            continue;
        auto* item = new QListWidgetItem(LineText(line), lbPlan);
        if (line.Step == TPlanStep::NotWritten)
            item->setForeground(QColor(Qt::red));
    }
    // A full phone book holds 255 entries: the kept ones are counted, not listed.
    if (const int kept = plan.Count(TPlanStep::Keep); kept > 0) {
        // A replace in another order writes them again, in the order of the list being written.
        const QString text = plan.Replace && plan.OrderDiffers
                                 ? "Held already, written again in this order: %1"
                                 : "Kept as the handset holds them: %1";
        auto* item = new QListWidgetItem(text.arg(kept), lbPlan);
        item->setFlags(Qt::NoItemFlags);
    }
    lbPlan->setVisible(lbPlan->count() > 0);

    bbtnWrite = new QPushButton(plan.Delete ? "Delete" : "Write", this);
    bbtnWrite->setObjectName("bbtnWrite");
    bbtnWrite->setDefault(true);
    bbtnCancel = new QPushButton(Texts::Cancel, this);
    bbtnCancel->setObjectName("bbtnCancel");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bbtnWrite);
    buttons->addWidget(bbtnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblQuestion);
    layout->addWidget(lblCounts);
    layout->addWidget(lblNothing);
    layout->addWidget(lblRemoval);
    layout->addWidget(lbPlan, 1);
    if (lbPlan->count() == 0)
        layout->addStretch(1);
    layout->addLayout(buttons);
    resize(DesignWidth, lbPlan->count() > 0 ? DesignHeight : sizeHint().height());

    connect(bbtnWrite, &QPushButton::clicked, this, &QDialog::accept);
    connect(bbtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    bbtnWrite->setFocus();
}

TPlanDialog::~TPlanDialog() = default;

bool TPlanDialog::Ask() {
    return exec() == QDialog::Accepted;
}
