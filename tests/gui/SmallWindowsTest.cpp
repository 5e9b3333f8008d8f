// The "Select how to write" dialog and the progress window offscreen.
#include "support/ModalAnswerer.h"
#include "support/WaitFor.h"

#include "platform/Texts.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace {

QList<QRadioButton*> Items(QWidget& form) {
    return form.findChild<QGroupBox*>("rgSave")->findChildren<QRadioButton*>();
}

QPushButton* Button(QWidget& form, const char* name) {
    return form.findChild<QPushButton*>(name);
}

// Answers the dialog by choosing an item (-1: leave the choice alone) and pressing a button.
TModalAnswerer::TDialogAnswer Choose(int item, const char* button) {
    return [item, button](QDialog& dialog) {
        if (item >= 0)
            Items(dialog)[item]->click();
        Button(dialog, button)->click();
    };
}

TEST(SaveQuestion, StartsWithTheFirstItemAndNoAnswer) {
    TSaveQuestionForm form;
    EXPECT_EQ(form.WriteMode(), TWriteMode::Cancel);
    ASSERT_EQ(Items(form).size(), 2);
    EXPECT_TRUE(Items(form)[0]->isChecked());
    EXPECT_TRUE(Button(form, "bbtnOK")->isDefault());
}

TEST(SaveQuestion, OkGivesTheChosenItemWithTheCallersCaptions) {
    TSaveQuestionForm form;
    QStringList shown;
    TModalAnswerer answerer(QMessageBox::Ok, [&](QDialog& dialog) {
        for (QRadioButton* item : Items(dialog))
            shown << item->text();
        Choose(1, "bbtnOK")(dialog);
    });
    EXPECT_EQ(form.Ask(Texts::AddGroups, Texts::ReplaceGroups), TWriteMode::Replace);
    EXPECT_EQ(shown, QStringList({Texts::AddGroups, Texts::ReplaceGroups}));
    EXPECT_EQ(form.WriteMode(), TWriteMode::Replace);
}

TEST(SaveQuestion, TheChoiceStaysForTheNextShowing) {
    TSaveQuestionForm form;
    {
        TModalAnswerer answerer(QMessageBox::Ok, Choose(1, "bbtnCancel"));
        EXPECT_EQ(form.Ask(Texts::AddPhoneBook, Texts::ReplacePhoneBook), TWriteMode::Cancel);
    }
    TModalAnswerer answerer(QMessageBox::Ok, Choose(-1, "bbtnOK"));
    EXPECT_EQ(form.Ask(Texts::AddPhoneBook, Texts::ReplacePhoneBook), TWriteMode::Replace);
    EXPECT_EQ(form.Ask(Texts::AddPhoneBook, Texts::ReplacePhoneBook), TWriteMode::Replace);
}

TEST(SaveQuestion, CancelAndEscapeGiveCancel) {
    TSaveQuestionForm form;
    {
        TModalAnswerer answerer(QMessageBox::Ok, Choose(0, "bbtnOK"));
        ASSERT_EQ(form.Ask(Texts::AddPhoneBook, Texts::ReplacePhoneBook), TWriteMode::Add);
    }
    {
        TModalAnswerer answerer(QMessageBox::Ok, Choose(-1, "bbtnCancel"));
        EXPECT_EQ(form.Ask(Texts::AddPhoneBook, Texts::ReplacePhoneBook), TWriteMode::Cancel);
    }
    {
        TModalAnswerer answerer(QMessageBox::Ok, [](QDialog& dialog) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&dialog, &escape);
        });
        form.SetAddCaption(Texts::AddPhoneBook);
        form.SetReplaceCaption(Texts::ReplacePhoneBook);
        form.exec();
        EXPECT_EQ(form.WriteMode(), TWriteMode::Cancel);
    }
}

struct Progress : testing::Test {
    QProgressBar* Bar(const char* name) { return form.findChild<QProgressBar*>(name); }

    TProgressForm form;
};

TEST_F(Progress, IsAToolWindowOnTopThatDoesNotBlock) {
    EXPECT_FALSE(form.isModal());
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_FALSE(Bar("dpbProgress")->isVisibleTo(&form));
    EXPECT_EQ(Bar("dpbProgress")->maximum(), 100);
}

TEST_F(Progress, CountedBarStartsAtTheMinimumAndSteps) {
    form.show();
    form.SetRange(1, 5, 1);
    EXPECT_EQ(Bar("ProgressBar")->value(), 1);
    form.StepIt();
    form.StepIt();
    EXPECT_EQ(Bar("ProgressBar")->value(), 3);
    for (int i = 0; i < 5; ++i)
        form.StepIt();
    EXPECT_EQ(Bar("ProgressBar")->value(), 5) << "a full bar stays full";

    form.SetRange(0, 10, 3);
    EXPECT_EQ(Bar("ProgressBar")->minimum(), 0);
    EXPECT_EQ(Bar("ProgressBar")->maximum(), 10);
    EXPECT_EQ(Bar("ProgressBar")->value(), 0);
    form.StepIt();
    EXPECT_EQ(Bar("ProgressBar")->value(), 3);
}

TEST_F(Progress, AnimatedBarSweepsOnItsOwnUntilStopped) {
    form.show();
    form.StartAnimation();
    EXPECT_TRUE(Bar("dpbProgress")->isVisible());
    EXPECT_FALSE(Bar("ProgressBar")->isVisible());

    int changes = 0;
    bool fell = false;
    int previous = Bar("dpbProgress")->value();
    WaitFor([&] {
        const int value = Bar("dpbProgress")->value();
        EXPECT_GE(value, 0);
        EXPECT_LE(value, 100);
        changes += value != previous;
        fell = fell || value < previous;
        previous = value;
        return changes > 20 && fell;
    });
    EXPECT_GT(changes, 20);
    EXPECT_TRUE(fell) << "the bar never turned back";

    form.StopAnimation();
    EXPECT_FALSE(Bar("dpbProgress")->isVisible());
    EXPECT_TRUE(Bar("ProgressBar")->isVisible());
    const int stopped = Bar("dpbProgress")->value();
    // Three ticks of the animation, had it gone on.
    EXPECT_FALSE(
        WaitFor([&] { return Bar("dpbProgress")->value() != stopped; }, std::chrono::milliseconds(150)));
    EXPECT_EQ(Bar("dpbProgress")->value(), stopped);
}

TEST_F(Progress, ClosingEndsTheAnimation) {
    form.show();
    form.StartAnimation();
    form.close();
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Animating());
}

} // namespace
