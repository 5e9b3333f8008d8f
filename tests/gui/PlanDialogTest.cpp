// The plan of a write in the main window: what the box shows for a plan, the person's answer, and a
// cancelled phone book write against the virtual handset.
#include "support/HandsetProcess.h"
#include "support/ModalAnswerer.h"
#include "support/ProgramFolderOverride.h"
#include "support/ShownWindow.h"
#include "support/WaitFor.h"

#include "platform/AnsiText.h"
#include "windows/MainUnit.h"
#include "windows/PhoneBookGrid.h"
#include "windows/PhoneBookTab.h"
#include "windows/PlanDialog.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A replace of every kind of line; the names hold Windows-1252 bytes (é, €, ü).
TWritePlan MixedPlan() {
    TWritePlan plan;
    plan.List = "phone book";
    plan.Replace = true;
    plan.Lines = {
        {TPlanStep::Keep, "Kept 1", "100", {}, {}, 1},
        {TPlanStep::Add, "Jos\xE9 \x80", {}, "0301234", {}, 2},
        {TPlanStep::Change, "0555", "Carl", "Karl", {}, 3},
        {TPlanStep::Keep, "Kept 2", "101", {}, {}, 4},
        {TPlanStep::NotWritten, "J\xFCrgen", {}, "0501", "the phone book is full", 12},
        {TPlanStep::Remove, "Bob", "0407", {}, {}, 0},
    };
    plan.Cost.Add(5, 40);
    plan.Baud = 115200;
    return plan;
}

QStringList Items(const QDialog& dialog) {
    QStringList items;
    const auto* list = dialog.findChild<QListWidget*>("lbPlan");
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

QString Label(const QDialog& dialog, const char* name) {
    const auto* label = dialog.findChild<QLabel*>(name);
    return label->isVisibleTo(&dialog) ? label->text() : QString();
}

struct PlanDialog : testing::Test {
    PlanDialog() { qputenv("QUORVEL_CONFIG_DIR", config.path().toLocal8Bit()); }

    // The plan box of the main window answered by `answer`; what ConfirmPlan gave.
    bool Confirm(const TWritePlan& plan, const std::function<void(QDialog&)>& answer) {
        TMainForm form({"quorvel"});
        TModalAnswerer answerer(QMessageBox::Ok, [&](QDialog& dialog) {
            EXPECT_EQ(dialog.objectName(), "PlanDialog");
            answer(dialog);
        });
        const bool write = form.ConfirmPlan(plan);
        EXPECT_EQ(answerer.Plans.size(), 1u);
        return write;
    }

    QTemporaryDir config;
    TProgramFolderOverride programFolder;
};

} // namespace

TEST_F(PlanDialog, ShowsTheCountsAndTheLinesThatChangeSomething) {
    const TWritePlan plan = MixedPlan();
    TPlanDialog dialog(plan);
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Write to Handset \u2013 phone book"));
    EXPECT_EQ(Label(dialog, "lblCounts"),
              "The phone book replace: 1 to add, 1 to remove, 1 to change, 2 kept, "
              "1 not written; 5 mails, under 1 s at 115200 baud.");
    EXPECT_EQ(Label(dialog, "lblNothing"), "");
    EXPECT_EQ(Label(dialog, "lblRemoval"), FromAnsi(PlanRemovalWarning(plan)));
    EXPECT_TRUE(Label(dialog, "lblRemoval").startsWith("The replace deletes 1 entry of the handset"));
    EXPECT_EQ(Items(dialog),
              QStringList({
                  QString::fromUtf8("Add: Jos\u00E9 \u20AC 0301234"),
                  QString::fromUtf8("Change: 0555 Carl \u2192 Karl"),
                  QString::fromUtf8("Not written, line 12: J\u00FCrgen 0501 (the phone book is full)"),
                  "Remove: Bob 0407",
                  "Kept as the handset holds them: 2",
              }));

    // Only the lines not written are red; the kept ones are greyed.
    const auto* list = dialog.findChild<QListWidget*>("lbPlan");
    for (int i = 0; i < list->count(); ++i)
        EXPECT_EQ(list->item(i)->foreground().color() == QColor(Qt::red), i == 2) << i;
    EXPECT_FALSE(list->item(4)->flags() & Qt::ItemIsEnabled);
    EXPECT_TRUE(dialog.findChild<QPushButton*>("bbtnWrite")->isDefault());
}

