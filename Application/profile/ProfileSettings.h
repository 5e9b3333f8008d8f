#pragma once

#include "link/Sndmail.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The twenty profile settings, numbered as their bits in Changed and InFile; also the order of the
// profile file.
enum class TProfileSetting : uint8_t {
    RingerTone,
    RingerVolume,
    KeyClickVolume,
    Vibrator,
    BAnswer,
    StartVolume,
    OutOfRange,
    AutoKeyLock,
    Language,
    BackLight,
    AutoHook,
    AnyKeyAnswer,
    LongKey,
    LongKeyTime,
    AKeyDelay,
    LsOnBAnswer,
    StandbyText,
    HeadsetAlert,
    HeadsetVolume,
    OffHookMsf,
};

constexpr int ProfileSettingCount = 20;

// How a read or a write of the profile bytes ended.
enum class TProfileResult : uint8_t { Done, NoAnswer, ReadFailed, WriteFailed };
// "done", "no answer", "read failed", "write failed".
const char* ProfileResultText(TProfileResult result);

// Where a setting lives in the handset and in a profile file.
struct TProfileField {
    TProfileSetting Setting;
    uint16_t Address;
    uint8_t Shift; // lowest bit of the field
    uint8_t Width; // bits
    bool Boolean;  // on for any non-zero value
    bool Inverted; // the bit is set when the setting is off
    const char* Section;
    const char* Key;

    constexpr unsigned ValueMask() const { return (1u << Width) - 1u; }
    constexpr unsigned ByteMask() const { return ValueMask() << Shift; }
    constexpr uint32_t Bit() const { return uint32_t(1) << unsigned(Setting); }
};

// The handset's profile: eight bytes of its memory, seen as twenty settings. Read them from the
// handset, change single settings, write back only the bytes that change, or keep them in a profile
// file. The engine must expect short answers (FramedAnswer false) while the model talks to the handset.
// One model serves one operation.
class TProfileSettings {
public:
    // One entry per handset address: the byte there (0 to 255), NotInProfile or ToRead.
    using TImage = std::vector<int32_t>;

    static constexpr int ImageSize = 32768;
    static constexpr int32_t NotInProfile = -1;
    static constexpr int32_t ToRead = -2;
    // What a profile file gives for a key it lacks or a value that is no number.
    static constexpr int MissingKey = -1000;
    static constexpr std::array<uint16_t, 8> ProfileAddresses{21, 24, 26, 27, 28, 30, 31, 563};
    // The order in which WriteToHandset writes the bytes.
    static constexpr std::array<uint16_t, 8> WriteOrder{24, 31, 30, 563, 28, 27, 21, 26};
    static constexpr uint8_t ReadSize = 8;
    static constexpr std::chrono::milliseconds ProbePause = OperationProbePause;

    explicit TProfileSettings(TMailControl& engine);

    static const std::array<TProfileField, ProfileSettingCount>& Fields();
    static const TProfileField& Field(TProfileSetting setting);

    // The model value from the setting's bits of its entry's lowest byte, markers included (a byte
    // neither read nor set gives the bits of NotInProfile, all ones).
    int Get(TProfileSetting setting) const;
    // Masks the value to the field (booleans: on for any non-zero value), replaces only the setting's
    // bits of that byte, stores the byte and marks the setting changed.
    void Set(TProfileSetting setting, int value);

    int GetRingerTone() const { return Get(TProfileSetting::RingerTone); }
    int GetRingerVolume() const { return Get(TProfileSetting::RingerVolume); }
    int GetKeyClickVolume() const { return Get(TProfileSetting::KeyClickVolume); }
    int GetVibrator() const { return Get(TProfileSetting::Vibrator); }
    int GetBAnswer() const { return Get(TProfileSetting::BAnswer); }
    int GetStartVolume() const { return Get(TProfileSetting::StartVolume); }
    int GetOutOfRange() const { return Get(TProfileSetting::OutOfRange); }
    int GetAutoKeyLock() const { return Get(TProfileSetting::AutoKeyLock); }
    int GetLanguage() const { return Get(TProfileSetting::Language); }
    int GetBackLight() const { return Get(TProfileSetting::BackLight); }
    int GetAutoHook() const { return Get(TProfileSetting::AutoHook); }
    int GetAnyKeyAnswer() const { return Get(TProfileSetting::AnyKeyAnswer); }
    int GetLongKey() const { return Get(TProfileSetting::LongKey); }
    int GetLongKeyTime() const { return Get(TProfileSetting::LongKeyTime); }
    int GetAKeyDelay() const { return Get(TProfileSetting::AKeyDelay); }
    int GetLsOnBAnswer() const { return Get(TProfileSetting::LsOnBAnswer); }
    int GetStandbyText() const { return Get(TProfileSetting::StandbyText); }
    int GetHeadsetAlert() const { return Get(TProfileSetting::HeadsetAlert); }
    int GetHeadsetVolume() const { return Get(TProfileSetting::HeadsetVolume); }
    int GetOffHookMsf() const { return Get(TProfileSetting::OffHookMsf); }

