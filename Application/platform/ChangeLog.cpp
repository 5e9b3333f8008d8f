#include "platform/ChangeLog.h"

#include "platform/AnsiText.h"
#include "platform/ChangeChain.h"
#include "platform/ChangeStore.h"
#include "platform/Paths.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRandomGenerator>
#include <QSysInfo>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* LogName = "changes.jsonl";
// A message in the log says what went wrong; the person was shown the whole text.
constexpr qsizetype MessageLength = 300;

std::string LoginName() {
    if (const passwd* entry = getpwuid(geteuid()); entry && entry->pw_name && *entry->pw_name)
        return entry->pw_name;
    if (const char* user = std::getenv("USER"); user && *user)
        return user;
    return "uid " + std::to_string(geteuid());
}

std::optional<std::string>& ViaSet() {
    static std::optional<std::string> via;
    return via;
}

std::pair<std::string, std::string>& TemplateSet() {
    static std::pair<std::string, std::string> given;
    return given;
}

std::string CurrentVia() {
    if (ViaSet())
        return *ViaSet();
    const QCoreApplication* app = QCoreApplication::instance();
    return app && app->inherits("QGuiApplication") ? "window" : "";
}

// ---- the line ----

void AddJsonString(std::string& line, const QString& text) {
    line += '"';
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '"':
            line += "\\\"";
            break;
        case '\\':
            line += "\\\\";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        case '\t':
            line += "\\t";
            break;
        default:
            if (uint8_t(c) < 0x20)
                line += FormatText("\\u%04x", unsigned(uint8_t(c)));
            else
                line += c;
        }
    }
    line += '"';
}

class TLineWriter {
public:
    void Key(const char* key) {
        Line += Line.empty() ? "{\"" : ",\"";
        Line += key;
        Line += "\":";
    }
    void Text(const char* key, const QString& value) {
        Key(key);
        AddJsonString(Line, value);
    }
    // A system text: UTF-8, or Windows-1252 where it is no UTF-8.
    void Text(const char* key, const std::string& value) { Text(key, FromUtf8OrAnsi(value)); }
    void Number(const char* key, int value) {
        Key(key);
        Line += std::to_string(value);
    }
    void Counts(const char* key, const std::optional<TChangeCounts>& counts) {
        Key(key);
        if (!counts) {
            Line += "null";
            return;
        }
        TLineWriter c;
        c.Number("added", counts->Added);
        c.Number("removed", counts->Removed);
        c.Number("changed", counts->Changed);
        c.Number("kept", counts->Kept);
        c.Number("notWritten", counts->NotWritten);
        Line += c.Line + "}";
    }
    std::string End() { return Line + "}\n"; }

    std::string Line;
};

// ---- appending ----

std::string Reason(const char* what, int error) {
    return FormatText("it could not be %s (%s)", what, std::strerror(error));
}

// Who may write into a folder that refused: the members of its group, when it is a shared one.
std::string AccessHint(const std::string& folder, int error) {
    struct stat info {};
    if ((error != EACCES && error != EPERM) || stat(folder.c_str(), &info) != 0 ||
        (info.st_mode & S_IWGRP) == 0)
        return {};
    const group* owners = getgrgid(info.st_gid);
    if (!owners || !owners->gr_name)
        return {};
    return FormatText(
        "; the members of the group %s may write there (sudo adduser $USER %s, then log in again)",
        owners->gr_name, owners->gr_name);
}

bool SharedFolder(const std::string& folder) {
    struct stat info {};
    return stat(folder.c_str(), &info) == 0 && (info.st_mode & S_ISGID) && (info.st_mode & S_IWGRP);
}

// ---- reading ----

// A count as a line holds it: a whole number from 0, or none where the key is missing.
std::optional<int> CountOf(const QJsonValue& value) {
    if (value.isUndefined())
        return 0;
    const double n = value.toDouble(-1);
    if (!value.isDouble() || n < 0 || n > 1e9 || n != double(int(n)))
        return std::nullopt;
    return int(n);
}

