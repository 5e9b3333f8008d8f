#include "windows/MainTab.h"

#include "platform/PhoneBookResourceStrings.h"

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
}

void TMainTab::TabHidden() {
    for (QAction* entry : SheetActions)
        entry->setEnabled(false);
}

void TMainTab::HandsetConnected(int, uint8_t) {}

void TMainTab::ShowListEntry(int) {}

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