    void SetRingerTone(int value) { Set(TProfileSetting::RingerTone, value); }
    void SetRingerVolume(int value) { Set(TProfileSetting::RingerVolume, value); }
    void SetKeyClickVolume(int value) { Set(TProfileSetting::KeyClickVolume, value); }
    void SetVibrator(int value) { Set(TProfileSetting::Vibrator, value); }
    void SetBAnswer(int value) { Set(TProfileSetting::BAnswer, value); }
    void SetStartVolume(int value) { Set(TProfileSetting::StartVolume, value); }
    void SetOutOfRange(int value) { Set(TProfileSetting::OutOfRange, value); }
    void SetAutoKeyLock(int value) { Set(TProfileSetting::AutoKeyLock, value); }
    void SetLanguage(int value) { Set(TProfileSetting::Language, value); }
    void SetBackLight(int value) { Set(TProfileSetting::BackLight, value); }
    void SetAutoHook(int value) { Set(TProfileSetting::AutoHook, value); }
    void SetAnyKeyAnswer(int value) { Set(TProfileSetting::AnyKeyAnswer, value); }
    void SetLongKey(int value) { Set(TProfileSetting::LongKey, value); }
    void SetLongKeyTime(int value) { Set(TProfileSetting::LongKeyTime, value); }
    void SetAKeyDelay(int value) { Set(TProfileSetting::AKeyDelay, value); }
    void SetLsOnBAnswer(int value) { Set(TProfileSetting::LsOnBAnswer, value); }
    void SetStandbyText(int value) { Set(TProfileSetting::StandbyText, value); }
    void SetHeadsetAlert(int value) { Set(TProfileSetting::HeadsetAlert, value); }
    void SetHeadsetVolume(int value) { Set(TProfileSetting::HeadsetVolume, value); }
    void SetOffHookMsf(int value) { Set(TProfileSetting::OffHookMsf, value); }

    // Done, NoAnswer, or ReadFailed.
    TProfileResult ReadFromHandset();
    // Merges the changed settings into the bytes as they are in the handset now and writes the bytes
    // that differ, in WriteOrder, stopping at the first write that fails. Done, NoAnswer or
    // WriteFailed.
    TProfileResult WriteToHandset();

    // Sets every setting the file holds a value of its list for, and marks it in InFile; a value no
    // item of its list shows (it would change on the way to the handset) is refused and noted in
    // Refused. A backup holds what the handset held, which may be a value outside the list: `asRead`
    // takes any value the setting's bits hold, so that the backup goes back as it was. Raises
    // EFileError with the reason when the file cannot be read.
    void LoadFromFile(const std::string& fileName, bool asRead = false);
    // Writes the changed settings and deletes the keys of the others; the rest of the file stays.
    // The keys of the file that are no profile setting (or stand outside the two sections), as
    // "line 3: [profile settings] ringer tones"; LoadFromFile fills it.
    std::vector<std::string> UnknownKeys;
    // Raises EFileError with the reason when the file could not be written; the file is then as it was.
    void SaveToFile(const std::string& fileName);

    static void ClearImage(TImage& image);
    static void MarkProfileAddresses(TImage& image);
    // Fills the ToRead entries with 8-byte reads; stops at the first failed read. True when every
    // read succeeded.
    bool ReadMarkedBytes(TImage& image);

    TImage Image;
    // Bit k: setting k has been given a value through its setter.
    uint32_t Changed = 0;
    // Bit k: the last loaded profile file held setting k.
    uint32_t InFile = 0;
    // A key of the last loaded file whose value was refused: its line, key and value as written.
    struct TRefusedValue {
        int Line;
        std::string Key;
        std::string Value;
    };
    std::vector<TRefusedValue> Refused;
    // The settings the last loaded file gives twice, as "[basic settings] "language" in lines 3 and 9":
    // which value is meant is not known, so the file is not used.
    std::vector<std::string> DuplicateKeys;
    // Whether the last loaded file had a profile section at all.
    bool SectionsFound = false;

    // "line 3: ringer tone=99 ...", for the person.
    static std::string RefusedText(const TRefusedValue& refused);

private:
    bool HandsetAnswers();

    TMailControl& Engine;
};
