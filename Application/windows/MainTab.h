#pragma once

#include "core/MainCore.h"
#include "platform/UserInteraction.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QWidget>

#include <cstdint>
#include <vector>

class QLabel;
class QVBoxLayout;

// One tab of the main window. Every tab is built the same way: it makes its own widgets and menu
// entries, holds the handlers of its controls under the controls' names, and leaves the work to an
// operation object of its feature folder (phone book, profile, ...), which reaches the person only
// through the user-interaction interface, the main window. The main window composes the tabs and owns
// what they share: the menus, the status bar, the busy state and the core with the engine.
//
// To add a tab: copy the nearest one, give it its sheet name ("tsSpeedDial") and its settings.cfg
// key, build its widgets in the constructor, add its File menu entries in AddFileEntries, and let the
// main window create it in CreateTabs.
class TMainTab : public QWidget {
    Q_OBJECT
public:
    // name is the sheet's control name, featureKey its switch in settings.cfg.
    TMainTab(const char* name, const char* featureKey, TMainCore& core, TUserInteraction& ui,
             QWidget* parent = nullptr);
    ~TMainTab() override;

    const char* FeatureKey() const { return Feature; }

    // Adds the tab's File menu entries, ended by their separator; called once, in the order of the tabs.
    virtual void AddFileEntries(QMenu& file);
    // Adds the tab's entries of the Options menu after the window's own; called once.
    virtual void AddOptionEntries(QMenu& options);

    // The entries hidden with the tab when its feature is switched off.
    const std::vector<QAction*>& FeatureEntries() const { return FeatureActions; }
    // The entries enabled only while the tab is shown.
    const std::vector<QAction*>& SheetEntries() const { return SheetActions; }

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

    template <class TTab>
    QPushButton* AddButton(QWidget* parent, const char* name, const char* caption, void (TTab::*handler)()) {
        auto* button = new QPushButton(QString::fromUtf8(caption), parent);
        button->setObjectName(name);
        connect(button, &QPushButton::clicked, static_cast<TTab*>(this), handler);
        return button;
    }

    // A yellow label with a note for the person.
    static QLabel* InfoLabel(const char* name, const char* text, QWidget* parent);
    QVBoxLayout* SheetLayout() const { return Layout; }
    // The message for what this version does not do yet.
    void NotBuiltYet();

    TMainCore& Core;
    TUserInteraction& Ui;

private:
    const char* Feature;
    QVBoxLayout* Layout;
    std::vector<QAction*> FeatureActions;
    std::vector<QAction*> SheetActions;
};
