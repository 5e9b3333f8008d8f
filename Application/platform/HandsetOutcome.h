#pragma once

#include "platform/WritePlan.h"

#include <cstdint>
#include <optional>
#include <string>

// What a write's plan counts (WritePlan.h), and what a read after the write found: added, removed,
// changed and kept against what the handset held before, and what it still lacks of what was wanted.
struct TChangeCounts {
    int Added = 0;
    int Removed = 0;
    int Changed = 0;
    int Kept = 0;
    int NotWritten = 0;

    bool operator==(const TChangeCounts&) const = default;
};
TChangeCounts ChangeCountsOf(const TWritePlan& plan);

// How an operation that changes a handset ended, as the read after its writes found the handset.
enum class TChangeResult : uint8_t {
    // The handset holds what was wanted.
    Done,
    // It held it already: nothing was sent.
    AlreadyHeld,
    // Nothing was changed: the person declined, a stop came before the first write mail, or the operation
    // failed before it.
    NotChanged,
    // Ended part-way: the counts say what the handset holds of it.
    Partial,
    // Whether and how much the handset was changed could not be found out.
    Unknown,
};

// What an operation did to a handset, from the read after its writes: every message, exit status, JSON
// document, change-log line and report row after the operation is cut from this.
struct THandsetOutcome {
    TChangeResult Result = TChangeResult::NotChanged;
    // What the handset holds now against what it held before, and what it lacks of what was wanted;
    // nothing when the handset could not be read after the writes (or nothing was read).
    std::optional<TChangeCounts> Held;
    // The plan from what the handset holds now to what was wanted: its differences are what the handset
    // lacks. Nothing where the handset could not be read.
    std::optional<TWritePlan> Lacking;
    // Where the handset could not be read after the writes: what its own answers confirmed as written (a
    // lower bound), for the person to start from.
    std::optional<TChangeCounts> Known;
    // Entries of the list being written that the handset held already, so that the write did not send them
    // (an add's, and groups the person passed over).
    int Skipped = 0;
    // A stop was asked for (Ctrl-C, SIGTERM, Cancel, a closed terminal).
    bool Stopped = false;
    // The person declined the plan.
    bool Declined = false;
    // Where the handset's earlier list is kept; empty when nothing needed keeping.
    std::string Backup;
    // The failure the person was shown, if any.
    std::string Message;

    bool Changed() const { return Result == TChangeResult::Done || Result == TChangeResult::Partial; }
    bool Ok() const { return Result == TChangeResult::Done || Result == TChangeResult::AlreadyHeld; }
};
