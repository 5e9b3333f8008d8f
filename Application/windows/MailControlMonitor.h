#pragma once

#include "link/Sndmail.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTextDocument;
class QWidget;

// The diagnostic window of the traffic with the handset: every frame sent and every answer received,
// with their counts, the checksum verdict and the time each transaction took. The engine owns it and
// feeds it only while it is shown; the window itself is built here, without a form.
class TMailControlMonitor : public QObject, public TMailMonitor {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 786;
    static constexpr int ClientHeight = 386;
    // The log forgets its oldest lines beyond this many, so that a line costs the same however long
    // the program runs.
    static constexpr int MaxLogLines = 10000;
    // The log holds up to this many lines more, until it is written anew with the last MaxLogLines.
    static constexpr int TrimLines = MaxLogLines;
    // The transactions behind those lines, two lines each, for "Save Log As...".
    static constexpr int MaxRecords = MaxLogLines / 2;

    TMailControlMonitor();
    ~TMailControlMonitor() override;

    void Show() override;
    bool IsVisible() override;
    void SetCaptionSuffix(const std::string& suffix) override;
    void LogTx(const std::string& mail, const std::string& frameHex, int expected, int length) override;
    void LogRx(const std::string& receivedHex, const std::string& answer, const std::string& status,
               int count, int64_t elapsed) override;
    void ShowRxChunks(uint16_t count) override;
    void LogRecord(const TMailRecord& record) override;

    QWidget& Window();

    void ClearAll();
    void LayoutControls();
    // Puts what the engine reported since the last display into the window now. It happens by itself
    // a moment after a report: a window redrawn for every transaction would slow the transactions.
    void Flush();
    static constexpr std::chrono::milliseconds DisplayDelay{50};

    bool ShowTime = false;

    // Writes the transactions the window holds as a recording, whole or not at all; gives false with
    // the reason in failure.
    bool SaveLog(const std::string& path, std::string& failure) const;
    const std::deque<TMailRecord>& Records() const { return Kept; }

protected:
    // The file "Save Log As..." writes to; empty when the person cancels.
    virtual std::string AskLogFileName();

private:
    class TForm;
    friend class TForm;

    void CreateControls();
    void AppendLine(QString line, bool tx);
    void ShowLater();
    static void AppendToLog(QTextDocument& document, const std::deque<std::pair<QString, bool>>& lines);
    void btnClearClick();
    void miStayOnTopClick();
    void miShowTimeClick();
    void miSaveLogAsClick();
    void FormShow();

    // The window, and the controls on it in the order they are made.
    std::unique_ptr<TForm> Form;
    QPlainTextEdit* reSndMail = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QPushButton* btnClear = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* lblSendmailText = nullptr;
    QLabel* lblRxText = nullptr;
    QLabel* lblReplyText = nullptr;
    QLabel* lblTxRxTimeText = nullptr;
    QLabel* lblPacketsText = nullptr;
    QLabel* lblSendmail = nullptr;
    QLabel* lblRx = nullptr;
    QLabel* lblParametre = nullptr;
    QLabel* lblElapsedTime = nullptr;
    QLabel* lblPakker = nullptr;
    QLabel* lblExpectedRxCountText = nullptr;
    QLabel* lblExptRecLen = nullptr;
    QLabel* lblChecksumStatusRxText = nullptr;
    QLabel* lblChecksumStatusRx = nullptr;
    QLabel* lblLogLimit = nullptr;
    QMenu* pmMonitor = nullptr;
    QAction* miStayOnTop = nullptr;
    QAction* miShowTime = nullptr;
    QAction* miSaveLogAs = nullptr;
    std::deque<TMailRecord> Kept;
    // Reported but not yet shown: log lines (true for a Tx line) and the last report of each kind, which
    // the labels show.
    std::deque<std::pair<QString, bool>> PendingLines;
    struct TTxReport {
        std::string mail, frameHex;
        int expected, length;
    };
    struct TRxReport {
        std::string receivedHex, answer, status;
        int count;
        int64_t elapsed;
    };
    std::optional<TTxReport> PendingTx;
    std::optional<TRxReport> PendingRx;
    std::optional<uint16_t> PendingChunks;
    // The last MaxLogLines lines put into the log, from which it is written anew.
    std::deque<std::pair<QString, bool>> Shown;
    class QTimer* DisplayTimer = nullptr;
    bool InStyleChange = false;
};
