#include "windows/StationView.h"

#include "core/ProvisionTemplate.h"
#include "platform/AnsiText.h"
#include "platform/ChangeStore.h"
#include "platform/Paths.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int ClientWidth = 680;
constexpr int ClientHeight = 440;
// A folder name being typed is checked once the typing has paused this long.
constexpr std::chrono::milliseconds CheckDelay{400};
// How much of the station's stderr is kept for the reason it ended.
constexpr qsizetype ErrorTail = 16 * 1024;
// The window is being destroyed while the station still runs (the program ends some other way than by
// closing its windows): the provisioning under way may finish for this long before the station is killed.
constexpr int LastWaitMs = 30000;
// The tool's own prefix on stderr.
constexpr QLatin1String CliPrefix("quorvel-cli: ");
// A template writes at most these: phone book, speed dial, broadcast groups, profile.
constexpr size_t ProvisionKinds = 4;

QString Shown(const std::string& text) {
    return MessageText(text);
}

} // namespace

TStationView::TStationView(TUserInteraction& ui, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , UI(ui) {
    CreateControls();
    CheckTemplate();
    UpdateControls();
    // Closed from the keyboard as a dialog is; a running station stops first (closeEvent).
    auto* closeKeys = new QAction(this);
    closeKeys->setObjectName("acCloseStation");
    closeKeys->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)});
    connect(closeKeys, &QAction::triggered, this, &QWidget::close);
    addAction(closeKeys);
}

TStationView::~TStationView() {
    // The field loses its focus while the window's children are destroyed, and its editingFinished
    // would run on a window that is half gone.
    edtTemplate->disconnect(this);
    if (!Process)
        return;
    // Not through Ended: nobody is left to show what it says.
    Process->disconnect(this);
    Process->terminate();
    if (!Process->waitForFinished(LastWaitMs)) {
        Process->kill();
        Process->waitForFinished(LastWaitMs);
    }
}

QString TStationView::StatusText() const {
    return lblStationStatus->text();
}

QString TStationView::StationProgram() {
    return QFile::decodeName(QByteArray::fromStdString(ProgramDir())) + "quorvel-cli";
}

void TStationView::CreateControls() {
    setObjectName("StationView");
    setWindowTitle(Texts::StationCaption);
    resize(ClientWidth, ClientHeight);

    auto* layout = new QVBoxLayout(this);
    auto* folder = new QHBoxLayout;
    auto* label = new QLabel(Texts::StationTemplateLabel, this);
    folder->addWidget(label);
    edtTemplate = new QLineEdit(this);
    edtTemplate->setObjectName("edtTemplate");
    label->setBuddy(edtTemplate);
    folder->addWidget(edtTemplate, 1);
    btnBrowse = new QPushButton(Texts::StationBrowse, this);
    btnBrowse->setObjectName("btnBrowse");
    folder->addWidget(btnBrowse);
    layout->addLayout(folder);

    lblTemplate = new QLabel(this);
    lblTemplate->setObjectName("lblTemplate");
    lblTemplate->setWordWrap(true);
    lblTemplate->setTextFormat(Qt::PlainText);
    lblTemplate->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(lblTemplate);

    chkOnlyListed = new QCheckBox(Texts::StationOnlyListed, this);
    chkOnlyListed->setObjectName("chkOnlyListed");
    layout->addWidget(chkOnlyListed);

    auto* buttons = new QHBoxLayout;
    btnStart = new QPushButton(Texts::StationStart, this);
    btnStart->setObjectName("btnStart");
    buttons->addWidget(btnStart);
    btnStop = new QPushButton(Texts::StationStop, this);
    btnStop->setObjectName("btnStop");
    buttons->addWidget(btnStop);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    twStationPorts = new QTreeWidget(this);
    twStationPorts->setObjectName("twStationPorts");
    twStationPorts->setRootIsDecorated(false);
    twStationPorts->setHeaderLabels(QString(Texts::StationColumns).split('|'));
    twStationPorts->header()->setStretchLastSection(true);
    layout->addWidget(twStationPorts, 1);

    twStationHandsets = new QTreeWidget(this);
    twStationHandsets->setObjectName("twStationHandsets");
    twStationHandsets->setRootIsDecorated(false);
    twStationHandsets->setHeaderLabels(QString(Texts::StationHandsetColumns).split('|'));
    twStationHandsets->header()->setStretchLastSection(true);
    layout->addWidget(twStationHandsets, 1);

    lblStationStatus = new QLabel(this);
    lblStationStatus->setObjectName("lblStationStatus");
    lblStationStatus->setWordWrap(true);
    lblStationStatus->setTextFormat(Qt::PlainText);
    lblStationStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(lblStationStatus);

    CheckTimer = new QTimer(this);
    CheckTimer->setSingleShot(true);
    CheckTimer->setInterval(CheckDelay);
    connect(CheckTimer, &QTimer::timeout, this, [this] {
        CheckTemplate();
        UpdateControls();
    });
    connect(edtTemplate, &QLineEdit::textChanged, this, [this] {
        // Until it is checked, the folder typed so far cannot start the station.
        TemplateUsable = false;
        UpdateControls();
        CheckTimer->start();
    });
    connect(edtTemplate, &QLineEdit::editingFinished, this, [this] {
        if (CheckTimer->isActive()) {
            CheckTimer->stop();
            CheckTemplate();
            UpdateControls();
        }
    });
    connect(btnBrowse, &QPushButton::clicked, this, &TStationView::btnBrowseClick);
    connect(btnStart, &QPushButton::clicked, this, &TStationView::btnStartClick);
    connect(btnStop, &QPushButton::clicked, this, &TStationView::btnStopClick);
}

