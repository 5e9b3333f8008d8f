#include "vsim/HandsetRegistry.h"

#include "platform/ChangeLog.h"
#include "platform/Paths.h"

#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

namespace {

constexpr int BusyTimeoutMs = 5000;

constexpr const char* Schema = "CREATE TABLE IF NOT EXISTS handsets ("
                               "serial TEXT PRIMARY KEY, software TEXT, pcs TEXT, model INTEGER, "
                               "capacity INTEGER, first_seen TEXT, last_seen TEXT, last_pc TEXT, "
                               "last_port TEXT, template TEXT, template_hash TEXT, template_time TEXT, "
                               "verify TEXT)";

struct TCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using TDb = std::unique_ptr<sqlite3, TCloser>;

// The database opened, its table made; nothing, with why, when it cannot be.
TDb Open(const std::string& path, bool create, std::string& why) {
    if (!create && !std::filesystem::exists(path))
        return nullptr;
    sqlite3* raw = nullptr;
    const int flags = create ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
    const int opened = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    TDb db(raw);
    if (opened != SQLITE_OK) {
        why = path + ": " + (raw ? sqlite3_errmsg(raw) : "cannot be opened");
        return nullptr;
    }
    sqlite3_busy_timeout(db.get(), BusyTimeoutMs);
    if (create && sqlite3_exec(db.get(), Schema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        why = path + ": " + sqlite3_errmsg(db.get());
        return nullptr;
    }
    return db;
}

// Runs sql with its texts bound in order; "" or why not.
std::string Run(sqlite3* db, const char* sql, const std::vector<std::string>& texts) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        return sqlite3_errmsg(db);
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    for (size_t i = 0; i < texts.size(); ++i)
        sqlite3_bind_text(raw, int(i + 1), texts[i].c_str(), int(texts[i].size()), SQLITE_TRANSIENT);
    const int stepped = sqlite3_step(raw);
    return stepped == SQLITE_DONE || stepped == SQLITE_ROW ? std::string() : sqlite3_errmsg(db);
}

std::string Column(sqlite3_stmt* statement, int i) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
    return text ? text : "";
}

std::vector<THandsetRow> Rows(const std::string& path, const std::string& where,
                              const std::vector<std::string>& texts) {
    std::string why;
    const TDb db = Open(path, false, why);
    if (!db) {
        if (!why.empty())
            throw std::runtime_error(why);
        return {};
    }
    const std::string sql = "SELECT serial, software, pcs, model, capacity, first_seen, last_seen, last_pc, "
                            "last_port, template, template_hash, template_time, verify FROM handsets " +
                            where + " ORDER BY serial";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error(path + ": " + sqlite3_errmsg(db.get()));
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    for (size_t i = 0; i < texts.size(); ++i)
        sqlite3_bind_text(raw, int(i + 1), texts[i].c_str(), int(texts[i].size()), SQLITE_TRANSIENT);
    std::vector<THandsetRow> rows;
    int stepped = 0;
    while ((stepped = sqlite3_step(raw)) == SQLITE_ROW)
        rows.push_back({Column(raw, 0), Column(raw, 1), Column(raw, 2), sqlite3_column_int(raw, 3),
                        sqlite3_column_int(raw, 4), Column(raw, 5), Column(raw, 6), Column(raw, 7),
                        Column(raw, 8), Column(raw, 9), Column(raw, 10), Column(raw, 11), Column(raw, 12)});
    if (stepped != SQLITE_DONE)
        throw std::runtime_error(path + ": " + sqlite3_errmsg(db.get()));
    return rows;
}

} // namespace

std::string HandsetRegistryPath() {
    return ChangesDir() + "/handsets.sqlite";
}

std::string NoteHandsetSeen(const THandsetRow& row, const std::string& path) {
    if (row.Serial.empty())
        return {};
    std::string why;
    const TDb db = Open(path, true, why);
    if (!db)
        return why;
    return Run(
        db.get(),
        "INSERT INTO handsets (serial, software, pcs, model, capacity, first_seen, last_seen, last_pc, "
        "last_port) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?6, ?7, ?8) ON CONFLICT (serial) DO UPDATE SET "
        "software = ?2, pcs = ?3, model = ?4, capacity = ?5, last_seen = ?6, last_pc = ?7, last_port = ?8",
        {row.Serial, row.Software, row.Pcs, std::to_string(row.Model), std::to_string(row.Capacity),
         row.LastSeen, row.LastPc, row.LastPort});
}

std::string NoteTemplateGiven(const std::string& serial, const std::string& templateName,
                              const std::string& templateHash, const std::string& verify,
                              const std::string& path) {
    std::string why;
    const TDb db = Open(path, true, why);
    if (!db)
        return why;
    return Run(db.get(),
               "UPDATE handsets SET template = ?2, template_hash = ?3, template_time = ?4, verify = ?5 "
               "WHERE serial = ?1",
               {serial, templateName, templateHash, ChangeAuthorNow().Time, verify});
}

std::vector<THandsetRow> KnownHandsets(const std::string& path) {
    return Rows(path, "", {});
}

std::optional<THandsetRow> KnownHandset(const std::string& serial, const std::string& path) {
    std::vector<THandsetRow> rows = Rows(path, "WHERE serial = ?1", {serial});
    if (rows.empty())
        return std::nullopt;
    return rows.front();
}
