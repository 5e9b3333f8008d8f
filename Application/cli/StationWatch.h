#pragma once

#include "cli/CliOptions.h"

#include <string>
#include <vector>

// station watch TEMPLATE [--only-listed] [--every SECONDS]: keeps running, probes every idle port of the
// device map every few seconds (a docking station plugged in, a handset put into one), provisions each
// handset that answers with the template once, says which handset is done, and verifies only when the
// same handset is docked again. Ctrl-C ends it between handsets: provisions under way finish first.
int WatchStation(const TGlobalOptions& options);
