#include "windows/MainTab.h"

#include "platform/Texts.h"

#include <QKeySequence>
#include <QLabel>
#include <QVBoxLayout>

TMainTab::TMainTab(const TTabDescription& description, TMainCore& core, TUserInteraction& ui, QWidget* parent)
    : QWidget(parent)
    , Core(core)
    , Ui(ui)
    , Description(description)
    , Layout(new QVBoxLayout(this)) {
    setObjectName(description.Name);
    Layout->setAlignment(Qt::AlignTop);
}

TMainTab::~TMainTab() = default;

void TMainTab::AddFileEntries(QMenu&) {}

void TMainTab::AddOptionEntries(QMenu&) {}

void TMainTab::ApplySwitches(const QStringList&) {}

QAction* TMainTab::AddFeatureSeparator(QMenu& menu, const char* name) {
    QAction* separator = menu.addSeparator();
    separator->setObjectName(name);
    FeatureActions.push_back(separator);
    return separator;
}

bool TMainTab::WindowShown() {
    return true;
}

void TMainTab::TabShown() {
    Ui.ShowStatus("");
    for (QAction* entry : SheetActions)
        entry->setEnabled(true);
    if (OpenEntry)
        OpenEntry->setShortcut(QKeySequence::Open);
    if (SaveEntry)
        SaveEntry->setShortcut(QKeySequence::Save);
}

void TMainTab::TabHidden() {
    for (QAction* entry : SheetActions)
        entry->setEnabled(false);
    // Two entries with one key would make the key do nothing.
    if (OpenEntry)
        OpenEntry->setShortcut(QKeySequence());
    if (SaveEntry)
        SaveEntry->setShortcut(QKeySequence());
}

void TMainTab::SetFileEntries(QAction* open, QAction* save) {
    OpenEntry = open;
    SaveEntry = save;
}

QPushButton* TMainTab::ReadButton(QPushButton* button) {
    button->setShortcut(QKeySequence(Qt::Key_F5));
    button->setToolTip(button->text().remove('&') + " (F5)");
    return button;
}

void TMainTab::HandsetConnected(int, uint8_t) {}

void TMainTab::ShowListEntry(int) {}

void TMainTab::ShowConnectedHandset(QLabel& label, const char* info) const {
    QString text = QString::fromUtf8(info);
    if (!Core.Software.empty())
        text += '\n' + QString::asprintf(Texts::InfoConnectedHandset, Core.Software.c_str(), Core.Pcs.c_str(),
                                         int(Core.HandsetLevel),
                                         Core.HasAdvancedSettings() ? Texts::InfoWithAdvancedSettings
                                                                    : Texts::InfoWithoutAdvancedSettings);
    label.setText(text);
}

QLabel* TMainTab::InfoLabel(const char* name, const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, Qt::yellow);
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    return label;
}
