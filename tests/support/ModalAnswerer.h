#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <functional>
#include <vector>

// Answers the modal windows a test's code opens: a timer looks for the active modal window every few
// milliseconds, keeps the text of each message box, and closes it with the chosen button (OK by
// default) or hands any other dialog to the test's own answer. The plan of a write is answered as a
// message box is, unless the test answers it itself.
class TModalAnswerer {
public:
    using TDialogAnswer = std::function<void(QDialog&)>;

    explicit TModalAnswerer(QMessageBox::StandardButton button = QMessageBox::Ok, TDialogAnswer dialog = {})
        : Button(button)
        , Dialog(std::move(dialog)) {
        Timer.setInterval(10);
        QObject::connect(&Timer, &QTimer::timeout, [this] { Answer(); });
        Timer.start();
    }

    std::vector<QString> Texts;
    // The kind of each message box, beside its text.
    std::vector<QMessageBox::Icon> Icons;
    // Dialogs other than the plan of a write.
    int Dialogs = 0;
    // The counts line of each plan of a write shown before the write, in order.
    std::vector<QString> Plans;

private:
    void Answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            Texts.push_back(box->text());
            Icons.push_back(box->icon());
            QAbstractButton* button = box->button(Button);
            if (button)
                button->click();
            else
                box->done(Button);
        } else if (auto* plan = qobject_cast<QDialog*>(modal); plan && plan->objectName() == "PlanDialog") {
            // The plan box asks whether to write, as a confirmation does: OK writes, any other button does
            // not. A test's own dialog answer gets to see it first.
            Plans.push_back(plan->findChild<QLabel*>("lblCounts")->text());
            // Its question is the operation's one question.
            if (const QString question = plan->findChild<QLabel*>("lblQuestion")->text(); !question.isEmpty())
                Texts.push_back(question);
            if (Dialog)
                Dialog(*plan);
            else
                plan->findChild<QPushButton*>(Button == QMessageBox::Ok ? "bbtnWrite" : "bbtnCancel")
                    ->click();
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            ++Dialogs;
            if (Dialog)
                Dialog(*dialog);
            else
                dialog->reject();
        }
    }

    QMessageBox::StandardButton Button;
    TDialogAnswer Dialog;
    QTimer Timer;
};

// Answers "Select how to write" with its first (0, add) or second (1, replace) choice and OK, and the plan
// of the write that follows with "Write".
inline TModalAnswerer::TDialogAnswer WriteModeChoice(int choice) {
    return [choice](QDialog& dialog) {
        if (dialog.objectName() == "PlanDialog")
            return dialog.findChild<QPushButton*>("bbtnWrite")->click();
        dialog.findChild<QGroupBox*>("rgSave")->findChildren<QRadioButton*>()[choice]->click();
        dialog.findChild<QPushButton*>("bbtnOK")->click();
    };
}