void TStationView::UpdateControls() {
    const bool running = Running();
    edtTemplate->setEnabled(!running);
    btnBrowse->setEnabled(!running);
    chkOnlyListed->setEnabled(!running);
    btnStart->setEnabled(!running && !WindowBusy && TemplateUsable);
    btnStop->setEnabled(running && !Stopping);
    btnStop->setText(Stopping ? Texts::StationStopping : Texts::StationStop);
}

void TStationView::SetBusy(bool busy) {
    WindowBusy = busy;
    UpdateControls();
}

// ---- the template ----

void TStationView::FillHandsets() {
    twStationHandsets->clear();
    std::vector<THandsetRow> rows;
    try {
        rows = ChangeStore().Handsets();
    } catch (const std::runtime_error& e) {
        auto* item = new QTreeWidgetItem(twStationHandsets);
        item->setText(0, FromUtf8OrAnsi(e.what()));
        return;
    }
    for (const THandsetRow& row : rows) {
        auto* item = new QTreeWidgetItem(twStationHandsets);
        const QString given =
            row.Template.empty()
                ? QString()
                : FromUtf8OrAnsi(row.Template + " " + row.TemplateTime.substr(0, 10) + " " + row.Verify);
        const QStringList cells{FromAnsi(row.Serial),
                                FromAnsi(row.Software),
                                FromAnsi(row.Pcs),
                                QString::number(row.Capacity),
                                FromUtf8OrAnsi(row.LastSeen + " " + row.LastPc + " " + row.LastPort),
                                given,
                                TemplateHash.empty() ? QString()
                                : row.TemplateHash == TemplateHash && row.Verify == "verified"
                                    ? QString(Texts::StationHandsetCurrent)
                                    : QString(Texts::StationHandsetOutdated)};
        for (int column = 0; column < cells.size(); ++column)
            item->setText(column, cells[column]);
    }
    for (int column = 0; column < twStationHandsets->columnCount(); ++column)
        twStationHandsets->resizeColumnToContents(column);
}

bool TStationView::CheckTemplate() {
    // The table of handsets follows the template chosen: filled again however the check ends.
    struct TRefill {
        TStationView& View;
        ~TRefill() { View.FillHandsets(); }
    } refill{*this};
    TemplateUsable = false;
    TemplateHash.clear();
    const QString folder = edtTemplate->text().trimmed();
    if (folder.isEmpty()) {
        lblTemplate->setText(Shown(Texts::StationNoFolder));
        return false;
    }
    try {
        const TProvisionTemplate provision =
            TProvisionTemplate::Load(QFile::encodeName(folder).toStdString());
        const std::vector<TTemplateProblem> problems = provision.Check();
        if (!problems.empty()) {
            std::string text = problems.size() == 1
                                   ? std::string(Texts::StationOneProblem)
                                   : FormatText(Texts::StationProblems, int(problems.size()));
            for (size_t i = 0; i < problems.size() && i < size_t(MostProblemsShown); ++i)
                text += "\r" + TemplateProblemText(problems[i]);
            if (problems.size() > size_t(MostProblemsShown))
                text +=
                    "\r" + FormatText(Texts::StationMoreProblems, int(problems.size()) - MostProblemsShown);
            lblTemplate->setText(FromUtf8OrAnsi(text).replace('\r', '\n'));
            return false;
        }
        const int listed = int(provision.Serials().size());
        const std::string handsets = !provision.HasHandsetList() ? std::string(Texts::StationNoHandsetList)
                                     : listed == 1               ? std::string(Texts::StationOneListed)
                                                   : FormatText(Texts::StationManyListed, listed);
        lblTemplate->setText(
            Shown(FormatText(Texts::StationTemplateWrites,
                             JoinedText(provision.Kinds(), ProvisionKinds).c_str(), handsets.c_str())));
        TemplateUsable = true;
        TemplateHash = provision.ContentHash();
    } catch (const std::exception& e) {
        lblTemplate->setText(FromUtf8OrAnsi(e.what()));
    }
    return TemplateUsable;
}

