#include "profile/ProfileSettings.h"

#include "platform/IniFile.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"
#include "profile/ProfileLists.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <charconv>
#include <exception>
#include <optional>

namespace {

// A whole decimal number, as the program writes them: "2abc", "0x3" or "" are none.
std::optional<int> DecimalValue(const std::string& text) {
    int value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (text.empty() || error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

constexpr const char* BasicSection = "profile settings";
constexpr const char* AdvancedSection = "advanced profile settings";

// What ProbeHandset gives when the port is closed.
constexpr uint8_t ProbePortClosed = 255;

using S = TProfileSetting;

constexpr std::array<TProfileField, ProfileSettingCount> FieldTable{{
    {S::RingerTone, 27, 4, 4, false, false, BasicSection, "ringer tone"},
    {S::RingerVolume, 27, 0, 3, false, false, BasicSection, "ringer volume"},
    {S::KeyClickVolume, 28, 0, 3, false, false, BasicSection, "key click volume"},
    {S::Vibrator, 26, 6, 1, true, false, BasicSection, "vibrator"},
    {S::BAnswer, 26, 5, 1, true, false, BasicSection, "b answer"},
    {S::StartVolume, 26, 0, 3, false, false, BasicSection, "start volume"},
    {S::OutOfRange, 26, 4, 1, true, false, BasicSection, "out of range"},
    {S::AutoKeyLock, 26, 7, 1, true, false, BasicSection, "auto key lock"},
    {S::Language, 21, 0, 4, false, false, BasicSection, "language"},
    {S::BackLight, 26, 3, 1, true, true, BasicSection, "back light"},
    {S::AutoHook, 24, 7, 1, true, true, AdvancedSection, "auto hook"},
    {S::AnyKeyAnswer, 24, 6, 1, true, false, AdvancedSection, "any key answer"},
    {S::LongKey, 30, 0, 1, true, false, AdvancedSection, "long key"},
    {S::LongKeyTime, 563, 0, 4, false, false, AdvancedSection, "long key time"},
    {S::AKeyDelay, 563, 4, 4, false, false, AdvancedSection, "a key delay"},
    {S::LsOnBAnswer, 30, 1, 1, true, false, AdvancedSection, "ls on b-answer"},
    {S::StandbyText, 30, 2, 1, true, false, AdvancedSection, "standby text"},
    {S::HeadsetAlert, 31, 0, 3, false, false, AdvancedSection, "headset alert"},
    {S::HeadsetVolume, 31, 3, 3, false, false, AdvancedSection, "headset volume"},
    {S::OffHookMsf, 31, 6, 2, false, false, AdvancedSection, "off hook msf"},
}};

// The table is indexed by setting, each field lies in one profile byte, and no two fields of a byte
// share a bit: merging fields into a byte cannot disturb its other fields.
constexpr bool TableIsSound() {
    for (size_t i = 0; i < FieldTable.size(); ++i) {
        const TProfileField& f = FieldTable[i];
        if (size_t(f.Setting) != i || f.Shift + f.Width > 8 || (f.Boolean && f.Width != 1))
            return false;
        bool known = false;
        for (const uint16_t address : TProfileSettings::ProfileAddresses)
            known = known || address == f.Address;
        if (!known)
            return false;
        for (size_t j = 0; j < i; ++j)
            if (FieldTable[j].Address == f.Address && (FieldTable[j].ByteMask() & f.ByteMask()) != 0)
                return false;
    }
    return true;
}
static_assert(TableIsSound());

// The eight bits a setting's field is taken from: the entry's lowest byte. A marker is negative, so an
// entry never read gives its bits too (NotInProfile all ones, ToRead all but bit 0), and getter and
// setter see the same byte whatever the entry holds.
unsigned ByteOf(const TProfileSettings::TImage& image, uint16_t address) {
    const int32_t entry = address < image.size() ? image[address] : TProfileSettings::NotInProfile;
    return uint32_t(entry) & 0xFFu;
}

} // namespace

TProfileSettings::TProfileSettings(TMailControl& engine)
    : Engine(engine) {
    ClearImage(Image);
}

const std::array<TProfileField, ProfileSettingCount>& TProfileSettings::Fields() {
    return FieldTable;
}

const TProfileField& TProfileSettings::Field(TProfileSetting setting) {
    return FieldTable.at(size_t(setting));
}

// ---- settings ----

int TProfileSettings::Get(TProfileSetting setting) const {
    const TProfileField& f = Field(setting);
    const unsigned bits = (ByteOf(Image, f.Address) >> f.Shift) & f.ValueMask();
    return int(f.Inverted ? bits ^ 1u : bits);
}

void TProfileSettings::Set(TProfileSetting setting, int value) {
    const TProfileField& f = Field(setting);
    unsigned bits = f.Boolean ? unsigned(value != 0) : unsigned(value) & f.ValueMask();
    if (f.Inverted)
        bits ^= 1u;
    const unsigned kept = ByteOf(Image, f.Address) & ~f.ByteMask();
    Image[f.Address] = int32_t(kept | (bits << f.Shift));
    Changed |= f.Bit();
}

// ---- image helpers ----

void TProfileSettings::ClearImage(TImage& image) {
    image.assign(ImageSize, NotInProfile);
}

void TProfileSettings::MarkProfileAddresses(TImage& image) {
    if (image.size() < size_t(ImageSize))
        image.resize(ImageSize, NotInProfile);
    for (const uint16_t address : ProfileAddresses)
        image[address] = ToRead;
}

bool TProfileSettings::ReadMarkedBytes(TImage& image) {
    const int size = int(std::min(image.size(), size_t(ImageSize)));
    bool ok = true;
    int p = 0;
    while (p < size && ok) {
        if (image[size_t(p)] != ToRead) {
            ++p;
            continue;
        }
        std::array<uint8_t, ReadSize> bytes{};
        ok = Engine.ReadMemory(uint8_t(p & 0xFF), uint8_t(p >> 8), bytes, ReadSize) == ReadSize;
        if (ok)
            for (int i = 0; i < ReadSize && p + i < size; ++i)
                if (image[size_t(p + i)] == ToRead)
                    image[size_t(p + i)] = bytes[size_t(i)];
        p += ReadSize;
    }
    return ok;
}

// ---- handset ----

bool TProfileSettings::HandsetAnswers() {
    const uint8_t result = Engine.ProbeHandset(ProbePause);
    return result != 0 && result != ProbePortClosed;
}

const char* ProfileResultText(TProfileResult result) {
    switch (result) {
    case TProfileResult::Done:
        return "done";
    case TProfileResult::NoAnswer:
        return "no answer";
    case TProfileResult::ReadFailed:
        return "read failed";
    case TProfileResult::WriteFailed:
        break;
    }
    return "write failed";
}

TProfileResult TProfileSettings::ReadFromHandset() {
    if (!HandsetAnswers())
        return TProfileResult::NoAnswer;
    MarkProfileAddresses(Image);
    return ReadMarkedBytes(Image) ? TProfileResult::Done : TProfileResult::ReadFailed;
}

TProfileResult TProfileSettings::WriteToHandset() {
    if (!HandsetAnswers())
        return TProfileResult::NoAnswer;
    TImage handset;
    ClearImage(handset);
    MarkProfileAddresses(handset);
    if (!ReadMarkedBytes(handset))
        return TProfileResult::WriteFailed;

    for (const uint16_t address : WriteOrder) {
        const unsigned read = ByteOf(handset, address);
        unsigned value = read;
        for (const TProfileField& f : FieldTable)
            if (f.Address == address && (Changed & f.Bit()) != 0)
                value = (value & ~f.ByteMask()) | (ByteOf(Image, address) & f.ByteMask());
        if (value == read)
            continue;
        const std::array<uint8_t, 1> data{uint8_t(value)};
        if (!Engine.WriteMemory(uint8_t(address & 0xFF), uint8_t(address >> 8), 1, data))
            return TProfileResult::WriteFailed;
    }
    return TProfileResult::Done;
}

// ---- profile file ----

void TProfileSettings::LoadFromFile(const std::string& fileName, bool asRead) {
    // A file that cannot be read holds no settings; saying so beats reporting every setting missing.
    QFile file(QString::fromStdString(fileName));
    // A folder, a device or a pipe is no list file: a pipe would block the open, a device never end.
    if (QFileInfo(file).isDir())
        throw EFileError(fileName + ": a folder, not a file");
    if (QFileInfo(file).exists() && !QFileInfo(file).isFile())
        throw EFileError(fileName + ": not a regular file (a device, a pipe or a socket)");
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError(fileName + ": " + file.errorString().toStdString());
    file.close();

    const TIniFile ini(fileName);
    InFile = 0;
    Refused.clear();
    SectionsFound = ini.SectionExists(BasicSection) || ini.SectionExists(AdvancedSection);
    UnknownKeys.clear();
    DuplicateKeys.clear();
    const std::vector<TIniFile::TKeyLine> keyLines = ini.KeyLines();
    for (size_t i = 0; i < keyLines.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (SameText(keyLines[i].section, keyLines[j].section) &&
                SameText(keyLines[i].key, keyLines[j].key)) {
                DuplicateKeys.push_back("[" + PrintableText(keyLines[i].section) + "] " +
                                        QuotedText(keyLines[i].key) + " in lines " +
                                        std::to_string(keyLines[j].line) + " and " +
                                        std::to_string(keyLines[i].line));
                break;
            }
    for (const TIniFile::TKeyLine& line : keyLines) {
        const bool known =
            std::any_of(std::begin(FieldTable), std::end(FieldTable), [&](const TProfileField& f) {
                return SameText(line.section, f.Section) && SameText(line.key, f.Key);
            });
        if (!known)
            UnknownKeys.push_back("line " + std::to_string(line.line) + ": [" + PrintableText(line.section) +
                                  "] " + QuotedText(line.key));
    }
    for (const TProfileField& f : FieldTable) {
        if (!ini.ValueExists(f.Section, f.Key))
            continue;
        const std::string text = ini.ReadString(f.Section, f.Key, "");
        const std::optional<int> value = DecimalValue(text);
        const bool held = value && *value >= 0 && unsigned(*value) <= (f.Boolean ? 1u : f.ValueMask());
        if (!value || (asRead ? !held : ProfileLists()[size_t(f.Setting)].IndexFromValue(*value) < 0)) {
            Refused.push_back({ini.LineOf(f.Section, f.Key), f.Key, text});
            continue;
        }
        Set(f.Setting, *value);
        InFile |= f.Bit();
    }
}

std::string TProfileSettings::RefusedText(const TRefusedValue& refused) {
    return FormatText(Texts::ProfileValueRefused, refused.Line, refused.Key.c_str(),
                      PrintableText(refused.Value).c_str());
}

void TProfileSettings::SaveToFile(const std::string& fileName) {
    // One save of every key: a full disk leaves the file as it was, never half the settings new. A
    // profile with no setting is still a file.
    TIniFile ini(fileName);
    ini.BeginBatch();
    for (const TProfileField& f : FieldTable) {
        if ((Changed & f.Bit()) != 0)
            ini.WriteInteger(f.Section, f.Key, Get(f.Setting));
        else
            ini.DeleteKey(f.Section, f.Key);
    }
    if (!ini.EndBatch())
        throw EFileError(ini.LastError());
}