// The counts of an object; nothing when one of them is no count ("lots"), which makes the line damaged.
std::optional<TChangeCounts> CountsOf(const QJsonObject& c) {
    TChangeCounts counts;
    for (const auto& [key, field] : {std::pair{"added", &TChangeCounts::Added},
                                     {"removed", &TChangeCounts::Removed},
                                     {"changed", &TChangeCounts::Changed},
                                     {"kept", &TChangeCounts::Kept},
                                     {"notWritten", &TChangeCounts::NotWritten}}) {
        const std::optional<int> n = CountOf(c.value(key));
        if (!n)
            return std::nullopt;
        counts.*field = *n;
    }
    return counts;
}

// "2026-12-10T22:28:37+00:00" as the program writes it: a real day and time, an offset or none.
bool IsChangeTime(const QString& time) {
    return time.size() >= 19 && QDateTime::fromString(time.first(19), "yyyy-MM-ddTHH:mm:ss").isValid();
}

std::optional<TChangeRecord> ParseLine(const QByteArray& line) {
    if (line.trimmed().isEmpty())
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject o = document.object();
    if (!o.value("time").isString() || !IsChangeTime(o.value("time").toString()) ||
        !o.value("operation").isString() || o.value("operation").toString().isEmpty() ||
        !o.value("outcome").isString())
        return std::nullopt;
    const auto text = [&o](const char* key) { return o.value(key).toString().toStdString(); };
    const auto handsetText = [&o](const char* key) { return ToAnsi(o.value(key).toString()); };
    TChangeRecord r;
    r.Time = text("time");
    r.User = text("user");
    r.Pc = text("pc");
    r.Port = text("port");
    r.Serial = handsetText("serial");
    r.Software = handsetText("software");
    r.Pcs = handsetText("pcs");
    r.Operation = text("operation");
    r.Via = text("via");
    r.Template = text("template");
    r.TemplateHash = text("templateHash");
    if (const QJsonValue changed = o.value("changed"); changed.isObject()) {
        r.Changed = CountsOf(changed.toObject());
        if (!r.Changed)
            return std::nullopt;
    }
    if (const QJsonValue deleted = o.value("deleted"); !deleted.isUndefined() && !deleted.isNull()) {
        r.Deleted = CountOf(deleted);
        if (!r.Deleted)
            return std::nullopt;
    }
    r.Backup = text("backup");
    r.Outcome = text("outcome");
    r.Message = text("message");
    if (const QJsonValue planned = o.value("planned"); planned.isObject()) {
        r.Planned = CountsOf(planned.toObject());
        if (!r.Planned)
            return std::nullopt;
    }
    r.Id = text("id");
    r.Line = line.toStdString();
    return r;
}

} // namespace

const char* ChangeOutcomeText(TChangeOutcome outcome) {
    switch (outcome) {
    case TChangeOutcome::Done:
        return "done";
    case TChangeOutcome::Failed:
        return "failed";
    case TChangeOutcome::Stopped:
        return "stopped";
    case TChangeOutcome::Unknown:
        break;
    }
    return "unknown";
}

TChangeOutcome ChangeOutcome(bool done, bool stopped, bool unknown) {
    if (unknown)
        return TChangeOutcome::Unknown;
    if (done)
        return TChangeOutcome::Done;
    return stopped ? TChangeOutcome::Stopped : TChangeOutcome::Failed;
}

TChangeCounts ChangeCountsOf(const TWritePlan& plan) {
    return {plan.Count(TPlanStep::Add), plan.Count(TPlanStep::Remove), plan.Count(TPlanStep::Change),
            plan.Count(TPlanStep::Keep), plan.Count(TPlanStep::NotWritten)};
}

