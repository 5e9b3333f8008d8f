#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The change log's seals: each line a program writes ends with the seal of the line before it on the
// same PC ("prev") and its own ("seal", the SHA-256 of that previous seal and the line's content), so
// that a line changed, removed or put in afterwards breaks the chain where it happened. Lines of earlier
// versions, written before the log was sealed, have none.

// The line ("{...}\n", as ChangeLine writes it) sealed after prev, the seal of the PC's line before it
// ("" for the first).
std::string SealedLine(std::string_view line, const std::string& prev);

// The line's own seal; "" for a line without one.
std::string SealOf(std::string_view line);

// The seal of the last line for pc in the open log file, read from its end; "" when its last line has
// none (a log of an earlier version) or it has no line for pc. The caller holds the file's lock.
std::string LastSealOf(int fd, const std::string& pc);

// What walking the chain found.
struct TChainCheck {
    // Lines with their seals, and lines of earlier versions before the first one of their PC.
    int Sealed = 0;
    int Unsealed = 0;
    // The first line (from 1, in the file) where the chain breaks, and how: "changed since it was
    // written", "a line before it was removed or put in", "put in: it has no seal, yet lines before it
    // have".
    std::optional<int64_t> BrokenLine;
    std::string How;
    // That line's time and operation, to find it by.
    std::string What;

    bool Holds() const { return !BrokenLine; }
};

// A line and its place: its number in a file, or its row's number in a store.
using TNumberedLine = std::pair<int64_t, std::string>;

// Walks the chain of every PC through the lines. fromStart: the lines are the whole log; else the first
// line of each PC links as it says (the lines a station wrote, say).
TChainCheck CheckChain(const std::vector<TNumberedLine>& lines, bool fromStart);

// Walks the chain of every PC through the log, from the byte `from` on (where a station began: the
// first line of each PC there is taken as it links). Raises EFileError when the log cannot be read.
TChainCheck CheckChangeChain(const std::string& path, int64_t from = 0);
