#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

using TOpenByteArray = std::vector<uint8_t>;

class EOutOfArrayError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A growable byte array with file load and save; it carries the SIM image.
class TDynamicByteBuffer {
public:
    // Both give false only when the array cannot grow. bytes must hold n bytes; n <= 0 adds nothing.
    bool Add(uint8_t value);
    bool AddBuffer(const uint8_t* bytes, int n);

    // Raises EOutOfArrayError for an index outside 0 .. Size() - 1.
    uint8_t Bytes(int index) const;
    void Clear();
    int Size() const { return int(FOpenBuf.size()); }
    std::span<const uint8_t> Data() const { return FOpenBuf; }

    // Appends the file's bytes to what the buffer holds. Raises EFileError for a file that cannot be
    // opened or read.
    void LoadFromFile(const std::string& fileName);
    // Replaces the file with the buffer's bytes in one step. Raises EFileError.
    void SaveToFile(const std::string& fileName) const;

private:
    TOpenByteArray FOpenBuf;
};
