#pragma once

#include "cli/Command.h"

// provision TEMPLATE and station run TEMPLATE: a handset gets the template's lists and profile as its
// row of handsets.csv fills them, each written (plan, backup, write) and then verified.
std::vector<TCommand> ProvisionCommands();