TChangeAuthor ChangeAuthorNow() {
    const QDateTime now = QDateTime::currentDateTime();
    // The offset always as "+01:00", "+00:00" included, so that every time has the same form.
    const int offset = now.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    const std::string time = now.toString("yyyy-MM-ddTHH:mm:ss").toStdString() +
                             FormatText("%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    // Several stations in containers of one host are each a PC of their own: $QUORVEL_PC_NAME names one.
    const QString pc = qEnvironmentVariable("QUORVEL_PC_NAME", QSysInfo::machineHostName());
    return {LoginName(), pc.toStdString(), time};
}

std::string ChangeLogPath() {
    return ChangesDir() + "/" + LogName;
}

std::string ChangeLine(const TChangeRecord& r) {
    TLineWriter w;
    w.Text("time", r.Time);
    w.Text("user", r.User);
    w.Text("pc", r.Pc);
    w.Text("port", r.Port);
    w.Text("serial", FromAnsi(r.Serial));
    w.Text("software", FromAnsi(r.Software));
    w.Text("pcs", FromAnsi(r.Pcs));
    w.Text("operation", r.Operation);
    if (!r.Via.empty())
        w.Text("via", r.Via);
    if (!r.Template.empty()) {
        w.Text("template", r.Template);
        w.Text("templateHash", r.TemplateHash);
    }
    w.Counts("changed", r.Changed);
    if (r.Deleted)
        w.Number("deleted", *r.Deleted);
    w.Text("backup", r.Backup);
    w.Text("outcome", r.Outcome);
    w.Text("message", r.Message);
    if (r.Planned)
        w.Counts("planned", r.Planned);
    if (!r.Id.empty())
        w.Text("id", r.Id);
    return w.End();
}

std::string AppendChange(const TChangeRecord& record, const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty())
        folder = ".";
    const bool shared = SharedFolder(folder);
    const int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, shared ? 0660 : 0600);
    if (fd < 0) {
        const int error = errno;
        return Reason("opened", error) + AccessHint(folder, error);
    }
    // The seal links the line to the PC's line before it: no other program appends between the read of
    // that line and this one's write.
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    const std::string line = SealedLine(ChangeLine(record), LastSealOf(fd, record.Pc));
    // The umask may have taken the group's bits from a file made just now; other members need them.
    struct stat info {};
    if (shared && fstat(fd, &info) == 0 && info.st_uid == geteuid() && (info.st_mode & 0660) != 0660)
        fchmod(fd, (info.st_mode & 07777) | 0660);
    // One write for the whole line: appends of other programs go before or after it, never into it.
    ssize_t written = 0;
    do
        written = write(fd, line.data(), line.size());
    while (written < 0 && errno == EINTR);
    std::string reason;
    if (written < 0)
        reason = Reason("written", errno);
    else if (size_t(written) != line.size())
        reason = FormatText("only %d of the line's %d bytes were written", int(written), int(line.size()));
    else if (fsync(fd) != 0)
        reason = Reason("flushed to the disk", errno);
    if (close(fd) != 0 && reason.empty())
        reason = Reason("closed", errno);
    return reason;
}

bool TChangeFilter::Takes(const TChangeRecord& r) const {
    const std::string day = r.Time.substr(0, 10);
    // "PHONEBOOK" finds "phonebook replace": operation names are of one case.
    const auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        return text;
    };
    return (Serial.empty() || r.Serial == Serial) && (Host.empty() || r.Pc == Host) &&
           (Template.empty() || r.Template == Template) && (Since.empty() || day >= Since) &&
           (Until.empty() || day <= Until) &&
           (Operation.empty() || lower(r.Operation).starts_with(lower(Operation)));
}

std::optional<TChangeRecord> ChangeRecordOf(std::string_view line) {
    return ParseLine(QByteArray(line.data(), qsizetype(line.size())));
}

int64_t ChangeLogEnd(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).size();
}

TChangeLogContents ReadChangeLog(const TChangeFilter& filter, const std::string& path, int64_t from) {
    TChangeLogContents contents;
    QFile file(QString::fromStdString(path));
    if (!file.exists())
        return contents;
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError("Cannot read the change log \"" + path + "\". " + file.errorString().toStdString());
    // A log that has become shorter since (replaced) is read whole.
    if (from > 0 && from <= file.size())
        file.seek(from);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EFileError("Cannot read the change log \"" + path + "\". " + file.errorString().toStdString());
    for (const QByteArray& line : bytes.split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const std::optional<TChangeRecord> record = ParseLine(line);
        if (!record)
            ++contents.Damaged;
        else if (filter.Takes(*record))
            contents.Changes.push_back(*record);
    }
    return contents;
}

void SetChangeVia(const std::string& via) {
    ViaSet() = via;
}

void SetChangeTemplate(const std::string& name, const std::string& hash) {
    TemplateSet() = {name, hash};
}

