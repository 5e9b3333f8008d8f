#include "windows/MailControlMonitor.h"

#include "platform/TextFile.h"

#include "link/Timing.h"
#include "platform/AnsiText.h"
#include "platform/Texts.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

namespace {

constexpr int LabelHeight = 15;
constexpr int LabelFontPixels = 12;
constexpr int BoxFontPixels = 13;
constexpr int LogFontPixels = 12;
constexpr int LogGap = 5;
constexpr int LogBottomRoom = 43;
constexpr int ButtonGap = 6;
constexpr int ButtonRoom = 40;

const QColor TxColour(0, 0, 255);
const QColor RxColour(0, 0, 0);

QString Text(const std::string& text) {
    return FromAnsi(text);
}

QString Formatted(const char* format, const std::string& text, int number) {
    return QString::asprintf(format, text.c_str(), number);
}

} // namespace

// The window itself: its resizing lays the controls out, its showing clears them, a right click opens
// the pop-up menu.
class TMailControlMonitor::TForm : public QWidget {
public:
    explicit TForm(TMailControlMonitor& monitor)
        : Monitor(monitor) {}

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        Monitor.LayoutControls();
    }
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        Monitor.FormShow();
    }
    void contextMenuEvent(QContextMenuEvent* event) override {
        Monitor.pmMonitor->popup(mapToGlobal(event->pos()));
    }

private:
    TMailControlMonitor& Monitor;
};

TMailControlMonitor::TMailControlMonitor()
    : Form(std::make_unique<TForm>(*this)) {
    CreateControls();
}

TMailControlMonitor::~TMailControlMonitor() = default;

QWidget& TMailControlMonitor::Window() {
    return *Form;
}

