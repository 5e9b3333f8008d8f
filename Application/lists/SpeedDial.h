#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The handset's eleven speed dial numbers, one for each digit key and one for the alarm key, as the
// handset keeps them in one block of its memory.
class TPP5SpeedDial {
public:
    static constexpr int Keys = 11;
    static constexpr int AlarmKey = 10;
    static constexpr uint16_t Address = 0x2C0C;
    static constexpr int SlotBytes = 12;
    static constexpr int BlockBytes = Keys * SlotBytes;
    static constexpr size_t MaxNumberLength = 23;
    using TBlock = std::array<uint8_t, BlockBytes>;

    // Dial strings as typed or loaded (only cut to 23 characters), keys 0..9 then the alarm key; empty
    // means no speed dial on that key.
    std::array<std::string, Keys> Numbers;

    void Clear();
    // Stores text as the number of key k, cut to 23 characters.
    void SetNumber(int k, const std::string& text);

    // The first key whose number holds a character the handset cannot store (a lower-case "p" is the
    // pause "P"), with that character; nothing when every number can be sent.
    std::optional<std::pair<int, char>> FirstUnsendable() const;
    // The block a backup kept as it was read, bytes after the numbers and all: while the numbers are
    // still the ones it holds, it is what Encode gives, so that the backup goes back byte for byte.
    std::optional<TBlock> AsRead;

    // The block as the handset keeps it: each number packed two characters a byte, "*" B, "#" C, "-" and
    // "P" D, then filler F. Only for numbers FirstUnsendable passes.
    TBlock Encode() const;
    // Whether Encode gives the block kept as it was read.
    bool EncodesAsRead() const;
    // The numbers a block holds: each slot up to its first A, E or F nibble, D read as "-".
    void Decode(const TBlock& block);
};

// "Key_0" .. "Key_9", "Key_Alarm": the names of the keys in ".sdl" files.
const char* SpeedDialKeyName(int k);

// The ".sdl" file: "Key_0,number" lines, CR LF, through TCfgFile with "," as separator. Saving keeps the
// file's other lines and raises std::runtime_error when the file cannot be written (or was not read
// whole). Loading takes each key's value (empty when missing), cut to 23 characters; a file that cannot be
// read whole, names a key that is no speed dial key, a key twice, or none at all, raises EUnusableFile and
// leaves the list as it was. Other lines (comments) are left alone; a backup's block line whose numbers
// are the file's goes to AsRead.
void SaveSpeedDialList(const std::string& path, const TPP5SpeedDial& list);
void LoadSpeedDialList(const std::string& path, TPP5SpeedDial& list);

// "Key_0,..." as the file holds the list, for a person or a script.
std::string SpeedDialListText(const TPP5SpeedDial& list);
// The text of a backup: the list as the file holds it, and where the block holds more than its numbers
// write, the block as it was read, on a line of its own that readers of the list take for a comment.
std::string SpeedDialBackupText(const TPP5SpeedDial::TBlock& block);
