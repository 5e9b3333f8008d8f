#pragma once

#include "platform/HandsetIdentity.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Every handset the program has connected to on this PC, a row each by its SIM's serial number: what it
// is, when and where it was first and last seen, the last template it was given and how its verify
// ended. Kept in a database of its own beside the change log (handsets.sqlite in ChangesDir()); what is
// noted here is information, so a note that cannot be made never stops an operation.
struct THandsetRow {
    std::string Serial;
    std::string Software;
    std::string Pcs;
    int Model = 0;
    int Capacity = 0;
    std::string FirstSeen;
    std::string LastSeen;
    std::string LastPc;
    std::string LastPort;
    // The last template given: its folder's name, the SHA-256 of its content, when, and how the verify
    // after it ended ("verified", "differs"); empty when none was.
    std::string Template;
    std::string TemplateHash;
    std::string TemplateTime;
    std::string Verify;
};

// The database's path: ChangesDir()/handsets.sqlite.
std::string HandsetRegistryPath();

// Notes that the handset was connected to now; a handset without a serial number is not noted. Gives ""
// when noted, else why not.
std::string NoteHandsetSeen(const THandsetIdentity& handset, int model, int capacity,
                            const std::string& path = HandsetRegistryPath());
// Notes the template given to the handset and the verify's outcome. Gives "" or why not.
std::string NoteTemplateGiven(const std::string& serial, const std::string& templateName,
                              const std::string& templateHash, const std::string& verify,
                              const std::string& path = HandsetRegistryPath());
// Every handset noted, by serial number. Raises std::runtime_error when the database cannot be read; none
// yet is no handset.
std::vector<THandsetRow> KnownHandsets(const std::string& path = HandsetRegistryPath());
std::optional<THandsetRow> KnownHandset(const std::string& serial,
                                        const std::string& path = HandsetRegistryPath());