void TMailControlMonitor::CreateControls() {
    Form->setObjectName("MailControlMonitor");
    Form->setWindowTitle(Texts::MonitorCaption);
    Form->resize(ClientWidth, ClientHeight);

    PageControl1 = new QTabWidget(Form.get());
    PageControl1->setObjectName("PageControl1");
    PageControl1->setGeometry(0, 0, ClientWidth, ClientHeight);
    // It has no pages: its empty tab bar is no place for the focus.
    PageControl1->tabBar()->setFocusPolicy(Qt::NoFocus);

    btnClear = new QPushButton(Texts::ClearWindow, PageControl1);
    btnClear->setObjectName("btnClear");
    btnClear->setGeometry(341, 322, 173, 24);

    GroupBox1 = new QGroupBox(PageControl1);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(3, 6, 778, 97);
    QFont boxFont("Arial");
    boxFont.setPixelSize(BoxFontPixels);
    GroupBox1->setFont(boxFont);
    QPalette black = GroupBox1->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    GroupBox1->setPalette(black);

    reSndMail = new QPlainTextEdit(PageControl1);
    reSndMail->setObjectName("reSndMail");
    reSndMail->setGeometry(3, 97, 778, 213);
    QFont logFont("Courier New");
    logFont.setStyleHint(QFont::Monospace);
    logFont.setPixelSize(LogFontPixels);
    reSndMail->setFont(logFont);
    reSndMail->setReadOnly(true);
    reSndMail->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    reSndMail->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    reSndMail->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    reSndMail->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    reSndMail->setUndoRedoEnabled(false);
    // The selection stays visible while the window is not active.
    QPalette selection = reSndMail->palette();
    selection.setColor(QPalette::Inactive, QPalette::Highlight,
                       selection.color(QPalette::Active, QPalette::Highlight));
    selection.setColor(QPalette::Inactive, QPalette::HighlightedText,
                       selection.color(QPalette::Active, QPalette::HighlightedText));
    reSndMail->setPalette(selection);

    QFont labelFont("Courier New");
    labelFont.setStyleHint(QFont::Monospace);
    labelFont.setPixelSize(LabelFontPixels);
    const auto label = [&](QLabel*& field, const char* name, int left, int top, int width, const char* text) {
        field = new QLabel(QString::fromUtf8(text), GroupBox1);
        field->setObjectName(name);
        field->setFont(labelFont);
        field->setPalette(black);
        field->setGeometry(left, top, width, LabelHeight);
    };
    label(lblSendmailText, "lblSendmailText", 13, 13, 77, Texts::MonitorTxLabel);
    label(lblRxText, "lblRxText", 13, 29, 70, Texts::MonitorRxLabel);
    label(lblReplyText, "lblReplyText", 13, 44, 70, Texts::MonitorReplyLabel);
    label(lblTxRxTimeText, "lblTxRxTimeText", 13, 59, 70, Texts::MonitorTxRxTimeLabel);
    label(lblPacketsText, "lblPacketsText", 13, 75, 70, Texts::MonitorPacketsLabel);
    label(lblSendmail, "lblSendmail", 96, 13, 77, "");
    label(lblRx, "lblRx", 96, 29, 35, "");
    label(lblParametre, "lblParametre", 96, 44, 84, "");
    label(lblElapsedTime, "lblElapsedTime", 96, 59, 98, "");
    label(lblPakker, "lblPakker", 96, 75, 63, "");
    label(lblExpectedRxCountText, "lblExpectedRxCountText", 199, 59, 133, Texts::MonitorExpectedRxLabel);
    label(lblExptRecLen, "lblExptRecLen", 336, 59, 91, "");
    label(lblChecksumStatusRxText, "lblChecksumStatusRxText", 199, 75, 133, Texts::MonitorChecksumLabel);
    label(lblChecksumStatusRx, "lblChecksumStatusRx", 336, 75, 133, "");
    label(lblLogLimit, "lblLogLimit", 480, 75, 290, "");
    lblLogLimit->setText(QString::asprintf(Texts::MonitorLogLimit, MaxLogLines));

    pmMonitor = new QMenu(Form.get());
    pmMonitor->setObjectName("pmMonitor");
    miStayOnTop = pmMonitor->addAction(Texts::StayOnTop);
    miStayOnTop->setObjectName("miStayOnTop");
    miStayOnTop->setCheckable(true);
    miShowTime = pmMonitor->addAction(Texts::ShowTime);
    miShowTime->setObjectName("miShowTime");
    miShowTime->setCheckable(true);
    miSaveLogAs = pmMonitor->addAction(Texts::SaveLogAs);
    miSaveLogAs->setObjectName("miSaveLogAs");
    // The log fills most of the window: its right button opens the monitor's menu too, not the text
    // box's own.
    reSndMail->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(reSndMail, &QWidget::customContextMenuRequested, pmMonitor,
            [this](const QPoint& at) { pmMonitor->popup(reSndMail->viewport()->mapToGlobal(at)); });

    DisplayTimer = new QTimer(this);
    DisplayTimer->setSingleShot(true);
    DisplayTimer->setInterval(DisplayDelay);
    connect(DisplayTimer, &QTimer::timeout, this, &TMailControlMonitor::Flush);

    // Tab order: the button, the group box, the log.
    QWidget::setTabOrder(btnClear, GroupBox1);
    QWidget::setTabOrder(GroupBox1, reSndMail);

    connect(btnClear, &QPushButton::clicked, this, &TMailControlMonitor::btnClearClick);
    connect(miStayOnTop, &QAction::triggered, this, &TMailControlMonitor::miStayOnTopClick);
    connect(miShowTime, &QAction::triggered, this, &TMailControlMonitor::miShowTimeClick);
    connect(miSaveLogAs, &QAction::triggered, this, &TMailControlMonitor::miSaveLogAsClick);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), Form.get());
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, Form.get(), &QWidget::hide);

    // Centred on the screen of the active window.
    const QWidget* active = QApplication::activeWindow();
    QScreen* screen = active ? active->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        Form->move(area.center() - QPoint(ClientWidth / 2, ClientHeight / 2));
    }
}

// ---- what the engine calls ----

void TMailControlMonitor::Show() {
    Form->show();
    Form->raise();
    Form->activateWindow();
}

