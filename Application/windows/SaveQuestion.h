#pragma once

#include "platform/UserInteraction.h"

#include <QDialog>

#include <string>

class QButtonGroup;
class QGroupBox;
class QPushButton;

// "Select how to write": add to the handset's list or replace it. The choice stays selected from one
// showing to the next.
class TSaveQuestionForm : public QDialog {
    Q_OBJECT
public:
    explicit TSaveQuestionForm(QWidget* parent = nullptr);
    ~TSaveQuestionForm() override;

    void SetAddCaption(const std::string& text);
    void SetReplaceCaption(const std::string& text);
    TWriteMode WriteMode() const { return Mode; }

    // Sets both captions, shows the window modally and gives the person's choice.
    TWriteMode Ask(const std::string& addCaption, const std::string& replaceCaption);

    // Cancel, Escape and the window's close.
    void reject() override;

private:
    void bbtnOKClick();

    TWriteMode Mode = TWriteMode::Cancel;
    QGroupBox* rgSave;
    QButtonGroup* Items;
    QPushButton* bbtnOK;
    QPushButton* bbtnCancel;
};
