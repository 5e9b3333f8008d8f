#pragma once

#include <string>

// Copies of what a handset held before an operation changed it: one dated file a copy, in "backups" of
// the per-user folder, named "<kind>-<YYYYMMDD>-<hhmmss>.<ext>" (with "-2", "-3" ... when a second copy
// is kept within the same second). A copy is never overwritten.

std::string BackupFolder();

// Claims a new, empty copy of the kind for a writer that fills it itself, and gives its path. Raises
// EFileError with the reason when no copy can be made.
std::string NewBackupPath(const std::string& kind, const std::string& extension);

// Keeps bytes as a new copy of the kind and gives its path. Raises EFileError with the reason when the
// copy cannot be written; a copy is written whole or not at all.
std::string KeepBackup(const std::string& kind, const std::string& extension, const std::string& bytes);

// The newest copy of the kind, or an empty text when there is none.
std::string NewestBackup(const std::string& kind, const std::string& extension);