TEST_F(PlanDialog, APlanThatChangesNothingSaysSo) {
    TWritePlan plan;
    plan.List = "phone book";
    plan.Lines = {{TPlanStep::Keep, "Anna", "1", {}, {}, 1}, {TPlanStep::Keep, "Bob", "2", {}, {}, 2}};
    TPlanDialog dialog(plan);
    EXPECT_EQ(Label(dialog, "lblCounts"), "The phone book write: 2 kept; no mail to send.");
    EXPECT_EQ(Label(dialog, "lblNothing"),
              "The handset already holds this phone book: the write changes nothing.");
    EXPECT_EQ(Label(dialog, "lblRemoval"), "");
    EXPECT_EQ(Items(dialog), QStringList({"Kept as the handset holds them: 2"}));

    // Nothing but an entry that does not fit: the handset holds all the rest.
    plan.Lines.push_back({TPlanStep::NotWritten, "Carl", {}, "3", "the phone book is full", 3});
    TPlanDialog full(plan);
    EXPECT_EQ(Label(full, "lblNothing"), "The write changes nothing in the handset's phone book: the handset "
                                         "already holds everything that can be written.");
    EXPECT_EQ(Items(full).front(), "Not written, line 3: Carl 3 (the phone book is full)");

    // The same entries in another order: a replace writes them again.
    plan.Lines.pop_back();
    plan.Replace = true;
    plan.OrderDiffers = true;
    TPlanDialog reordered(plan);
    EXPECT_EQ(Label(reordered, "lblNothing"), "");
    EXPECT_EQ(Items(reordered), QStringList({"Held already, written again in this order: 2"}));

    // An empty replace of an empty list: no list at all.
    TWritePlan emptyPlan;
    emptyPlan.List = "phone book";
    emptyPlan.Replace = true;
    TPlanDialog empty(emptyPlan);
    EXPECT_FALSE(empty.findChild<QListWidget*>("lbPlan")->isVisibleTo(&empty));
    EXPECT_EQ(Label(empty, "lblCounts"), "The phone book replace: nothing to write; no mail to send.");
}

TEST_F(PlanDialog, OnlyWriteGoesOn) {
    const TWritePlan plan = MixedPlan();
    EXPECT_TRUE(Confirm(plan, [](QDialog& d) { d.findChild<QPushButton*>("bbtnWrite")->click(); }));
    EXPECT_FALSE(Confirm(plan, [](QDialog& d) { d.findChild<QPushButton*>("bbtnCancel")->click(); }));
    EXPECT_FALSE(Confirm(plan, [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }));
    EXPECT_FALSE(Confirm(plan, [](QDialog& d) { d.close(); }));
    // Enter writes, also while the list has the focus.
    EXPECT_TRUE(Confirm(
        plan, [](QDialog& d) { QTest::keyClick(d.findChild<QListWidget*>("lbPlan"), Qt::Key_Return); }));
    EXPECT_TRUE(Confirm(plan, [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Enter, Qt::KeypadModifier); }));
}

namespace {

struct PlanDialogWindow : testing::Test {
    PlanDialogWindow() {
        qputenv("QUORVEL_CONFIG_DIR", config.path().toLocal8Bit());
        QFile settings(programFolder.File("settings.cfg"));
        settings.open(QIODevice::WriteOnly);
        settings.write("PHONE_BOOK=ON\r\n");
    }

    static QString Cell(TMainForm& form, int col, int row) {
        const QTableWidgetItem* item = form.PhoneBook().Grid()->item(row, col);
        return item ? item->text() : QString();
    }

    QTemporaryDir config;
    TProgramFolderOverride programFolder;
    TSaveQuestionForm saveQuestion;
    TProgressForm progress;
};

} // namespace

// "Write to Handset" answered with add shows the plan worked out from the handset's list; cancelled, the
// handset keeps its list as it was.
TEST_F(PlanDialogWindow, ACancelledPlanLeavesTheHandsetsPhoneBookAsItWas) {
    THandsetProcess handset({"--phonebook-entries", "3"});
    ASSERT_TRUE(handset.Started());
    auto form = ShownWindow(handset, saveQuestion, progress);
    TPP5Phonebook& book = form->Core().Phonebook;
    book.SetName(0, "Name 001");
    book.SetNumber(0, "5550001");
    book.SetName(1, "Ann");
    book.SetNumber(1, "777");
    book.SetName(2, "Bob");
    book.SetNumber(2, "778");
    form->PhoneBook().Grid()->ShowAll();

    QString counts;
    QStringList lines;
    {
        TModalAnswerer answerer(QMessageBox::Ok, [&](QDialog& dialog) {
            if (dialog.objectName() != "PlanDialog")
                return WriteModeChoice(0)(dialog);
            counts = Label(dialog, "lblCounts");
            lines = Items(dialog);
            dialog.findChild<QPushButton*>("bbtnCancel")->click();
        });
        form->findChild<QPushButton*>("bbtnSaveToPp")->click();
        EXPECT_EQ(answerer.Dialogs, 1);
        EXPECT_EQ(answerer.Plans.size(), 1u);
        // The plan box's question is the only one.
        EXPECT_EQ(answerer.Texts, std::vector<QString>{"Add list to existing phone book in handset?"});
    }
    // Two mails for each of the two entries, then the read after the write: two for each of the five
    // entries the handset would hold and one for the end.
    EXPECT_TRUE(counts.startsWith("The phone book write: 2 to add, 1 kept; 15 mails, "))
        << counts.toStdString();
    EXPECT_EQ(lines, QStringList({"Add: Ann 777", "Add: Bob 778", "Kept as the handset holds them: 1"}));
    EXPECT_EQ(form->findChild<QLabel*>("StatusPanel1")->text(), "Nothing was written to the handset.");
    EXPECT_FALSE(form->Busy());

    TModalAnswerer answerer;
    form->findChild<QPushButton*>("bbtnLoadFromPp")->click();
    EXPECT_TRUE(answerer.Texts.empty()) << answerer.Texts.front().toStdString();
    for (int row = 1; row <= 3; ++row)
        EXPECT_EQ(Cell(*form, 1, row), QString("Name 00%1").arg(row));
    EXPECT_EQ(Cell(*form, 2, 1), "5550001");
    EXPECT_EQ(Cell(*form, 1, 4), "");
}
