#pragma once

#include <string>

// The per-user folder: $QUORVEL_CONFIG_DIR when set, else $XDG_CONFIG_HOME/Quorvel, else
// ~/.config/Quorvel. Created on first use; given without a trailing separator.
std::string PerUserDir();

// The folder of the running program, with a trailing separator.
std::string ProgramDir();

// The program ini: next to the program when that folder is writable, else in the per-user folder.
// The window program and the command-line tool share it, so it is named after the window program.
std::string ProgramIniPath();
