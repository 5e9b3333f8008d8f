#pragma once

#include "cli/Command.h"

// template check DIR: whether a provisioning template can be given to every handset it lists, without
// a handset.
std::vector<TCommand> TemplateCommands();