void TStationView::btnBrowseClick() {
    const QString folder =
        QFileDialog::getExistingDirectory(this, Texts::StationChooseFolder, edtTemplate->text().trimmed());
    if (folder.isEmpty())
        return;
    edtTemplate->setText(QDir::toNativeSeparators(folder));
    CheckTimer->stop();
    CheckTemplate();
    UpdateControls();
}

// ---- the station ----

void TStationView::btnStartClick() {
    if (Running())
        return;
    CheckTimer->stop();
    // The folder may have changed since it was chosen: what is started is what is checked now.
    const bool usable = CheckTemplate();
    UpdateControls();
    if (!usable)
        return;
    const QString folder = edtTemplate->text().trimmed();
    const bool onlyListed = chkOnlyListed->isChecked();
    if (UI.Message(TMessageKind::Confirmation,
                   FormatText(Texts::StationStartQuestion, ToAnsi(folder).c_str(),
                              onlyListed ? Texts::StationListedOnly : ""),
                   TButtons::OkCancel) != TAnswer::Ok)
        return;
    // The question may have taken a while: anything started meanwhile wins.
    if (Running() || WindowBusy)
        return;

    twStationPorts->clear();
    Rows.clear();
    Trailing.clear();
    Errors.clear();
    Summary.clear();
    Stopping = false;
    CloseWhenStopped = false;
    lblStationStatus->setText(Shown(Texts::StationStarting));

    Process = new QProcess(this);
    Process->setProgram(StationProgram());
    QStringList arguments{"--json", "--yes", "station", "watch", folder};
    if (onlyListed)
        arguments << "--only-listed";
    Process->setArguments(arguments);
    Process->setProcessChannelMode(QProcess::SeparateChannels);
    // Should this program end without stopping it (a crash), the station is asked to stop as Stop asks.
    Process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    connect(Process, &QProcess::readyReadStandardOutput, this, &TStationView::ReadOutput);
    connect(Process, &QProcess::readyReadStandardError, this, &TStationView::ReadErrors);
    connect(Process, &QProcess::finished, this, &TStationView::ProcessFinished);
    connect(Process, &QProcess::errorOccurred, this, &TStationView::ProcessFailed);
    UpdateControls();
    emit StationStarted();
    Process->start(QIODevice::ReadOnly);
}

void TStationView::btnStopClick() {
    Stop();
}

void TStationView::Stop() {
    if (!Process || Stopping)
        return;
    Stopping = true;
    UpdateControls();
    Process->terminate();
}

void TStationView::closeEvent(QCloseEvent* event) {
    if (!Running()) {
        event->accept();
        return;
    }
    // The window closes once the station has stopped, so that no handset is cut off mid-write.
    event->ignore();
    CloseWhenStopped = true;
    Stop();
}

void TStationView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !Running() &&
        !edtTemplate->text().trimmed().isEmpty()) {
        CheckTimer->stop();
        CheckTemplate();
        UpdateControls();
    }
}

void TStationView::ReadOutput() {
    while (Process && Process->canReadLine())
        TakeLine(Process->readLine());
}

void TStationView::ReadErrors() {
    if (!Process)
        return;
    Errors += Process->readAllStandardError();
    if (Errors.size() > ErrorTail)
        Errors = Errors.right(ErrorTail);
}

void TStationView::TakeLine(const QByteArray& line) {
    const QByteArray trimmed = line.trimmed();
    if (trimmed.startsWith('{') && trimmed.endsWith('}')) {
        const QJsonDocument document = QJsonDocument::fromJson(trimmed);
        if (document.isObject() && document.object().contains("event")) {
            TakeEvent(document.object());
            return;
        }
    }
    // The document the tool prints as it ends, over several lines.
    Trailing += line;
}

