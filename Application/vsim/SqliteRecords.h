#pragma once

#include "vsim/RecordEngine.h"

#include <memory>
#include <string>

// The SIM records in an SQLite file on this PC: WAL, and every change committed with synchronous=FULL,
// so that a step is on the disk before the handset takes the next one. Programs serving several docking
// stations share the file; SQLite's own locks order their changes, and a lock file beside the database
// ("<file>.moves") holds the claims of running moves. The file (and its folder, when missing) is made on
// first use; raises EStoreError naming the file when it cannot be opened or is no records file.
std::unique_ptr<TRecordEngine> OpenSqliteRecords(const std::string& path);
