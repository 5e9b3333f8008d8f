#pragma once

#include "platform/HandsetIdentity.h"

#include <optional>
#include <string>
#include <vector>

// Copies of what a handset held before an operation changed it: one dated file a copy, in "backups" of
// the per-user data folder (~/.local/share/Quorvel/backups), named after the handset they came from:
// "<kind>-<serial>-<COMn>-<YYYYMMDD>-<hhmmss>.<ext>" ("phonebook-00291-0284280-COM10-20261210-094500.phb",
// with "-2", "-3" ... when a second copy is kept within the same second), and beside each a
// "<copy>.handset" file that names the handset in words. A copy is never overwritten; of each kind the
// newest KeptCopies of each handset are kept, never fewer than one.

inline constexpr int KeptCopies = 20;

std::string BackupFolder();

// Claims a new, empty copy of the kind for a writer that fills it itself, and gives its path. Raises
// EFileError with the reason when no copy can be made.
std::string NewBackupPath(const std::string& kind, const std::string& extension,
                          const THandsetIdentity& handset);

// Keeps bytes as a new copy of the kind and gives its path. Raises EFileError with the reason when the
// copy cannot be written; a copy is written whole or not at all.
std::string KeepBackup(const std::string& kind, const std::string& extension, const std::string& bytes,
                       const THandsetIdentity& handset);

// The newest copy of the kind that came from the handset, or an empty text when there is none. A handset
// is known by its serial number; one without (its SIM has left, or it could not be read) only at the same
// port.
std::string NewestBackup(const std::string& kind, const std::string& extension,
                         const THandsetIdentity& handset);

// A copy as its name describes it.
struct TBackupCopy {
    std::string path;
    std::string kind;
    // "00291-0284280", "noSIM", "unknown"; empty for a copy from before copies were named after handsets.
    std::string handset;
    // "COM10"; empty as for handset.
    std::string port;
    // "20261210-094500", and the count within the second (1 for the first).
    std::string time;
    int second = 1;
};

// Every copy in the folder, by handset, kind and time (the newest last).
std::vector<TBackupCopy> BackupCopies();

// The copy the name describes; a copy without a handset for a name of the older form; nothing for a file
// that is no copy.
std::optional<TBackupCopy> BackupCopyOf(const std::string& path);

// Whether the copy came from the handset (see NewestBackup).
bool CopyOfHandset(const TBackupCopy& copy, const THandsetIdentity& handset);

// Removes the older copies of each handset and kind beyond the newest keep (at least 1), with the files
// beside them; gives the paths removed. Raises EFileError when a copy cannot be removed.
std::vector<std::string> PruneBackups(int keep);
