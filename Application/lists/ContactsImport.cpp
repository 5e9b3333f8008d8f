#include "lists/ContactsImport.h"

#include "lists/ContactsText.h"
#include "lists/PP5Phonebook.h"
#include "platform/AnsiText.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"

#include <QFile>

#include <algorithm>
#include <string_view>

namespace {

constexpr const char* NoTelephoneColumnsText =
    "%s has no telephone columns: none of its column names is Business Phone, Home Phone, Primary Phone or "
    "Mobile Phone, as Outlook names them in English, German or French.";
constexpr const char* ContactsFileUnusable = "%s cannot be imported: %s.";
constexpr const char* NamesNotInCodePageQuestion =
    "Names with characters the handset does not have: %d, the first in line %d. The handset shows \"?\" "
    "for each of those characters.\r\rWrite the names with the nearest letters the handset has? Line %d "
    "would read %s.";
constexpr const char* NamesTransliterated = "Names written with the nearest letters the handset has: %d.";
constexpr const char* NamesStillNotInCodePage =
    "Names with characters the handset has no letter for, shown as \"?\": %d, %s.";
// How much of a name a message quotes.
constexpr qsizetype NameQuoted = 40;

} // namespace

void ReadContactsFile(const std::string& path, const TContactSink& onContact) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        throw EContactsFileError("cannot open the file: " + ToAnsi(file.errorString()));
    if (file.size() > MaxContactsFileSize)
        throw EContactsFileError("file too large");
    // Read in pieces, so that a device or a growing file cannot make us take more than the limit; room
    // for the size the file tells, so that the bytes are not copied as they grow.
    QByteArray data;
    data.reserve(qsizetype(file.size()));
    QByteArray piece(1 << 20, '\0');
    for (;;) {
        const qint64 got = file.read(piece.data(), piece.size());
        if (got < 0)
            throw EContactsFileError("cannot read the file: " + ToAnsi(file.errorString()));
        if (got == 0)
            break;
        if (data.size() + got > MaxContactsFileSize)
            throw EContactsFileError("file too large");
        data.append(piece.constData(), qsizetype(got));
    }
    if (data.isEmpty())
        throw EContactsFileError("empty file");
    // A UTF-16 file is read as UTF-8, and its bytes let go before it is.
    data = Utf16AsUtf8(data);
    if (StartsAsVCard(data))
        ParseVCards(data, onContact);
    else
        ParseOutlookCsv(data, onContact);
}

std::vector<TContact> ReadContactsFile(const std::string& path) {
    return CollectedContacts([&path](const TContactSink& sink) { ReadContactsFile(path, sink); });
}

std::string ContactsFileMessage(const std::string& shownPath, const EContactsFileError& error) {
    if (std::string_view(error.what()) == NoTelephoneColumns)
        return FormatText(NoTelephoneColumnsText, shownPath.c_str());
    return FormatText(ContactsFileUnusable, shownPath.c_str(), error.what());
}

TContactsImport::TContactsImport(int room)
    : EntryRoom(std::clamp(room, 0, PhonebookEntries)) {}

void TContactsImport::Add(const TContact& contact) {
    ++ContactCount;
    bool leftOut = false;
    for (const std::string* number : {&contact.Business, &contact.Home, &contact.Primary, &contact.Mobile}) {
        if (number->empty())
            continue;
        if (int(Taken.size()) < EntryRoom) {
            Taken.push_back({contact.FullName, *number, contact.UnicodeName});
        } else {
            ++NumbersNotTaken;
            leftOut = true;
        }
    }
    ContactsNotTaken += leftOut ? 1 : 0;
}

void TContactsImport::AddFile(const std::string& path) {
    ReadContactsFile(path, [this](TContact& contact) { Add(contact); });
}

std::vector<int> TContactsImport::UnstorableEntries() const {
    std::vector<int> entries;
    for (size_t i = 0; i < Taken.size(); ++i)
        if (!IsStorableNumber(NormaliseNumber(Taken[i].Number)))
            entries.push_back(int(i));
    return entries;
}

int TContactsImport::MakeNumbersDialable(const std::string& internationalPrefix) {
    int changed = 0;
    for (TTaken& taken : Taken) {
        std::string dialable = MakeDialable(taken.Number, internationalPrefix);
        if (dialable != taken.Number) {
            taken.Number = std::move(dialable);
            ++changed;
        }
    }
    return changed;
}

std::string TContactsImport::DialableQuestion(const std::string& internationalPrefix) const {
    const std::vector<int> unstorable = UnstorableEntries();
    if (unstorable.empty())
        return {};
    return FormatText(Texts::MakeNumbersDialableQuestion, int(unstorable.size()), unstorable.front() + 1,
                      internationalPrefix.c_str());
}

