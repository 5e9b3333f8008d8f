#pragma once

#include "platform/ChangeStore.h"
#include "platform/HandsetIdentity.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Every handset the program has connected to on this PC, a row each (THandsetRow) by its SIM's serial
// number, kept in a database of its own beside the change log (handsets.sqlite in ChangesDir()) where the
// records are not shared. What is noted here is information, so a note that cannot be made never stops
// an operation.

// The database's path: ChangesDir()/handsets.sqlite.
std::string HandsetRegistryPath();

// Notes that the handset was seen as the row says (HandsetSeen); a handset without a serial number is not
// noted. Gives "" when noted, else why not.
std::string NoteHandsetSeen(const THandsetRow& row, const std::string& path = HandsetRegistryPath());
// Notes the template given to the handset and the verify's outcome. Gives "" or why not.
std::string NoteTemplateGiven(const std::string& serial, const std::string& templateName,
                              const std::string& templateHash, const std::string& verify,
                              const std::string& path = HandsetRegistryPath());
// Every handset noted, by serial number. Raises std::runtime_error when the database cannot be read; none
// yet is no handset.
std::vector<THandsetRow> KnownHandsets(const std::string& path = HandsetRegistryPath());
std::optional<THandsetRow> KnownHandset(const std::string& serial,
                                        const std::string& path = HandsetRegistryPath());