bool TMailControlMonitor::IsVisible() {
    return Form->isVisible();
}

void TMailControlMonitor::SetCaptionSuffix(const std::string& suffix) {
    Form->setWindowTitle(QString(Texts::MonitorCaption) + Texts::MonitorCaptionJoin + Text(suffix));
}

void TMailControlMonitor::LogTx(const std::string& mail, const std::string& frameHex, int expected,
                                int length) {
    AppendLine(ShowTime ? QString::asprintf("%s Tx: %s (Tx Count: %d dec)", TimeStamp().c_str(),
                                            frameHex.c_str(), length)
                        : Formatted("Tx: %s (Tx Count: %d dec)", frameHex, length),
               true);
    PendingTx = TTxReport{mail, frameHex, expected, length};
}

void TMailControlMonitor::LogRx(const std::string& receivedHex, const std::string& answer,
                                const std::string& status, int count, int64_t elapsed) {
    AppendLine(ShowTime ? QString::asprintf("%s Rx: %s (Rx Count: %d dec)", TimeStamp().c_str(),
                                            receivedHex.c_str(), count)
                        : Formatted("Rx: %s (Rx Count: %d dec)", receivedHex, count),
               false);
    PendingRx = TRxReport{receivedHex, answer, status, count, elapsed};
    ShowLater();
}

void TMailControlMonitor::ShowRxChunks(uint16_t count) {
    PendingChunks = count;
    ShowLater();
}

void TMailControlMonitor::LogRecord(const TMailRecord& record) {
    Kept.push_back(record);
    while (Kept.size() > MaxRecords)
        Kept.pop_front();
}

// ---- inside the window ----

void TMailControlMonitor::AppendLine(QString line, bool tx) {
    PendingLines.emplace_back(std::move(line), tx);
    if (PendingLines.size() > MaxLogLines)
        PendingLines.pop_front();
    ShowLater();
}

void TMailControlMonitor::ShowLater() {
    if (!DisplayTimer->isActive())
        DisplayTimer->start();
}

void TMailControlMonitor::AppendToLog(QTextDocument& document,
                                      const std::deque<std::pair<QString, bool>>& lines) {
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat txFormat;
    txFormat.setForeground(TxColour);
    QTextCharFormat rxFormat;
    rxFormat.setForeground(RxColour);
    bool first = document.isEmpty();
    for (const auto& [line, tx] : lines) {
        if (!first)
            cursor.insertBlock();
        first = false;
        cursor.insertText(line, tx ? txFormat : rxFormat);
    }
    cursor.endEditBlock();
}

void TMailControlMonitor::Flush() {
    DisplayTimer->stop();
    if (!PendingLines.empty()) {
        QScrollBar* bar = reSndMail->verticalScrollBar();
        const bool atEnd = bar->value() == bar->maximum();
        for (auto& line : PendingLines) {
            Shown.push_back(line);
            if (Shown.size() > MaxLogLines)
                Shown.pop_front();
        }
        if (reSndMail->document()->blockCount() + int(PendingLines.size()) > MaxLogLines + TrimLines) {
            // Removing the oldest lines from the log costs more than writing it anew with the last ones.
            auto* document = new QTextDocument(reSndMail);
            document->setDocumentLayout(new QPlainTextDocumentLayout(document));
            document->setDefaultFont(reSndMail->font());
            document->setUndoRedoEnabled(false);
            AppendToLog(*document, Shown);
            reSndMail->setDocument(document);
        } else {
            AppendToLog(*reSndMail->document(), PendingLines);
        }
        PendingLines.clear();
        if (atEnd)
            bar->setValue(bar->maximum());
    }
    const auto show = [](QLabel* label, const QString& text) {
        label->setText(text);
        label->adjustSize();
    };
    if (PendingTx) {
        lblSendmail->setToolTip(QString(Texts::MonitorOriginalMailHint) + Text(PendingTx->mail));
        show(lblSendmail, Formatted("%s (Tx Count: %d dec)", PendingTx->frameHex, PendingTx->length));
        show(lblExptRecLen, QString::asprintf("%d dec", PendingTx->expected));
        PendingTx.reset();
    }
    if (PendingRx) {
        show(lblParametre, Text(PendingRx->answer));
        show(lblChecksumStatusRx, Text(PendingRx->status));
        show(lblRx, Formatted("%s (Rx Count: %d dec)", PendingRx->receivedHex, PendingRx->count));
        show(lblElapsedTime, QString::asprintf("%lld ms", static_cast<long long>(PendingRx->elapsed)));
        PendingRx.reset();
    }
    if (PendingChunks) {
        show(lblPakker, QString::number(*PendingChunks));
        PendingChunks.reset();
    }
}

