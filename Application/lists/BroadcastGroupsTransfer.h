#pragma once

#include "link/HandsetChange.h"
#include "link/HandsetConnection.h"
#include "lists/BroadcastGroups.h"
#include "lists/GroupMails.h"
#include "platform/UserInteraction.h"
#include "platform/WritePlan.h"

#include <chrono>
#include <optional>
#include <string>

// The broadcast groups tab's three handset operations, reaching the person only through the user
// interaction. A mail that gets no answer, or one that is not an answer to it, ends the operation with
// a message naming the mail. Before a replace or a delete removes the handset's groups they are read
// and kept in the backups folder, and an operation that stops after it has changed the handset reads
// the groups once more to say what the handset holds. A write reads the handset's groups once, shows its
// plan before it changes anything, and sends nothing when the handset holds the list's groups already.
class TBroadcastGroupsTransfer {
public:
    TBroadcastGroupsTransfer(THandsetConnection& link, TUserInteraction& ui, TBroadcastGroups& groups);

    // True when the handset's groups are in the slots.
    bool LoadFromHandset();
    // Asks how to write; true when every group of the list is in the handset (or was ignored as
    // already present). Groups the handset holds already are not sent again in an add: each is asked
    // about as the handset's "already present" answer is.
    bool SaveToHandset();
    // Asks first; true when the handset holds no groups afterwards.
    bool DeleteInHandset();

    // The exchanges, each with its mail; no value (with the reason in MailFailure) when the answer is
    // missing or malformed.
    std::optional<TReadAllGroupsCfm> ReadAllGroups();
    // A read that finds out what a failed step left; the failure already noted stays the one reported.
    std::optional<TReadAllGroupsCfm> ReadAfterFailure();
    std::optional<bool> DeleteAllGroups();
    // DeleteAllGroups; where its answer is lost, one read tells whether the groups went (held keeps
    // what that read gave, and answerLost says the answer was lost). Nothing when it cannot be told.
    bool NowHeld(uint8_t group);
    std::optional<bool> DeleteFindingOut(std::optional<TReadAllGroupsCfm>& held, bool& answerLost);
    std::optional<uint8_t> AddGroup(uint8_t group);
    // Polls until the handset is ready for the next add, 21 times at most, 15 ms apart.
    void WaitGroupsReady();
    static constexpr int ReadyPolls = 21;
    static constexpr std::chrono::milliseconds ReadyPollPause{15};

    const std::string& MailFailure() const { return Failure; }
    // The copy kept before the last replace or delete; empty when none was needed or kept.
    const std::string& BackupPath() const { return Backup; }
    static constexpr const char* BackupKind = "groups";
    // Slots skipped because the handset already held their group (Ignore).
    int Ignored() const { return IgnoredGroups; }
    // Groups the last write added.
    int Written() const { return WrittenGroups; }
    // What the last write or delete did, as the read after it found the handset.
    const THandsetOutcome& LastOutcome() const { return Outcome; }
    // The plan of the last write, once the handset's groups were read for it.
    const std::optional<TWritePlan>& LastPlan() const { return Plan; }

private:
    bool Connect(const char* consequence);
    size_t Exchange(const TPhonebookBuffer& mail, std::array<uint8_t, TGroupMails::AnswerBytes>& answer);
    void NoteNoAnswer(const TPhonebookBuffer& mail);
    void NoteMalformed(const TPhonebookBuffer& mail, std::span<const uint8_t> answer);
    bool KeepBackupOf(const TReadAllGroupsCfm& record);
    THandsetOutcome PlanAndWrite(THandsetChange& change, bool replace);
    THandsetOutcome ReadBack(const TBroadcastGroups& held, const TBroadcastGroups& wanted, bool replace);
    bool DeleteForReplace();
    bool WriteSlots(bool replace);
    // Asks whether to go on past a group the handset holds already; false (with the status saying what
    // the handset holds) when the person ends the write.
    bool IgnoreExisting(const std::string& text);
    // What the handset holds now, read once, and where the earlier groups are kept.
    std::string AfterChangeText();
    std::string HeldText(const std::optional<TReadAllGroupsCfm>& record) const;
    std::string KeptInText() const;
    void Fail(const std::string& text);

    THandsetConnection& Link;
    TUserInteraction& Ui;
    TBroadcastGroups& List;
    TGroupMails Mails;
    std::string Failure;
    std::string Backup;
    int IgnoredGroups = 0;
    int WrittenGroups = 0;
    std::optional<TWritePlan> Plan;
    // The groups the handset held before, and the last failure the person was shown.
    int HeldBefore = 0;
    std::string LastFailure;
    THandsetOutcome Outcome;
};
