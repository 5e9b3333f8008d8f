#pragma once

// The SIM records the programs a test starts share: the SQLite file in the machine's folder the test
// gives them (QUORVEL_STATE_DIR), or a schema of the test's own on the PostgreSQL server of the tests,
// named to the programs by QUORVEL_RECORDS for as long as the object lives.
#include "support/PgTestDatabase.h"

#include <QByteArray>
#include <QtGlobal>

#include <memory>
#include <ostream>
#include <string>

enum class TRecordsKind { Sqlite, Postgres };

inline std::ostream& operator<<(std::ostream& out, TRecordsKind kind) {
    return out << (kind == TRecordsKind::Sqlite ? "sqlite" : "postgresql");
}

class TRecordsUnderTest {
public:
    TRecordsUnderTest(TRecordsKind kind, const std::string& machineFolder) {
        if (kind == TRecordsKind::Sqlite) {
            Address = "sqlite:" + machineFolder + "/records.db";
            return;
        }
        Server = std::make_unique<TPgTestDatabase>();
        if (!Server->Ready())
            return;
        Address = Server->Address();
        qputenv("QUORVEL_RECORDS", QByteArray::fromStdString(Address));
    }
    ~TRecordsUnderTest() { qputenv("QUORVEL_RECORDS", Saved); }
    TRecordsUnderTest(const TRecordsUnderTest&) = delete;
    TRecordsUnderTest& operator=(const TRecordsUnderTest&) = delete;

    bool Available() const { return !Server || Server->Ready(); }
    std::string Why() const { return Server ? Server->Why() : std::string(); }
    // The address the programs use.
    std::string Where() const { return Address; }

private:
    const QByteArray Saved = qgetenv("QUORVEL_RECORDS");
    std::unique_ptr<TPgTestDatabase> Server;
    std::string Address;
};