void TMailControlMonitor::ClearAll() {
    for (QLabel* label :
         {lblSendmail, lblRx, lblExptRecLen, lblParametre, lblPakker, lblElapsedTime, lblChecksumStatusRx})
        label->clear();
    lblSendmail->setToolTip({});
    reSndMail->clear();
    Kept.clear();
    PendingLines.clear();
    Shown.clear();
    PendingTx.reset();
    PendingRx.reset();
    PendingChunks.reset();
}

void TMailControlMonitor::FormShow() {
    if (!InStyleChange)
        ClearAll();
}

void TMailControlMonitor::btnClearClick() {
    reSndMail->clear();
    Kept.clear();
    PendingLines.clear();
    Shown.clear();
}

std::string TMailControlMonitor::AskLogFileName() {
    return QFileDialog::getSaveFileName(Form.get(), QString::fromUtf8(Texts::SaveLogAs).remove("..."), {},
                                        Texts::MonitorLogFiles)
        .toStdString();
}

bool TMailControlMonitor::SaveLog(const std::string& path, std::string& failure) const {
    std::string text;
    for (const TMailRecord& record : Kept)
        text += MailRecordLine(record) + "\n";
    try {
        WriteFileAtomically(path, text);
    } catch (const EFileError& e) {
        failure = e.what();
        return false;
    }
    return true;
}

void TMailControlMonitor::miSaveLogAsClick() {
    std::string path = AskLogFileName();
    if (path.empty())
        return;
    // A name typed without an extension gets the log's own, so that the file opens as a recording.
    if (QFileInfo(QString::fromStdString(path)).suffix().isEmpty())
        path += ".jsonl";
    std::string failure;
    if (!SaveLog(path, failure))
        QMessageBox::warning(Form.get(), Texts::MonitorCaption,
                             QString::asprintf(Texts::MonitorLogNotSaved, path.c_str(), failure.c_str()));
}

void TMailControlMonitor::miStayOnTopClick() {
    InStyleChange = true;
    const bool onTop = !(Form->windowFlags() & Qt::WindowStaysOnTopHint);
    const bool shown = Form->isVisible();
    // Changing the flags hides the window; showing it again must not clear what it shows.
    Form->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (shown)
        Form->show();
    miStayOnTop->setChecked(onTop);
    InStyleChange = false;
}

void TMailControlMonitor::miShowTimeClick() {
    ShowTime = !ShowTime;
    miShowTime->setChecked(ShowTime);
}

void TMailControlMonitor::LayoutControls() {
    PageControl1->setGeometry(0, 0, Form->width(), Form->height());
    const int pageWidth = PageControl1->width();
    const int pageHeight = PageControl1->height();
    GroupBox1->resize(pageWidth - 3 * GroupBox1->x(), GroupBox1->height());
    const int logTop = GroupBox1->y() + GroupBox1->height() + LogGap;
    const int logHeight = pageHeight - GroupBox1->height() - GroupBox1->y() - LogBottomRoom;
    reSndMail->setGeometry(reSndMail->x(), logTop, pageWidth - 3 * reSndMail->x(), logHeight);
    btnClear->move(Form->width() / 2 - btnClear->width() / 2, logTop + logHeight + ButtonGap);
    btnClear->setVisible(Form->width() >= btnClear->width() + ButtonRoom);
}
