#include "vsim/RecordEngine.h"

#include "link/NumberConverting.h"
#include "platform/ChangeLog.h"
#include "platform/TextFormat.h"
#include "vsim/RecordRows.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <grp.h>
#include <random>
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

TFieldProblem ForeignRecordProblem(const TSimRecord& r, bool sha256Needed) {
    const auto digits = [](const std::string& text, size_t from, size_t count) {
        return std::all_of(text.begin() + long(from), text.begin() + long(from + count),
                           [](char c) { return c >= '0' && c <= '9'; });
    };
    const std::string& serial = r.SerialNumber;
    if (serial.size() != 13 || serial[5] != ' ' || !digits(serial, 0, 5) || !digits(serial, 6, 7) ||
        std::stol(serial.substr(6)) > 0xFFFFF)
        return {"serial",
                "\"" + PrintableText(serial) +
                    "\" is no serial number (five digits, a space and seven, as \"00291 0284280\")"};
    if (!r.Crc)
        return {"crc", "must be a whole number from 0 to 4294967295"};
    if (r.Sha256.empty() && sha256Needed)
        return {"sha256", "is missing: a record is taken only with its file's SHA-256"};
    if (!r.Sha256.empty() && !IsSha256Text(r.Sha256))
        return {"sha256", "must be 64 hexadecimal digits"};
    if (r.Software.size() != 8 || !IsHexText(r.Software, false))
        return {"software", "must be the handset's software, 8 hexadecimal digits"};
    if (r.Pcs.size() != 3 ||
        !std::all_of(r.Pcs.begin(), r.Pcs.end(), [](char c) { return c > ' ' && c < 127; }))
        return {"pcs", "must be the handset's PCS, 3 characters"};
    const std::string& state = r.Journal.State;
    if (!state.empty() && state != SimMoveState::MovingOut && state != SimMoveState::MovingIn)
        return {"state", std::string("must be empty (the SIM sits in its file), \"") +
                             SimMoveState::MovingOut + "\" or \"" + SimMoveState::MovingIn + "\""};
    // The longest a move writes each text, with room to spare; a longer one is no record of a move.
    const std::pair<const char*, const std::string*> texts[] = {{"file", &r.Journal.File},
                                                                {"mark", &r.Journal.Mark},
                                                                {"text", &r.Journal.Text},
                                                                {"released", &r.Journal.Released},
                                                                {"saved", &r.Saved},
                                                                {"lastStep.user", &r.LastStep.User},
                                                                {"lastStep.host", &r.LastStep.Host},
                                                                {"lastStep.time", &r.LastStep.Time}};
    for (const auto& [field, text] : texts) {
        const size_t most = std::string(field) == "file" ? 4096 : 256;
        if (text->size() > most)
            return {field, "is " + std::to_string(text->size()) + " bytes long; a record holds at most " +
                               std::to_string(most)};
        if (text->find('\0') != std::string::npos)
            return {field, "holds a NUL byte"};
    }
    return {};
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

std::string AccessHint(int error, const std::string& path) {
    if (error != EACCES && error != EPERM)
        return {};
    const std::string folder = std::filesystem::path(path).parent_path().string();
    struct stat info {};
    if (stat(folder.empty() ? "." : folder.c_str(), &info) != 0)
        return {};
    // The group that may change the records is the folder's own: the package makes it quorvel-sim, and
    // an administrator may have chosen another.
    const group* owners = (info.st_mode & S_IWGRP) ? getgrgid(info.st_gid) : nullptr;
    if (!owners || !owners->gr_name)
        return " The folder \"" + PrintableText(folder) + "\" may be changed by its owner alone.";
    const std::string name = owners->gr_name;
    return " Changing SIM records needs membership of the group " + name + " (sudo adduser $USER " + name +
           ", then log in again).";
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

std::string NewStoreId() {
    std::random_device random;
    std::string id;
    for (int i = 0; i < 4; ++i)
        id += FormatText("%08x", unsigned(random()));
    return id;
}
