#pragma once

#include "platform/UserInteraction.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QWidget>

#include <map>

class QCheckBox;
class QCloseEvent;
class QEvent;
class QJsonObject;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

// The provisioning station in a window of its own: a template folder, what it writes or what is wrong
// with it, and "quorvel-cli station watch" run over it, with one row per port of what the watch tells.
// The window only shows the station: the command-line tool probes the ports and provisions the handsets,
// so that both give a handset the same files in the same way.
class TStationView : public QWidget {
    Q_OBJECT
public:
    // The table's columns.
    enum TColumn { PortColumn, HandsetColumn, StateColumn, MessageColumn };
    // Template problems listed at most; the rest are counted.
    static constexpr int MostProblemsShown = 20;

    // ui asks the person before the station starts.
    explicit TStationView(TUserInteraction& ui, QWidget* parent = nullptr);
    ~TStationView() override;

    bool Running() const { return Process != nullptr; }
    // Asks the station to end: the provisioning under way finishes first, then the process ends and
    // StationEnded follows.
    void Stop();
    // The main window's operation runs: the station may not start meanwhile.
    void SetBusy(bool busy);

    // What the window says of the station's run; once it has ended, how it ended.
    QString StatusText() const;

    // The tool the station runs: quorvel-cli in the program folder.
    static QString StationProgram();

    // Shows one event of the station as the running tool tells it, one JSON line of "station watch
    // --json" ({"event": "docked", "port": "COM10", "serial": ..., "text": ...}).
    void TakeEvent(const QJsonObject& event);

signals:
    // Before the process starts, and once it has ended (or could not start).
    void StationStarted();
    void StationEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Back in the window after mending the template elsewhere: the folder is checked again.
    void changeEvent(QEvent* event) override;

private:
    void CreateControls();
    void UpdateControls();
    // Reads the chosen folder as a template and says what it writes, or what is wrong with it; false
    // when the station cannot start with it.
    bool CheckTemplate();

    void btnBrowseClick();
    void btnStartClick();
    void btnStopClick();

    void ReadOutput();
    void ReadErrors();
    void TakeLine(const QByteArray& line);
    void ProcessFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void ProcessFailed(QProcess::ProcessError error);
    // The process is over: its rows stay, the controls are free again.
    void Ended(const QString& why);
    // Why the process ended with an error: the last message of its closing document or of stderr.
    QString EndReason() const;

    // The PC's table of handsets, each against the chosen template's content where it is usable.
    void FillHandsets();

    QTreeWidgetItem* Row(const QString& port);
    void ShowRow(QTreeWidgetItem* row, const QString& state, const QString& text);

    TUserInteraction& UI;

    QLineEdit* edtTemplate = nullptr;
    QPushButton* btnBrowse = nullptr;
    QLabel* lblTemplate = nullptr;
    QCheckBox* chkOnlyListed = nullptr;
    QPushButton* btnStart = nullptr;
    QPushButton* btnStop = nullptr;
    QTreeWidget* twStationPorts = nullptr;
    QTreeWidget* twStationHandsets = nullptr;
    // The SHA-256 of the chosen template's content; empty while it cannot be used.
    std::string TemplateHash;
    QLabel* lblStationStatus = nullptr;
    // Typing a folder name checks it once the typing pauses, not at every key.
    QTimer* CheckTimer = nullptr;

    QProcess* Process = nullptr;
    bool TemplateUsable = false;
    bool WindowBusy = false;
    bool Stopping = false;
    bool CloseWhenStopped = false;
    // The rows by port ("COM12"), in the order the ports were first told of.
    std::map<QString, QTreeWidgetItem*> Rows;
    // What the process wrote that is no event line: its closing document.
    QByteArray Trailing;
    // The end of what it wrote on stderr.
    QByteArray Errors;
    QString Summary;
};