std::vector<int> TContactsImport::NamesNotInCodePage() const {
    std::vector<int> entries;
    for (size_t i = 0; i < Taken.size(); ++i)
        if (!Taken[i].UnicodeName.isEmpty())
            entries.push_back(int(i));
    return entries;
}

int TContactsImport::TransliterateNames() {
    int whole = 0;
    for (TTaken& taken : Taken) {
        if (taken.UnicodeName.isEmpty())
            continue;
        TContact nearest;
        SetContactName(nearest, Transliterated(taken.UnicodeName));
        if (nearest.FullName == taken.FullName)
            continue;
        taken.FullName = std::move(nearest.FullName);
        taken.UnicodeName = std::move(nearest.UnicodeName);
        whole += taken.UnicodeName.isEmpty() ? 1 : 0;
    }
    return whole;
}

std::string TContactsImport::TransliterationQuestion() const {
    const std::vector<int> names = NamesNotInCodePage();
    for (const int entry : names) {
        TContact nearest;
        SetContactName(nearest, Transliterated(Taken[size_t(entry)].UnicodeName));
        if (nearest.FullName != Taken[size_t(entry)].FullName)
            return FormatText(NamesNotInCodePageQuestion, int(names.size()), names.front() + 1, entry + 1,
                              QuotedText(nearest.FullName, size_t(NameQuoted)).c_str());
    }
    return {};
}

std::string TContactsImport::NamesInLines(const std::vector<int>& entries, TNameBytes bytes,
                                          size_t most) const {
    auto quoted = [bytes](const TTaken& taken) {
        if (bytes == TNameBytes::CodePage)
            return QuotedText(taken.FullName, size_t(NameQuoted));
        const QString& name = taken.UnicodeName.isEmpty() ? FromAnsi(taken.FullName) : taken.UnicodeName;
        const QString shown = name.size() > NameQuoted ? name.first(NameQuoted) + "..." : name;
        return "\"" + shown.toStdString() + "\"";
    };
    std::vector<std::string> names;
    for (size_t i = 0; i < entries.size();) {
        const TTaken& first = Taken[size_t(entries[i])];
        size_t last = i;
        while (last + 1 < entries.size() && entries[last + 1] == entries[last] + 1 &&
               Taken[size_t(entries[last + 1])].UnicodeName == first.UnicodeName &&
               Taken[size_t(entries[last + 1])].FullName == first.FullName)
            ++last;
        names.push_back(quoted(first) +
                        (last == i ? FormatText(" (line %d)", entries[i] + 1)
                                   : FormatText(" (lines %d to %d)", entries[i] + 1, entries[last] + 1)));
        i = last + 1;
    }
    return JoinedText(names, most);
}

std::vector<std::string> TContactsImport::Report(std::optional<int> madeDialable,
                                                 std::optional<int> transliterated, TNameBytes names) const {
    std::vector<std::string> lines;
    if (madeDialable) {
        lines.push_back(FormatText(Texts::NumbersMadeDialable, *madeDialable));
        if (const std::vector<int> left = UnstorableEntries(); !left.empty())
            lines.push_back(FormatText(Texts::NumbersStillUnstorable, int(left.size()), left.front() + 1));
    }
    if (transliterated) {
        if (*transliterated > 0)
            lines.push_back(FormatText(NamesTransliterated, *transliterated));
        if (const std::vector<int> left = NamesNotInCodePage(); !left.empty())
            lines.push_back(
                FormatText(NamesStillNotInCodePage, int(left.size()), NamesInLines(left, names).c_str()));
    }
    if (NumbersNotTaken > 0)
        lines.push_back(
            FormatText(Texts::ContactsNotTakenBookFull, EntryRoom, NumbersNotTaken, ContactsNotTaken));
    return lines;
}

void TContactsImport::FillPhonebook(TPP5Phonebook& book, const TImportedRowFn& onRow) const {
    for (size_t i = 0; i < Taken.size(); ++i) {
        const auto entry = uint16_t(i);
        book.SetNumber(entry, Taken[i].Number);
        book.SetName(entry, Taken[i].FullName);
        if (onRow)
            onRow(entry, Taken[i].FullName);
    }
}

int FillPhonebook(const std::vector<TContact>& contacts, TPP5Phonebook& book, int rowCount,
                  const TImportedRowFn& onRow) {
    TContactsImport import(rowCount - 1);
    for (const TContact& contact : contacts)
        import.Add(contact);
    import.FillPhonebook(book, onRow);
    return import.Contacts();
}
