#pragma once

#include <string>

// Writes a temporary file beside path, flushes it to disk and renames it over path, so that a reader
// sees the old content or the new one, never a part. Gives false (errno set) on failure.
bool ReplaceFileContent(const std::string& path, const std::string& content);
