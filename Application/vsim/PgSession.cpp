#include "vsim/PgSession.h"

#include "link/NumberConverting.h"
#include "link/StopRequest.h"
#include "platform/TextFormat.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <poll.h>

namespace {

// A server that does not answer within this is reported as away (the address may say otherwise).
constexpr const char* ConnectTimeoutSeconds = "5";
// Each change is one short transaction: a lock held longer than this is a session that holds the
// tables without end, and the person is told instead of the program hanging. A statement the server
// itself takes longer over than this is ended by the server.
constexpr const char* SessionSettings = "SET lock_timeout = '10s'; SET statement_timeout = '20s'";

// How long a call waits for the server's answer before it gives the session up: longer than the server's
// own time-outs, so that a slow server answers with its reason, and a stalled one (a backend stopped, a
// network holding the packets, where keepalives do not help, as over a unix socket) ends the call.
// $QUORVEL_RECORDS_TIMEOUT (seconds) sets another.
std::chrono::seconds CallDeadline() {
    const char* text = std::getenv("QUORVEL_RECORDS_TIMEOUT");
    const int seconds = text ? std::atoi(text) : 0;
    return std::chrono::seconds(seconds > 0 ? seconds : 30);
}
// Over TCP, a server that went away while a statement waits is noticed after about a minute.
constexpr const char* KeepalivesIdleSeconds = "30";
constexpr const char* KeepalivesIntervalSeconds = "10";
constexpr const char* KeepalivesCount = "3";

// Two programs making tables at once wait for each other here. Claims' keys are never negative.
constexpr int64_t TablesLockKey = -0x71756F7276656C; // "quorvel"

// ---- Texts ----

// The mark begins no path or handset text.
constexpr char EscapeMark = '\x10';

bool IsUtf8Text(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = uint8_t(text[i]);
        if (lead == 0)
            return false;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                              : lead >= 0xE0 && lead <= 0xEF ? 3
                              : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                             : 0;
        if (length == 0 || i + length > text.size())
            return false;
        uint32_t point = lead & (0x7Fu >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = uint8_t(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            point = (point << 6) | (next & 0x3Fu);
        }
        // Over-long forms, UTF-16 surrogates and points past U+10FFFF are no UTF-8.
        if ((length == 3 && (point < 0x800 || (point >= 0xD800 && point <= 0xDFFF))) ||
            (length == 4 && (point < 0x10000 || point > 0x10FFFF)))
            return false;
        i += length;
    }
    return true;
}

std::string ToColumn(const std::string& text) {
    if (IsUtf8Text(text) && (text.empty() || text[0] != EscapeMark))
        return text;
    std::string stored(1, EscapeMark);
    for (const char c : text) {
        const auto byte = uint8_t(c);
        if (byte < 0x20 || byte >= 0x7F || c == '%')
            stored += FormatText("%%%02X", unsigned(byte));
        else
            stored += c;
    }
    return stored;
}

std::string FromColumn(const std::string& stored) {
    if (stored.empty() || stored[0] != EscapeMark)
        return stored;
    std::string text;
    for (size_t i = 1; i < stored.size(); ++i) {
        const int high = stored[i] == '%' && i + 2 < stored.size() ? HexDigitValue(stored[i + 1]) : -1;
        const int low = high >= 0 ? HexDigitValue(stored[i + 2]) : -1;
        if (low >= 0) {
            text += char(high * 16 + low);
            i += 2;
        } else {
            text += stored[i];
        }
    }
    return text;
}

// ---- The address as the person is told of it ----

bool IsUri(const std::string& address) {
    return address.rfind("postgresql://", 0) == 0 || address.rfind("postgres://", 0) == 0;
}

std::string KeywordValue(const std::string& value) {
    if (!value.empty() && value.find_first_of(" '\\") == std::string::npos)
        return value;
    std::string quoted = "'";
    for (const char c : value)
        quoted += c == '\'' || c == '\\' ? std::string{'\\', c} : std::string{c};
    return quoted + "'";
}

// The address without a password: neither "user:password@" nor a password parameter.
std::string WithoutPassword(const std::string& address) {
    if (IsUri(address)) {
        std::string shown = address;
        const size_t start = shown.find("://") + 3;
        const size_t end = std::min(shown.find_first_of("/?", start), shown.size());
        const size_t at = end > start ? shown.rfind('@', end - 1) : std::string::npos;
        if (at != std::string::npos && at >= start) {
            const size_t colon = shown.find(':', start);
            if (colon < at)
                shown.erase(colon, at - colon);
        }
        const size_t query = shown.find('?');
        if (query == std::string::npos)
            return shown;
        std::string kept;
        for (size_t from = query + 1; from <= shown.size();) {
            const size_t to = std::min(shown.find('&', from), shown.size());
            const std::string part = shown.substr(from, to - from);
            if (part.rfind("password=", 0) != 0 && part != "password")
                kept += (kept.empty() ? "" : "&") + part;
            from = to + 1;
        }
        return shown.substr(0, query) + (kept.empty() ? "" : "?" + kept);
    }
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(address.c_str(), &error);
    PQfreemem(error);
    if (!options)
        return "a PostgreSQL address that cannot be read";
    std::string shown;
    for (const PQconninfoOption* option = options; option->keyword; ++option) {
        if (option->val && *option->val && std::string(option->keyword) != "password")
            shown +=
                (shown.empty() ? "" : " ") + std::string(option->keyword) + "=" + KeywordValue(option->val);
    }
    PQconninfoFree(options);
    return shown;
}

// The first line of libpq's or the server's message, as a sentence.
std::string Sentence(const char* message) {
    std::string text = message ? message : "";
    text = text.substr(0, text.find('\n'));
    while (!text.empty() && (text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return PrintableText(text.empty() ? std::string("no reason given") : text) + ".";
}

} // namespace

std::string PgToColumn(const std::string& text) {
    return ToColumn(text);
}

std::string PgFromColumn(const std::string& stored) {
    return FromColumn(stored);
}

bool IsPgUri(const std::string& address) {
    return IsUri(address);
}

std::string PgWithoutPassword(const std::string& address) {
    return WithoutPassword(address);
}

std::vector<const char*> TPgParams::Pointers() const {
    std::vector<const char*> pointers;
    for (const std::optional<std::string>& value : Values)
        pointers.push_back(value ? value->c_str() : nullptr);
    return pointers;
}

TPgSession::~TPgSession() {
    if (Connection)
        PQfinish(Connection);
}

void TPgSession::Release(int64_t key) {
    Claims.erase(key);
    // A session that went has dropped its locks with it; one given up is not waited for.
    if (PQstatus(Connection) != CONNECTION_OK || Stalled)
        return;
    const std::string text = std::to_string(key);
    const char* values[] = {text.c_str()};
    PQclear(PQexecParams(Connection, "SELECT pg_advisory_unlock($1::bigint)", 1, nullptr, values, nullptr,
                         nullptr, 0));
}

TPgStore::TPgStore(const std::string& address, std::string subject)
    : Subject(std::move(subject))
    , Session(std::make_shared<TPgSession>())
    , ShownAddress(WithoutPassword(address)) {}

void TPgStore::Connect(const std::string& address) {
    // Words before dbname are defaults the address may override; those after it are the store's.
    const char* keywords[] = {
        "connect_timeout",  "application_name", "keepalives_idle", "keepalives_interval",
        "keepalives_count", "dbname",           "client_encoding", nullptr};
    const char* values[] = {ConnectTimeoutSeconds,
                            "quorvel",
                            KeepalivesIdleSeconds,
                            KeepalivesIntervalSeconds,
                            KeepalivesCount,
                            address.c_str(),
                            "UTF8",
                            nullptr};
    if (Session->Connection)
        PQfinish(Session->Connection);
    Session->Connection = PQconnectdbParams(keywords, values, 1);
    if (!Session->Connection)
        throw EStoreError(Subject + " on " + Shown() + " cannot be reached: out of memory.");
    if (PQstatus(Connection()) != CONNECTION_OK)
        throw EStoreError(Unreachable());
    PQsetNoticeProcessor(
        Connection(), [](void*, const char*) {}, nullptr);
    Prepare();
}

std::string TPgStore::Unreachable() const {
    return Subject + " on " + Shown() + " cannot be reached: " + Sentence(PQerrorMessage(Connection()));
}

std::string TPgStore::Login() const {
    const char* user = PQuser(Connection());
    return user && *user ? user : "of this program";
}

std::string TPgStore::Lost(const std::string& reason, const char* outcome) const {
    const std::string told = *outcome ? std::string(" ") + outcome : std::string();
    const std::string why = reason.substr(0, reason.find_last_not_of('.') + 1);
    if (!Session->Claims.empty())
        return "The connection to " + Subject + " on " + Shown() + " was lost during the move (" + why +
               "); the move's claim on the SIM went with it, so the move must not go on." + told +
               " Run the move again when the server answers; its journal tells where it stopped.";
    return "The connection to " + Subject + " on " + Shown() + " was lost: " + reason + told;
}

TPgResult TPgStore::Execute(const char* sql, const TPgParams& params, const char* doing) {
    TPgResult result = Await(sql, params);
    const PGresult* handle = result.Get();
    const ExecStatusType status = PQresultStatus(handle);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return result;
    if (PQstatus(Connection()) != CONNECTION_OK)
        throw EPgConnectionLost(Sentence(PQerrorMessage(Connection())));
    const char* code = handle ? PQresultErrorField(handle, PG_DIAG_SQLSTATE) : nullptr;
    const std::string state = code ? code : "";
    if (state == PgInsufficientPrivilege)
        throw EPgStatementFailed(RoleNeeded(), state);
    if (state == PgUndefinedTable)
        throw EPgStatementFailed(NoTables(), state);
    const char* primary = handle ? PQresultErrorField(handle, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    throw EPgStatementFailed(Subject + " on " + Shown() + " could not be " + doing + ": " +
                                 Sentence(primary ? primary : PQerrorMessage(Connection())),
                             state);
}

namespace {

// Waits until the connection's socket is ready or the deadline passes; false at the deadline.
bool Wait(PGconn* connection, short events, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd socket{PQsocket(connection), events, 0};
        const int ready = poll(&socket, 1, int(std::min<int64_t>(left.count(), 1000)));
        if (ready > 0 || (ready < 0 && errno != EINTR))
            return true;
        // A stop the person asked for cuts the wait short as well.
        if (StopRequested())
            return false;
    }
}

} // namespace

// Sends the statement and waits for its answer no longer than the deadline: a server that stalls (a
// backend stopped, a network that holds the packets) ends the call with EPgConnectionLost, the statement
// cancelled and the connection given up. The first error of several statements is the result, as PQexec
// gives it; else the last result.
TPgResult TPgStore::Await(const char* sql, const TPgParams& params) {
    PGconn* connection = Connection();
    if (Session->Stalled)
        throw EPgConnectionLost("the server did not answer before.");
    const std::vector<const char*> values = params.Pointers();
    const int sent = params.Count() == 0 ? PQsendQuery(connection, sql)
                                         : PQsendQueryParams(connection, sql, params.Count(), nullptr,
                                                             values.data(), nullptr, nullptr, 0);
    if (!sent)
        throw EPgConnectionLost(Sentence(PQerrorMessage(connection)));
    const auto deadline = std::chrono::steady_clock::now() + CallDeadline();
    PGresult* kept = nullptr;
    for (;;) {
        while (PQflush(connection) > 0 && Wait(connection, POLLOUT | POLLIN, deadline)) {
        }
        if (!PQconsumeInput(connection)) {
            PQclear(kept);
            throw EPgConnectionLost(Sentence(PQerrorMessage(connection)));
        }
        while (!PQisBusy(connection)) {
            PGresult* next = PQgetResult(connection);
            if (!next)
                return TPgResult(kept);
            if (kept && PQresultStatus(kept) != PGRES_COMMAND_OK && PQresultStatus(kept) != PGRES_TUPLES_OK) {
                PQclear(next);
                continue;
            }
            PQclear(kept);
            kept = next;
        }
        if (!Wait(connection, POLLIN, deadline)) {
            PQclear(kept);
            Abandon();
            throw EPgConnectionLost(StopRequested()
                                        ? std::string("the wait for the server's answer was stopped.")
                                        : FormatText("the server did not answer within %d seconds.",
                                                     int(CallDeadline().count())));
        }
    }
}

// The statement that did not answer is cancelled (the server gets to it when it can) and the session given
// up: nothing more is sent on it, and a claim held on it is lost with it.
void TPgStore::Abandon() {
    if (PGcancel* cancel = PQgetCancel(Connection())) {
        char reason[256];
        PQcancel(cancel, reason, sizeof reason);
        PQfreeCancel(cancel);
    }
    Session->Stalled = true;
}

void TPgStore::Prepare() {
    Execute(SessionSettings, {}, "read");
}

void TPgStore::MakeTables(const char* hasTables, const char* sql) {
    if (Execute(hasTables, {}, "read").Flag())
        return;
    try {
        Execute("BEGIN", {}, "changed");
        Execute("SELECT pg_advisory_xact_lock($1::bigint)", TPgParams().Number(TablesLockKey), "changed");
        Execute(sql, {}, "changed");
        Execute("COMMIT", {}, "changed");
    } catch (const EPgStatementFailed& e) {
        Rollback();
        if (e.State == PgInsufficientPrivilege)
            throw EStoreError(NoTables());
        throw;
    }
}

void TPgStore::Connected() {
    if (Session->Stalled)
        Reconnect("the server did not answer before.");
    if (PQstatus(Connection()) == CONNECTION_OK)
        PQconsumeInput(Connection());
    if (PQstatus(Connection()) != CONNECTION_OK)
        Reconnect(Sentence(PQerrorMessage(Connection())));
}

void TPgStore::Reconnect(const std::string& reason) {
    if (!Session->Claims.empty())
        throw EStoreError(Lost(reason, ""));
    PQreset(Connection());
    Session->Stalled = false;
    if (PQstatus(Connection()) != CONNECTION_OK)
        throw EStoreError(Unreachable());
    try {
        Prepare();
    } catch (const EPgConnectionLost& e) {
        throw EStoreError(Lost(e.what(), ""));
    }
}

void TPgStore::Rollback() {
    if (PQstatus(Connection()) != CONNECTION_OK || Session->Stalled)
        return;
    try {
        Await("ROLLBACK", {});
    } catch (const EPgConnectionLost&) {
        // The session goes, and its transaction with it.
    }
}
