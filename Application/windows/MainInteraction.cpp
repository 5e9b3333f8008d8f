// The main window as the person's side of every operation: the status line, message boxes, the
// questions, progress, the busy state, the phone book's row colours and the list entries as they change.
#include "windows/MainUnit.h"

#include "link/StopRequest.h"
#include "platform/AnsiText.h"
#include "platform/Texts.h"
#include "windows/BusyNotice.h"
#include "windows/ElidedLabel.h"
#include "windows/JobEndNotice.h"
#include "windows/MainTab.h"
#include "windows/PhoneBookGrid.h"
#include "windows/PhoneBookTab.h"
#include "windows/PlanDialog.h"
#include "windows/PortStatePanel.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"
#include "windows/StationView.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

void TMainForm::ResetRowColours() {
    tsPhoneBook->Grid()->ResetRowColours();
}

TRowColour TMainForm::RowColour(int row) const {
    return tsPhoneBook->Grid()->RowColour(row);
}

void TMainForm::ShowStatus(const std::string& text) {
    static_cast<TElidedLabel*>(StatusPanels[1])->SetFullText(FromAnsi(text));
    // The operation may keep the thread busy after this: paint now.
    StatusPanels[1]->repaint();
}

TAnswer TMainForm::ShowMessage(TMessageKind kind, const std::string& text, TButtons buttons) {
    // A message with nothing to answer but OK says how the operation went.
    if (buttons == TButtons::Ok && kind != TMessageKind::Confirmation)
        OperationNotice->OutcomeShown(MessageText(text), Watched());
    QMessageBox box(this);
    box.setWindowTitle(Texts::ProgramTitle);
    box.setText(MessageText(text));
    switch (kind) {
    case TMessageKind::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case TMessageKind::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case TMessageKind::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case TMessageKind::Confirmation:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case TButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case TButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case TButtons::AbortIgnore:
        box.setStandardButtons(QMessageBox::Abort | QMessageBox::Ignore);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return TAnswer::Cancel;
    case QMessageBox::Abort:
        return TAnswer::Abort;
    case QMessageBox::Ignore:
        return TAnswer::Ignore;
    default:
        return buttons == TButtons::OkCancel && box.clickedButton() == nullptr ? TAnswer::Cancel
                                                                               : TAnswer::Ok;
    }
}

TWriteMode TMainForm::AskWriteMode(const std::string& addCaption, const std::string& replaceCaption) {
    return SaveQuestion ? SaveQuestion->Ask(addCaption, replaceCaption) : TWriteMode::Cancel;
}

void TMainForm::ProgressStart(int min, int max, int step) {
    if (!Progress)
        return;
    // A write goes through every row of the table; the window counts the rows that hold an entry.
    Progress->SetRowHoldsEntry(
        [this](int row) { return !MainCore.Phonebook.GetNumber(uint16_t(row - 1)).empty(); });
    Progress->SetRange(min, max, step);
    Progress->show();
}

void TMainForm::ProgressStep() {
    if (Progress)
        Progress->StepIt();
}

void TMainForm::ProgressWords(const char* doing, const char* noun) {
    if (Progress)
        Progress->SetWords(doing, noun);
}

void TMainForm::ProgressAnimated() {
    if (!Progress)
        return;
    Progress->show();
    Progress->StartAnimation();
}

void TMainForm::ConnectionStep(bool running) {
    if (running) {
        ProgressAnimated();
        return;
    }
    ProgressEnd();
    PortState->ConnectionTried();
}

void TMainForm::ProgressEnd() {
    if (!Progress)
        return;
    Progress->StopAnimation();
    if (Progress->isVisible())
        Progress->close();
}

void TMainForm::SetBusy(bool busy) {
    // A stop asked for (the progress window's Cancel, closing the window) belongs to the operation it
    // stopped: the next one starts without it.
    if (busy && !IsBusy)
        ClearStopRequest();
    if (busy != IsBusy) {
        if (busy) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            OperationNotice->Begin();
        } else {
            QApplication::restoreOverrideCursor();
            OperationNotice->End(StatusPanels[1]->text(), Watched());
        }
    }
    IsBusy = busy;
    if (!busy && CloseWhenIdle)
        QTimer::singleShot(0, this, &QWidget::close);
    for (QToolButton* button : ToolBarButtons)
        button->setEnabled(!busy);
    for (TMainTab* tab : Tabs)
        for (QWidget* control : tab->BusyControls())
            control->setEnabled(!busy);
    PageControl->tabBar()->setEnabled(!busy);
    BusyNotice->SetBusy(busy);
    if (StationWindow)
        StationWindow->SetBusy(busy);
}

void TMainForm::SetRowColour(int row, TRowColour colour) {
    tsPhoneBook->Grid()->SetRowColour(row, colour);
    // A write marks the row it is at: the progress window counts it.
    if (Progress && colour == TRowColour::Yellow && Progress->isVisible())
        Progress->MarkRow(row);
}

void TMainForm::HandsetConnected(int phoneBookCapacity, uint8_t level) {
    for (TMainTab* tab : Tabs)
        tab->HandsetConnected(phoneBookCapacity, level);
}

// The status bar keeps naming the handset of the last connection beside the port, whatever the
// operations show in the middle, for as long as the line to it stays.
bool TMainForm::HandsetIdentified(const THandsetIdentity&) {
    PortState->HandsetIdentified();
    return true;
}

bool TMainForm::ConfirmPlan(const TWritePlan& plan) {
    // The write runs in the busy state; the person reads and chooses with the ordinary cursor.
    const bool busy = IsBusy;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    TPlanDialog dialog(plan, this);
    const bool write = dialog.Ask();
    if (busy)
        QApplication::restoreOverrideCursor();
    return write;
}

void TMainForm::ShowListEntry(TListKind list, int entry) {
    for (TMainTab* tab : Tabs)
        if (tab->ListKind() == list)
            tab->ShowListEntry(entry);
}

std::string TMainForm::AskFileName(bool save, const char* filter, const char* extension) {
    // "Caption (*.ext)|*.ext": the caption already names the patterns as the dialog wants them.
    const QString caption = QString::fromUtf8(filter).section('|', 0, 0);
    QFileDialog dialog(this);
    dialog.setNameFilter(caption);
    dialog.setDefaultSuffix(QString::fromUtf8(extension));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front().toStdString();
}
