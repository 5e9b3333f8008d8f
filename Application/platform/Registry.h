#pragma once

#include "platform/StoreError.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

// A value is a text or a 32-bit number, as the registry's REG_SZ and REG_DWORD.
using TRegistryValue = std::variant<std::string, uint32_t>;

// One key: its path as first written (names separated by "\") and its values in the order written.
// Names of keys and of values are found without regard to the case of ASCII letters, as in the registry.
struct TRegistryKey {
    std::string Path;
    std::vector<std::pair<std::string, TRegistryValue>> Values;

    const TRegistryValue* Value(const std::string& name) const;
};

// The store's keys in memory, and their text form: a header line, then every key as a line "[path]"
// followed by its values, "\"name\"=\"text\"" or "\"name\"=dword:0000abcd". Characters that would end a
// field or a line (control characters, '"', '%') are written as %XX, so every key and text round-trips.
class TRegistryTree {
public:
    static constexpr const char* Header = "Quorvel record store 1";

    // Raises EStoreDamaged naming fileName and the line for a text that is not in this form.
    static TRegistryTree Parse(const std::string& text, const std::string& fileName);
    std::string Text() const;

    // A key path is one or more names separated by single "\"; std::invalid_argument for any other.
    const TRegistryKey* Find(const std::string& path) const;
    // The key, made together with every key above it when missing.
    TRegistryKey& Create(const std::string& path);
    // Creates the key when missing; a value of the same name is replaced, whatever its type.
    void SetValue(const std::string& path, const std::string& name, TRegistryValue value);
    // False when the key or the value was not there.
    bool DeleteValue(const std::string& path, const std::string& name);
    // The key and every key below it; false when there was none.
    bool Delete(const std::string& path);
    // The last names of the keys directly below path, in the store's order.
    std::vector<std::string> SubKeyNames(const std::string& path) const;

private:
    // By the path folded to lower case.
    std::map<std::string, TRegistryKey> Keys;
};

// The stand-in for the machine's registry (HKEY_LOCAL_MACHINE): one text file, "registry.txt" in its
// folder, shared by every program on the machine, so that programs serving two docking stations at the
// same time keep each other's records.
class TRegistry {
public:
    static constexpr const char* FileName = "registry.txt";
    static constexpr const char* LockName = "registry.lock";

    // The machine's store, in StateDir().
    TRegistry();
    explicit TRegistry(std::string folder);

    const std::string& Folder() const { return StoreFolder; }
    std::string FilePath() const;

    // Reading takes the file as it is: a change replaces it in one step, so no lock is needed. A missing
    // file is an empty store. Raise EStoreDamaged, or EStoreError when the file cannot be read.
    TRegistryTree Read() const;
    std::optional<TRegistryKey> OpenKey(const std::string& path) const;
    bool KeyExists(const std::string& path) const;
    std::vector<std::string> SubKeyNames(const std::string& path) const;

    // One change: the file is read, edited and written again under the store's lock, and is on the disk
    // when the call returns. Nothing is written when the edit leaves the keys as they were or raises.
    // Raise EStoreError when the folder or the file may not be written, EStoreDamaged for a damaged file
    // (which is not touched).
    void Change(const std::function<void(TRegistryTree&)>& edit);
    void CreateKey(const std::string& path);
    void WriteString(const std::string& path, const std::string& name, const std::string& value);
    void WriteInteger(const std::string& path, const std::string& name, uint32_t value);
    // False when there was no such key.
    bool DeleteKey(const std::string& path);

private:
    std::string StoreFolder;
};
