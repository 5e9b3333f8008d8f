#include "vsim/RecordEngine.h"

#include "link/NumberConverting.h"
#include "platform/ChangeLog.h"
#include "platform/TextFormat.h"
#include "vsim/RecordRows.h"

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

TStepAuthor CurrentAuthor() {
    // The change log's author: one login, one host name and one form of the time for both records.
    const TChangeAuthor now = ChangeAuthorNow();
    return {now.User, now.Pc, now.Time};
}

bool IsRecordSerial(const std::string& serialNumber) {
    return !serialNumber.empty() && serialNumber.find('\\') == std::string::npos;
}

bool IsSha256Text(const std::string& text) {
    return text.size() == 64 && IsHexText(text, false);
}

bool SameSums(const TSimRecord& a, const TSimRecord& b) {
    if (a.Crc != b.Crc)
        return false;
    return a.Sha256.empty() || b.Sha256.empty() || a.Sha256 == b.Sha256;
}

// ---- shared by the engines ----

void CheckRow(TSimRecord& record, std::optional<int64_t> crc) {
    std::vector<std::string> problems;
    if (!crc)
        problems.push_back("has no \"CRC\" value that is a number");
    else if (*crc < 0 || *crc > int64_t(UINT32_MAX))
        problems.push_back("has a \"CRC\" value that is not a 32-bit number");
    else
        record.Crc = uint32_t(*crc);
    if (!record.Sha256.empty() && !IsSha256Text(record.Sha256))
        problems.push_back("has a \"SHA256\" value that is not 64 hex digits");
    const std::string& state = record.Journal.State;
    if (!state.empty() && state != SimMoveState::MovingOut && state != SimMoveState::MovingIn)
        problems.push_back("has a state \"" + PrintableText(state) + "\" that no move has");
    for (const std::string& problem : problems)
        record.Problem += (record.Problem.empty() ? "" : "; ") + problem;
}

std::string DifferentSums(const std::string& serialNumber, const std::string& where) {
    return "SIM '" + PrintableText(serialNumber) + "' is recorded in \"" + where +
           "\" already, with other checksums: they are two different files of one SIM, and only one of "
           "them may be taken. Nothing was imported.";
}

std::string AccessHint(int error) {
    if (error != EACCES && error != EPERM)
        return {};
    return " Changing SIM records needs membership of the group quorvel-sim (sudo adduser $USER "
           "quorvel-sim, then log in again).";
}

void ShareLikeFolder(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    struct stat info {};
    const bool shared = stat(folder.empty() ? "." : folder.c_str(), &info) == 0 && (info.st_mode & S_ISGID) &&
                        (info.st_mode & S_IWGRP);
    // Best effort: a file made by someone else keeps the access they gave it.
    chmod(path.c_str(), shared ? 0660 : 0600);
}

uint64_t ClaimOffset(const std::string& serialNumber) {
    // FNV-1a: fixed for ever, as programs of different versions must meet at the same place.
    uint64_t hash = 14695981039346656037ull;
    for (const char c : "quorvel-sim:" + serialNumber) {
        hash ^= uint8_t(c);
        hash *= 1099511628211ull;
    }
    return hash >> 1;
}
