#pragma once

#include "platform/WritePlan.h"

#include <QDialog>
#include <QString>

class QLabel;
class QListWidget;
class QPushButton;

// The plan of a write, shown before anything is sent that changes the handset: the counts and the time
// the mails take, what the write removes that the list being written does not hold, and one line per
// entry added, removed, changed or not written, the kept ones counted at the end. "Write" (the default,
// Enter) goes on; "Cancel", Escape and the window's close write nothing.
class TPlanDialog : public QDialog {
    Q_OBJECT
public:
    explicit TPlanDialog(const TWritePlan& plan, QWidget* parent = nullptr);
    ~TPlanDialog() override;

    // Shows the window modally; true when the person chose "Write".
    bool Ask();

    // One line of the list: "Change: Key_3 555 → 556", "Not written, line 12: Carl 0501 (the phone book
    // is full)".
    static QString LineText(const TPlanLine& line);

private:
    QLabel* lblQuestion = nullptr;
    QLabel* lblCounts;
    QLabel* lblNothing;
    QLabel* lblRemoval;
    QListWidget* lbPlan;
    QPushButton* bbtnWrite;
    QPushButton* bbtnCancel;
};
