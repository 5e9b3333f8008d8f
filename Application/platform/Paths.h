#pragma once

#include <string>

// The per-user folder: $QUORVEL_CONFIG_DIR when set, else $XDG_CONFIG_HOME/Quorvel, else
// ~/.config/Quorvel. Created on first use; given without a trailing separator.
std::string PerUserDir();

// The person's data that the programs make and that would be missed were it gone (the backups):
// $XDG_DATA_HOME/Quorvel, else ~/.local/share/Quorvel. With $QUORVEL_CONFIG_DIR set, that folder holds
// it too, so that one folder holds all of a person's files (each test run has one of its own). Created
// on first use; given without a trailing separator.
std::string PerUserDataDir();

// What the programs note as they run, which may be deleted (debug.txt): $XDG_STATE_HOME/Quorvel, else
// ~/.local/state/Quorvel; the per-user folder when $QUORVEL_CONFIG_DIR is set. Created on first use.
std::string PerUserStateDir();

// The folder of the running program ($QUORVEL_PROGRAM_DIR when set), with a trailing separator.
std::string ProgramDir();

// The file by which installing marks a program folder as installed: the programs write nothing there.
constexpr const char* InstalledMarkName = "installed";

// A file the program writes beside itself: in the program folder when that is writable and not an
// installed one, else in the per-user folder.
std::string WritableProgramFile(const std::string& name);

// A log the program writes beside itself: in the program folder as WritableProgramFile, else in the
// per-user state folder, where one that an earlier version kept in the per-user folder is moved first.
std::string WritableLogFile(const std::string& name);

// The program ini: next to the program when that folder is writable, else in the per-user folder.
// The window program and the command-line tool share it, so it is named after the window program.
std::string ProgramIniPath();

// The window ini. Windows kept it in the Windows directory, apart from the program; here that place is the
// per-user folder. When the program ini falls back to the per-user folder too, both share one file, which
// is harmless: their sections differ.
std::string WindowIniPath();

// The machine's folder for state that belongs to the machine rather than to one user (the SIM records);
// the package makes it, writable by the group quorvel-sim alone: using the serial ports does not make
// anyone able to change which SIM files are taken.
constexpr const char* MachineStateDir = "/var/lib/quorvel";

// Where the machine's state lives: $QUORVEL_STATE_DIR when set, else MachineStateDir when that folder
// exists, else the per-user folder. Not created here; given without a trailing separator.
std::string StateDir();

// The machine's folder for what every operator adds to: the change log and the table of handsets. The
// package makes it for the group dialout (anyone allowed to change a handset may note the change),
// apart from the SIM records, which stay for the group quorvel-sim.
constexpr const char* MachineChangesDir = "/var/lib/quorvel-changes";

// Where the change log and the table of handsets live: $QUORVEL_STATE_DIR when set, else
// MachineChangesDir when that folder exists, else StateDir().
std::string ChangesDir();
