#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a write will do to a handset's list or profile, worked out from what the handset holds and what
// the file or the grid holds before anything is changed. The person sees it before the write (the
// window's plan box, the command line's --dry-run); the write then carries out exactly this plan, and a
// verify is the plan of a replace that finds nothing to do.

enum class TPlanStep : uint8_t {
    Add,        // a new entry, key or setting value
    Remove,     // held now, gone afterwards
    Change,     // held now with another value
    Keep,       // held now as wanted
    NotWritten, // wanted, but the handset will not get it (Reason says why)
};

struct TPlanLine {
    TPlanStep Step = TPlanStep::Keep;
    // What the line is about: a phone book name, "Key_3", "slot 4", a profile setting.
    std::string Item;
    // The value the handset holds (Remove, Change, Keep) and the one it will hold (Add, Change,
    // NotWritten); for a phone book entry, its number.
    std::string Before;
    std::string After;
    // Why a NotWritten line is not written ("the phone book is full").
    std::string Reason;
    // The file line or grid row it comes from (1 for the first); 0 when it comes from the handset.
    int Row = 0;
    // A NotWritten line the handset cannot hold as the file writes it (a name without a number): no
    // write makes the handset hold it, so the file is at fault, not the handset.
    bool NotHoldable = false;
};

// The cost of a plan's mails on the line: each mail's frame goes out (and comes back as the docking
// station's echo), then its answer.
struct TMailCost {
    int Mails = 0;
    int64_t Bytes = 0;

    void Add(int mails, int64_t bytesEach) {
        Mails += mails;
        Bytes += int64_t(mails) * bytesEach;
    }
};

struct TWritePlan {
    // "phone book", "speed dial list", "broadcast groups", "profile".
    std::string List;
    // A replace deletes what the handset holds first; an add keeps it.
    bool Replace = false;
    std::vector<TPlanLine> Lines;
    // The mails the write sends (the reads that made the plan are done already).
    TMailCost Cost;
    // The line's speed, for the time the mails take, and how this link's mails have taken against their
    // wire time (TMailControl::Pace).
    int Baud = 0;
    double Pace = 1.0;
    // The same entries in another order (a phone book replace writes them in the file's order).
    bool OrderDiffers = false;
    // A delete: every line removes what the handset holds.
    bool Delete = false;
    // The operation's question, which the plan answers ("Delete the phone book in the connected
    // handset?"): the person says yes or no to it once the plan is shown.
    std::string Question;

    int Count(TPlanStep step) const;
    // The lines that add, remove or change something.
    int Changes() const;
    // Whether the write changes anything in the handset: something added, removed or changed, or (for a
    // replace) the order of the entries.
    bool ChangesHandset() const;
    // Whether the handset holds what the file says: nothing to add, remove or change, nothing that could
    // not be written, and the order the same unless it does not count.
    bool Matches(bool orderCounts) const;
    // Entries a replace removes that the file or grid does not hold.
    int Removed() const { return Count(TPlanStep::Remove); }
};

// The time the mails take on the line at the given speed (8N1), rounded up to whole milliseconds.
int64_t LineTimeMs(const TMailCost& cost, int baud);
// The time the plan's mails take on this link: their wire time at its speed times its pace.
int64_t EstimatedMs(const TWritePlan& plan);

// "3 to add, 1 to remove, 2 to change, 180 kept, 4 not written; 372 mails, about 9 s at 115200 baud".
std::string PlanCountsText(const TWritePlan& plan);
// "+ Anna 0301234", "- Bob 0407", "~ Key_3 555 -> 556", "! line 12: Carl 0501 (the phone book is full)";
// a text whose blanks would not show (at its ends, or two together) is quoted: "Alice  ".
std::string PlanLineText(const TPlanLine& line);
// " delete: ", " replace: " or " write: ", after the list's name.
const char* PlanKindWord(const TWritePlan& plan);
// The counts, then one line per change and per entry not written, then "kept: 180"; lines end in CR.
std::string PlanText(const TWritePlan& plan);
// The words a replace that deletes entries no file line holds needs: "The replace deletes 2 entries of
// the handset that the file does not hold (a backup is kept first)."; empty when it deletes none.
std::string PlanRemovalWarning(const TWritePlan& plan);
