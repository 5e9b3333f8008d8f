#pragma once

// The SIM records a test runs over: an SQLite file in a folder of the test's own or, when
// QUORVEL_TEST_RECORDS is "postgresql", a schema of the test's own on the PostgreSQL server of the tests
// (the same tests run over both engines). The records can be kept and put back whole, as a test that
// replays a situation needs.
#include "support/PgTestDatabase.h"
#include "vsim/RecordEngine.h"
#include "vsim/RecordStore.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

class TTestRecordStore {
public:
    explicit TTestRecordStore(const std::string& folder) {
        const char* kind = std::getenv("QUORVEL_TEST_RECORDS");
        if (!kind || std::string(kind) != "postgresql") {
            Engine = OpenRecordStore("sqlite:" + folder + "/records.db");
            return;
        }
        Server = std::make_unique<TPgTestDatabase>();
        if (Server->Ready())
            Engine = OpenRecordStore(Server->Address());
    }

    // False, with why, when the server of the tests is away: the test skips.
    bool Available() const { return Engine != nullptr; }
    std::string Why() const { return Server ? Server->Why() : std::string(); }

    operator TRecordEngine&() const { return *Engine; }
    std::string Where() const { return Engine->Where(); }

    std::vector<TSimRecord> Save() const { return Engine->All(); }
    void Clear() const {
        for (const TSimRecord& record : Engine->All())
            Engine->Remove(record.SerialNumber, "test");
    }
    void Restore(const std::vector<TSimRecord>& records) const {
        Clear();
        Engine->Import(records);
    }

private:
    // Before the engine, so that the schema outlives it.
    std::unique_ptr<TPgTestDatabase> Server;
    std::unique_ptr<TRecordEngine> Engine;
};
