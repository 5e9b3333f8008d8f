#pragma once

#include "cli/Command.h"

// A provisioning station: one command on several docking stations at once, each in a process of its
// own with its own engine and time-outs. Asks its confirmation once for all, prints one result line per
// port as each finishes and a table at the end; exits 0 only when every port succeeded.

// --port names several ports ("COM10,COM11") or "all" (every port of the device map that answers a
// probe).
bool IsStation(const TGlobalOptions& options);
int RunStation(const TGlobalOptions& options, const TForm& form, int argc, char** argv);
