#pragma once

#include "platform/ChangeStore.h"

#include <memory>
#include <string>

// The change log and the table of handsets on the PostgreSQL server that holds the shared SIM records, so
// that every PC sees every change and every handset at once. The rows of the log are only ever added: a
// login with the role quorvel_station may read and add them and nothing else, and a trigger refuses every
// UPDATE, DELETE and TRUNCATE of them, whoever asks. Each row holds the whole line as the log file has it,
// sealed after the row its PC wrote before, and the columns to find it by.
//
// The server is reached when first wanted, not on opening. A row the server does not take because it is
// away is kept on this PC (owedPath) and sent, in order, before the next row once it answers. The first
// time the server answers, the PC's log file (ChangeLogPath()) and its handsets.sqlite are moved in: their
// rows are added, lines that are no record of a change are kept aside in "changes.jsonl.damaged", and the
// files are renamed "….imported".
std::unique_ptr<TChangeStore> OpenPostgresChanges(const std::string& address);

// Where the rows owed to the server are kept: ChangesDir()/changes-owed.jsonl.
std::string OwedChangesPath();
