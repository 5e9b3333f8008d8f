#pragma once

#include "cli/CliOptions.h"
#include "platform/WritePlan.h"

#include <functional>
#include <optional>
#include <string>

class TCliSession;

// The end of a write under --dry-run: 0 when it stopped at its plan (nothing was sent but reads), 1
// when the handset could not be read for one.
int DryRunOutcome(TCliSession& session);

// The differences a plan shows between the handset and a file, a line each ("+ Anna 0301234": the
// file has it, the handset not), for a verify.
std::string DifferencesText(const TWritePlan& plan, bool orderCounts);

// A restore: writes the kept copy at path back with write (under --dry-run: shows its plan), then one
// more read tells whether the handset now holds exactly the copy. 0 when it does, 1 with the
// differences when it does not or could not be read.
int WriteBack(TCliSession& session, const TGlobalOptions& options, const std::string& path, bool orderCounts,
              const std::function<int()>& write);
