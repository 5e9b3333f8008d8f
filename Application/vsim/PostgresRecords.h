#pragma once

#include "vsim/RecordEngine.h"

#include <memory>
#include <string>

// The SIM records on a PostgreSQL server shared by several PCs. address is a libpq connection string, a
// URI ("postgresql://host/db?…") or key=value words; connect_timeout is 5 s unless it says otherwise.
// The tables are made on first use when the login may make them; otherwise an administrator makes them
// once with dist/postgresql/quorvel-records.sql (/usr/share/quorvel/quorvel-records.sql), and each login
// that reads and moves SIMs needs the role quorvel_sim. Raises EStoreError naming the server (never its
// password) when it cannot be reached or used.
//
// A connection lost between two calls is opened again before the next one, except while a claim is held:
// the claim went with the lost session, so the move that holds it gets an EStoreError instead.
// The engine's claims are the session's advisory locks: destroy them before the engine. (One destroyed
// after it does nothing; closing the engine's connection has let go of its locks already.)
std::unique_ptr<TRecordEngine> OpenPostgresRecords(const std::string& address);