namespace {

TChangeRecord RecordOf(const THandsetIdentity& handset, const char* operation, const std::string& backup,
                       const std::string& outcome, const std::string& message) {
    const TChangeAuthor author = ChangeAuthorNow();
    TChangeRecord record;
    record.Time = author.Time;
    record.User = author.User;
    record.Pc = author.Pc;
    record.Port = handset.PortName();
    record.Serial = handset.SerialText();
    record.Software = handset.software;
    record.Pcs = handset.pcs;
    record.Operation = operation;
    record.Via = CurrentVia();
    record.Template = TemplateSet().first;
    record.TemplateHash = TemplateSet().second;
    record.Backup = backup;
    record.Outcome = outcome;
    QString shortened = FromUtf8OrAnsi(message).simplified();
    if (shortened.size() > MessageLength)
        shortened = shortened.left(MessageLength - 3) + "...";
    record.Message = shortened.toStdString();
    return record;
}

void Note(TUserInteraction& ui, const TChangeRecord& record, bool done) {
    TChangeStore& store = ChangeStore();
    const std::string reason = store.Append(record);
    if (reason.empty())
        return;
    const std::string path = store.Where();
    const char* format = done
                             ? "The change was made, but it could not be noted in the change log \"%s\": %s."
                             : "The handset may have been changed, but that could not be noted in the change "
                               "log \"%s\": %s.";
    ui.Message(TMessageKind::Warning, FormatText(format, path.c_str(), reason.c_str()), TButtons::Ok);
}

// Sixteen hex digits: unique enough among the operations of one log.
std::string NewOperationId() {
    const quint64 n = QRandomGenerator::system()->generate64();
    return FormatText("%016llx", static_cast<unsigned long long>(n));
}

} // namespace

void NoteHandsetChange(TUserInteraction& ui, const THandsetIdentity& handset, const char* operation,
                       const TWritePlan* plan, const std::string& backup, TChangeOutcome outcome,
                       const std::string& message, std::optional<int> deleted) {
    if (!operation)
        return;
    TChangeRecord record = RecordOf(handset, operation, backup, ChangeOutcomeText(outcome), message);
    if (plan)
        record.Changed = ChangeCountsOf(*plan);
    else
        record.Deleted = deleted;
    Note(ui, record, outcome == TChangeOutcome::Done);
}

std::string TChangeNote::Begin(TUserInteraction& ui, const THandsetIdentity& handset, const char* operation,
                               const TWritePlan* plan, const std::string& backup) {
    TChangeStore& store = ChangeStore();
    if (std::string refused = store.Ready(); !refused.empty())
        return refused;
    if (const std::string notice = store.TakeNotice(); !notice.empty())
        ui.Message(TMessageKind::Information, notice, TButtons::Ok);
    Operation = operation;
    OwnId = NewOperationId();
    TChangeRecord record = RecordOf(handset, operation, backup, BegunOutcome, {});
    if (plan)
        record.Planned = ChangeCountsOf(*plan);
    record.Id = OwnId;
    Note(ui, record, false);
    return {};
}

void TChangeNote::End(TUserInteraction& ui, const THandsetIdentity& handset,
                      const std::optional<TChangeCounts>& changed, const std::string& backup,
                      TChangeOutcome outcome, const std::string& message, std::optional<int> deleted) {
    if (!Operation)
        return;
    TChangeRecord record = RecordOf(handset, Operation, backup, ChangeOutcomeText(outcome), message);
    record.Changed = changed;
    record.Deleted = deleted;
    record.Id = OwnId;
    Operation = nullptr;
    Note(ui, record, outcome == TChangeOutcome::Done);
}

std::vector<TChangeRecord> PairedChanges(const std::vector<TChangeRecord>& lines) {
    std::set<std::string> ended;
    for (const TChangeRecord& line : lines)
        if (!line.Id.empty() && line.Outcome != BegunOutcome)
            ended.insert(line.Id);
    std::vector<TChangeRecord> paired;
    for (const TChangeRecord& line : lines) {
        if (line.Outcome != BegunOutcome || line.Id.empty()) {
            paired.push_back(line);
        } else if (!ended.contains(line.Id)) {
            paired.push_back(line);
            paired.back().Outcome = InterruptedOutcome;
            paired.back().Message = "the handset may hold part of it";
        }
    }
    return paired;
}
