#pragma once

#include "core/MainCore.h"
#include "platform/UserInteraction.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

class QLabel;
class QVBoxLayout;

// What the main window needs to know of a tab to place it, switch it and tell it of changed lists.
struct TTabDescription {
    // The sheet's control name ("tsSpeedDial").
    const char* Name;
    // The page's caption.
    const char* Caption;
    // The tab's switch in settings.cfg.
    const char* FeatureKey;
    // The list the tab shows, if it shows one: the changes the operations report of it reach the tab.
    std::optional<TListKind> List;
};

// Whether a button is one of the controls a handset operation disables while it runs.
enum class TWhileBusy { Disabled, Untouched };

// One tab of the main window. Every tab is built the same way: it makes its own widgets and menu
// entries, holds the handlers of its controls under the controls' names, and leaves the work to an
// operation object of its feature folder (phone book, profile, ...), which reaches the person only
// through the user-interaction interface, the main window. The main window composes the tabs and owns
// what they share: the menus, the status bar, the busy state and the core with the engine and the lists.
//
// To add a tab: copy the nearest one, give it its description (sheet name, caption, settings.cfg key and
// the list it shows), build its widgets in the constructor with AddButton and AddBusyControl, so that
// a running operation disables them, add its File menu entries in AddFileEntries, and let the main window
// create it in CreateTabs.
class TMainTab : public QWidget {
    Q_OBJECT
public:
    TMainTab(const TTabDescription& description, TMainCore& core, TUserInteraction& ui,
             QWidget* parent = nullptr);
    ~TMainTab() override;

    const char* Caption() const { return Description.Caption; }
    const char* FeatureKey() const { return Description.FeatureKey; }
    std::optional<TListKind> ListKind() const { return Description.List; }

    // Adds the tab's File menu entries, ended by their separator; called once, in the order of the tabs.
    virtual void AddFileEntries(QMenu& file);
    // Adds the tab's entries of the Options menu after the window's own; called once.
    virtual void AddOptionEntries(QMenu& options);
    // The program's start switches, once the menus are made.
    virtual void ApplySwitches(const QStringList& arguments);

    // The entries hidden with the tab when its feature is switched off.
    const std::vector<QAction*>& FeatureEntries() const { return FeatureActions; }
    // The entries enabled only while the tab is shown.
    const std::vector<QAction*>& SheetEntries() const { return SheetActions; }
    // The controls disabled while a handset operation runs.
    const std::vector<QWidget*>& BusyControls() const { return BusyWidgets; }

    // The window is on the screen and its port is open: what the tab reads for it now. False when the
    // tab is of no use; the window hides it then.
    virtual bool WindowShown();
    // The tab is shown (tsXShow) or hidden (tsXHide): the status line empties, the entries follow.
    virtual void TabShown();
    virtual void TabHidden();

    // After each connection, what the handset has: the phone book capacity and the level.
    virtual void HandsetConnected(int phoneBookCapacity, uint8_t level);
    // An operation changed entry `entry` (or, with AllEntries, every entry) of the tab's list.
    virtual void ShowListEntry(int entry);

protected:
    // A menu entry handled by one of the tab's own handlers. A feature entry is also a sheet entry.
    template <class TTab>
    QAction* AddEntry(QMenu& menu, const char* name, const char* text, void (TTab::*handler)(),
                      bool featureEntry = true) {
        QAction* entry = menu.addAction(QString::fromUtf8(text));
        entry->setObjectName(name);
        connect(entry, &QAction::triggered, static_cast<TTab*>(this), handler);
        SheetActions.push_back(entry);
        if (featureEntry)
            FeatureActions.push_back(entry);
        return entry;
    }
    // The separator after the tab's feature entries, hidden with them.
    QAction* AddFeatureSeparator(QMenu& menu, const char* name);

    // A button of one of the tab's handlers; unless it is Untouched, a busy control.
    template <class TTab>
    QPushButton* AddButton(QWidget* parent, const char* name, const char* caption, void (TTab::*handler)(),
                           TWhileBusy whileBusy = TWhileBusy::Disabled) {
        auto* button = new QPushButton(QString::fromUtf8(caption), parent);
        button->setObjectName(name);
        connect(button, &QPushButton::clicked, static_cast<TTab*>(this), handler);
        if (whileBusy == TWhileBusy::Disabled)
            AddBusyControl(button);
        return button;
    }
    // Another control of the tab (a grid, a box of lists) that a running operation disables.
    template <class TControl> TControl* AddBusyControl(TControl* control) {
        BusyWidgets.push_back(control);
        return control;
    }

    // The tab's "Open" and "Save As" entries of the File menu: while the tab is shown they answer the
    // keys Ctrl+O and Ctrl+S, so that the keys always act on the list in sight.
    void SetFileEntries(QAction* open, QAction* save);
    // The button that reads the tab's list from the handset answers F5; only the shown tab's button is
    // on the screen, so the key reads the list in sight.
    static QPushButton* ReadButton(QPushButton* button);

    // A yellow label with a note for the person.
    static QLabel* InfoLabel(const char* name, const char* text, QWidget* parent);
    // The note of an info label followed by the handset of the last connection in words, so that the
    // person sees whether this handset has what the note asks for.
    void ShowConnectedHandset(QLabel& label, const char* info) const;
    QVBoxLayout* SheetLayout() const { return Layout; }

    TMainCore& Core;
    TUserInteraction& Ui;

private:
    TTabDescription Description;
    QVBoxLayout* Layout;
    std::vector<QAction*> FeatureActions;
    std::vector<QAction*> SheetActions;
    std::vector<QWidget*> BusyWidgets;
    QAction* OpenEntry = nullptr;
    QAction* SaveEntry = nullptr;
};
