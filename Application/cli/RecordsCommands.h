#pragma once

#include "cli/Command.h"
#include "vsim/RecordEngine.h"

#include <memory>
#include <optional>
#include <string>

// records export/import: the SIM records as one JSON file, to move them between stores (an SQLite file
// of one PC, a PostgreSQL server of several).
std::vector<TCommand> RecordsCommands();

// The store of the SIM records for a command: the one address names, else RecordStoreAddress(). Says
// once what opening it did (the old text store moved in). A store that cannot be used ends the command
// (TCommandFailure, exit status 1) with the store's message; commands open it before they touch a port.
std::unique_ptr<TRecordEngine> OpenSimRecords(const std::optional<std::string>& address = std::nullopt);
