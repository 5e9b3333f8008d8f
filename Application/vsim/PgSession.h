#pragma once

// One connection to a PostgreSQL server, as the stores that keep their rows there use it: statements
// with a deadline, a read repeated once on a new connection, a change in one transaction, and messages
// that name the store and never its password.
#include "platform/StoreError.h"

#include <libpq-fe.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// A UTF8 database takes only valid UTF-8 without NUL, yet the stores' texts are bytes: a path on Linux may
// hold any, a handset's text is Windows-1252. Such a text, and one that begins with the escape mark, is
// stored as the mark (DLE, 0x10) followed by the text with every byte outside printable ASCII, and "%",
// written as %XX. Every other text is stored as it is and reads the same in psql.
std::string PgToColumn(const std::string& text);
std::string PgFromColumn(const std::string& stored);

// The address without a password: neither "user:password@" nor a password parameter.
std::string PgWithoutPassword(const std::string& address);
// Whether the address is a postgresql:// (or postgres://) URI.
bool IsPgUri(const std::string& address);

// SQLSTATE codes the stores tell the person about in their own words.
inline constexpr const char* PgInsufficientPrivilege = "42501";
inline constexpr const char* PgUndefinedTable = "42P01";

class TPgResult {
public:
    explicit TPgResult(PGresult* result)
        : Handle(result, &PQclear) {}

    int Rows() const { return PQntuples(Handle.get()); }
    bool IsNull(int row, int column) const { return PQgetisnull(Handle.get(), row, column) != 0; }
    // The value as the server sent it, and the text it stores.
    std::string Raw(int row, int column) const {
        return {PQgetvalue(Handle.get(), row, column), size_t(PQgetlength(Handle.get(), row, column))};
    }
    std::string Text(int row, int column) const { return PgFromColumn(Raw(row, column)); }
    bool Flag() const { return Rows() > 0 && Raw(0, 0) == "t"; }
    bool Changed() const { return std::string(PQcmdTuples(Handle.get())) != "0"; }
    const PGresult* Get() const { return Handle.get(); }

private:
    std::unique_ptr<PGresult, decltype(&PQclear)> Handle;
};

// A statement's parameters: texts are stored as PgToColumn makes them.
class TPgParams {
public:
    TPgParams& Text(const std::string& text) {
        Values.push_back(PgToColumn(text));
        return *this;
    }
    TPgParams& Number(std::optional<int64_t> number) {
        Values.push_back(number ? std::optional(std::to_string(*number)) : std::nullopt);
        return *this;
    }

    int Count() const { return int(Values.size()); }
    std::vector<const char*> Pointers() const;

private:
    std::vector<std::optional<std::string>> Values;
};

// A statement the server refused, with its SQLSTATE.
class EPgStatementFailed : public EStoreError {
public:
    EPgStatementFailed(const std::string& message, std::string state)
        : EStoreError(message)
        , State(std::move(state)) {}
    const std::string State;
};

// The connection went while a statement ran; the message is libpq's reason. The store's calls turn it
// into their own message before it leaves them.
class EPgConnectionLost : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The connection and the session-level locks held on it. Locks keep a weak pointer: one that outlives
// the store finds the session gone, and with it its locks.
struct TPgSession {
    PGconn* Connection = nullptr;
    std::set<int64_t> Claims;
    // A statement did not answer in time: the session is given up.
    bool Stalled = false;

    TPgSession() = default;
    TPgSession(const TPgSession&) = delete;
    TPgSession& operator=(const TPgSession&) = delete;
    ~TPgSession();

    void Release(int64_t key);
};

// A store on a PostgreSQL server. Subject names the store in every message ("The SIM records"); a
// store says in its own words what a login lacks and which tables are missing.
class TPgStore {
public:
    TPgStore(const std::string& address, std::string subject);
    virtual ~TPgStore() = default;
    TPgStore(const TPgStore&) = delete;
    TPgStore& operator=(const TPgStore&) = delete;

    // The server and database as the person is told of them.
    const std::string& Shown() const { return ShownAddress; }

protected:
    // Connects (5 s unless the address says otherwise) and sets the session's time-outs; raises
    // EStoreError "… cannot be reached: …" or EPgConnectionLost.
    void Connect(const std::string& address);

    virtual std::string RoleNeeded() const = 0;
    virtual std::string NoTables() const = 0;

    PGconn* Connection() const { return Session->Connection; }
    std::string Login() const;
    std::string Unreachable() const;
    // outcome says what became of the change under way, when there was one.
    std::string Lost(const std::string& reason, const char* outcome) const;

    // One statement; without parameters it may be several. Raises EPgConnectionLost when the connection
    // went, EPgStatementFailed when the server refused.
    TPgResult Execute(const char* sql, const TPgParams& params, const char* doing);
    // Makes the tables with sql under a lock of the database unless hasTables says they are there; a login
    // that may not raises EStoreError(NoTables()).
    void MakeTables(const char* hasTables, const char* sql);

    // Before a call: a session the server ended while the program was idle is opened again, unless a
    // claim was held on it.
    void Connected();
    // Opens the connection again once; never while a claim is held, as its lock went with the session.
    void Reconnect(const std::string& reason);
    void Rollback();

    // A read is repeated once on a new connection when the old one went.
    template <typename Body> auto Reading(Body body) -> decltype(body()) {
        Connected();
        try {
            return body();
        } catch (const EPgConnectionLost& e) {
            Reconnect(e.what());
        }
        try {
            return body();
        } catch (const EPgConnectionLost& e) {
            throw EStoreError(Lost(e.what(), ""));
        }
    }

    // One change in one transaction, committed when this returns; none of it is kept when it raises.
    template <typename Body> void Changing(Body body) {
        Connected();
        try {
            // Nothing was sent yet when the connection turns out lost here: begin again on a new one.
            try {
                Execute("BEGIN", {}, "changed");
            } catch (const EPgConnectionLost& e) {
                Reconnect(e.what());
                Execute("BEGIN", {}, "changed");
            }
            try {
                body();
            } catch (...) {
                Rollback();
                throw;
            }
        } catch (const EPgConnectionLost& e) {
            throw EStoreError(Lost(e.what(), NotSaved));
        }
        try {
            Execute("COMMIT", {}, "changed");
        } catch (const EPgConnectionLost& e) {
            throw EStoreError(Lost(e.what(), MaybeSaved));
        }
    }

    static constexpr const char* NotSaved = "The change was not saved.";
    static constexpr const char* MaybeSaved = "Whether the change was saved is not known.";

    const std::string Subject;
    const std::shared_ptr<TPgSession> Session;

private:
    TPgResult Await(const char* sql, const TPgParams& params);
    void Abandon();
    void Prepare();

    const std::string ShownAddress;
};