void TStationView::TakeEvent(const QJsonObject& event) {
    const QString kind = event["event"].toString();
    const QString port = event["port"].toString();
    const QString serial = event["serial"].toString();
    const QString text = event["text"].toString();
    if (kind == "watching") {
        lblStationStatus->setText(text);
    } else if (kind == "stopping") {
        // Asked here or from outside (a signal to the process): either way no new handset is taken.
        Stopping = true;
        UpdateControls();
        lblStationStatus->setText(text);
    } else if (kind == "summary") {
        Summary = text;
        lblStationStatus->setText(text);
    } else if (port.isEmpty()) {
        return;
    } else if (kind == "docked") {
        QTreeWidgetItem* row = Row(port);
        // Another handset on the port: what was said of the one before is no longer of interest.
        row->setText(HandsetColumn, serial);
        row->setToolTip(MessageColumn, {});
        ShowRow(row, Texts::StationDocked, text);
    } else if (kind == "message") {
        ShowRow(Row(port), Texts::StationProvisioning, text);
    } else if (kind == "done") {
        ShowRow(Row(port), Texts::StationDone, text);
        FillHandsets();
    } else if (kind == "failed") {
        ShowRow(Row(port), Texts::StationFailed, text);
        FillHandsets();
    } else if (kind == "left") {
        // Stopping, the tool cuts off the probes of idle ports, which then look like handsets taken out;
        // the rows keep saying how each handset's provisioning ended.
        if (Stopping)
            return;
        ShowRow(Row(port), Texts::StationTakenOut, text);
    } else if (kind == "busy") {
        QTreeWidgetItem* row = Row(port);
        row->setText(HandsetColumn, {});
        ShowRow(row, Texts::StationBusy, text);
    }
}

QTreeWidgetItem* TStationView::Row(const QString& port) {
    const auto found = Rows.find(port);
    if (found != Rows.end())
        return found->second;
    auto* row = new QTreeWidgetItem(twStationPorts);
    row->setText(PortColumn, port);
    Rows[port] = row;
    return row;
}

void TStationView::ShowRow(QTreeWidgetItem* row, const QString& state, const QString& text) {
    row->setText(StateColumn, state);
    row->setText(MessageColumn, text);
    // Everything said of the handset now on the port, for the person who wants more than the last line.
    const QString said = row->toolTip(MessageColumn);
    row->setToolTip(MessageColumn, said.isEmpty() ? text : said + "\n" + text);
    for (int column = PortColumn; column < MessageColumn; ++column)
        twStationPorts->resizeColumnToContents(column);
}

void TStationView::ProcessFinished(int exitCode, QProcess::ExitStatus exitStatus) {
    if (!Process)
        return;
    ReadOutput();
    // A last line without its line end.
    if (const QByteArray rest = Process->readAllStandardOutput(); !rest.isEmpty())
        TakeLine(rest);
    ReadErrors();
    QString why;
    if (exitStatus == QProcess::CrashExit) {
        why = Shown(FormatText(Texts::StationEndedUnexpectedly, ToAnsi(Process->errorString()).c_str()));
    } else if (exitCode != 0) {
        const QString reason = EndReason();
        why = reason.isEmpty()
                  ? Shown(FormatText(Texts::StationEndedWithStatus, exitCode))
                  : Shown(FormatText(Texts::StationEndedWithMessage, exitCode, ToAnsi(reason).c_str()));
    }
    Ended(Summary.isEmpty() ? why : why.isEmpty() ? Summary : Summary + " " + why);
}

void TStationView::ProcessFailed(QProcess::ProcessError error) {
    // Any other error is followed by finished, which tells it.
    if (!Process || error != QProcess::FailedToStart)
        return;
    Ended(
        Shown(FormatText(Texts::StationNotStarted, ToAnsi(QDir::toNativeSeparators(StationProgram())).c_str(),
                         ToAnsi(Process->errorString()).c_str())));
}

void TStationView::Ended(const QString& why) {
    Process->disconnect(this);
    Process->deleteLater();
    Process = nullptr;
    Stopping = false;
    if (!why.isEmpty())
        lblStationStatus->setText(why);
    CheckTemplate();
    UpdateControls();
    emit StationEnded();
    if (CloseWhenStopped) {
        CloseWhenStopped = false;
        close();
    }
}

QString TStationView::EndReason() const {
    const QJsonArray messages = QJsonDocument::fromJson(Trailing).object()["messages"].toArray();
    if (!messages.isEmpty())
        return messages.last().toString();
    const QList<QByteArray> lines = Errors.trimmed().split('\n');
    QString last = QString::fromLocal8Bit(lines.last().trimmed());
    if (last.startsWith(CliPrefix))
        last.remove(0, CliPrefix.size());
    return last;
}
