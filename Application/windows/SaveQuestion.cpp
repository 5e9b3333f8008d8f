#include "windows/SaveQuestion.h"

#include "platform/AnsiText.h"
#include "platform/Texts.h"
#include "windows/WindowTitle.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QSpacerItem>
#include <QVBoxLayout>

TSaveQuestionForm::TSaveQuestionForm(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(Texts::SaveQuestionCaption);

    rgSave = new QGroupBox(this);
    rgSave->setObjectName("rgSave");
    Items = new QButtonGroup(rgSave);
    auto* items = new QVBoxLayout(rgSave);
    int id = 0;
    for (const char* caption : {Texts::AddPhoneBook, Texts::ReplacePhoneBook}) {
        auto* item = new QRadioButton(caption, rgSave);
        Items->addButton(item, id++);
        items->addWidget(item);
    }
    Items->button(int(TWriteMode::Add))->setChecked(true);

    bbtnOK = new QPushButton(Texts::Ok, this);
    bbtnOK->setObjectName("bbtnOK");
    bbtnOK->setDefault(true);
    bbtnCancel = new QPushButton(Texts::Cancel, this);
    bbtnCancel->setObjectName("bbtnCancel");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bbtnOK);
    buttons->addWidget(bbtnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(rgSave);
    layout->addLayout(buttons);
    // Wide enough for the frame to show the whole title.
    layout->addItem(new QSpacerItem(TitleWidth(*this), 0, QSizePolicy::Fixed, QSizePolicy::Fixed));
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(bbtnOK, &QPushButton::clicked, this, &TSaveQuestionForm::bbtnOKClick);
    connect(bbtnCancel, &QPushButton::clicked, this, &TSaveQuestionForm::reject);
}

TSaveQuestionForm::~TSaveQuestionForm() = default;

void TSaveQuestionForm::SetAddCaption(const std::string& text) {
    Items->button(int(TWriteMode::Add))->setText(FromAnsi(text));
}

void TSaveQuestionForm::SetReplaceCaption(const std::string& text) {
    Items->button(int(TWriteMode::Replace))->setText(FromAnsi(text));
}

TWriteMode TSaveQuestionForm::Ask(const std::string& addCaption, const std::string& replaceCaption) {
    SetAddCaption(addCaption);
    SetReplaceCaption(replaceCaption);
    // A window ended some other way must not pass on the previous answer.
    Mode = TWriteMode::Cancel;
    exec();
    return Mode;
}

void TSaveQuestionForm::bbtnOKClick() {
    switch (Items->checkedId()) {
    case int(TWriteMode::Add):
        Mode = TWriteMode::Add;
        break;
    case int(TWriteMode::Replace):
        Mode = TWriteMode::Replace;
        break;
    default:
        Mode = TWriteMode::Cancel;
    }
    accept();
}

void TSaveQuestionForm::reject() {
    Mode = TWriteMode::Cancel;
    QDialog::reject();
}
