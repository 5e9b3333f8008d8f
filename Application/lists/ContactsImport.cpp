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
    "Mobile Phone, as Outlook names them in English, German, French, Spanish, Dutch or Italian, nor a "
    "telephone column of a Thunderbird or Google export.";
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
constexpr const char* ContactsSummary =
    "Contacts read: %d. Numbers found: %d = entries: %d + not taken: %d%s.";
constexpr const char* NumberNotTaken = "Number not taken, %s: %s (%s) %s.";
constexpr const char* MoreNumbersNotTaken = "Numbers not taken as above, not named here: %d.";
constexpr const char* ExtensionsAfterPause =
    "Numbers whose extension is dialled after a pause (\"P\"): %d, %s.";
constexpr const char* UnreadColumns = "Columns that may hold telephone numbers but are not read: %s.";
constexpr const char* GuessedEncoding = "Read as %s: the file has no byte order mark.";

// Why a number is not taken, as the summary and the lines of single numbers say it.
const char* LeftOutText(TNumberLeftOut why) {
    switch (why) {
    case TNumberLeftOut::Extra:
        return "beyond the contact's four entries";
    case TNumberLeftOut::Repeated:
        return "repeated in the contact";
    case TNumberLeftOut::NotVoice:
        return "fax, pager or telex";
    case TNumberLeftOut::Nested:
        return "of a card nested in the contact's";
    case TNumberLeftOut::NoRoom:
        break;
    }
    return "no room in the phone book";
}

// The name of an entry of one of a contact's numbers, "Name (type)", the name cut so that the type
// still fits the handset's name.
std::string NameWithType(const std::string& name, const std::string& type) {
    const std::string suffix = " (" + type + ")";
    std::string kept = name;
    if (kept.size() + suffix.size() > MaxNameLength && suffix.size() < MaxNameLength) {
        kept.resize(MaxNameLength - suffix.size());
        while (!kept.empty() && kept.back() == ' ')
            kept.pop_back();
    }
    return kept.empty() ? type : kept + suffix;
}

// A name as a message quotes it: in the code page's bytes, or in UTF-8 with the characters the code page
// lacks.
std::string QuotedName(const std::string& fullName, const QString& unicodeName, TNameBytes bytes) {
    if (bytes == TNameBytes::CodePage)
        return QuotedText(fullName, size_t(NameQuoted));
    const QString& name = unicodeName.isEmpty() ? FromAnsi(fullName) : unicodeName;
    const QString shown = name.size() > NameQuoted ? name.first(NameQuoted) + "..." : name;
    return "\"" + shown.toStdString() + "\"";
}

} // namespace

void ReadContactsFile(const std::string& path, const TContactSink& onContact, TContactsFileNotes* notes) {
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
    if (const char* encoding = UnmarkedUtf16(data); encoding && notes)
        notes->GuessedEncoding = encoding;
    // A UTF-16 file is read as UTF-8, and its bytes let go before it is.
    data = Utf16AsUtf8(data);
    if (StartsAsVCard(data))
        ParseVCards(data, onContact);
    else
        ParseOutlookCsv(data, onContact, notes);
}

std::vector<TContact> ReadContactsFile(const std::string& path) {
    return CollectedContacts([&path](const TContactSink& sink) { ReadContactsFile(path, sink); });
}

std::string ContactsFileMessage(const std::string& shownPath, const EContactsFileError& error) {
    if (std::string_view(error.what()) == NoTelephoneColumns)
        return FormatText(NoTelephoneColumnsText, shownPath.c_str());
    return FormatText(ContactsFileUnusable, shownPath.c_str(), error.what());
}

TContactsImport::TContactsImport(int room, bool allNumbers)
    : EntryRoom(std::clamp(room, 0, PhonebookEntries))
    , AllNumbers(allNumbers) {}

bool TContactsImport::Take(const TContact& contact, const std::string& number, const std::string& type,
                           bool extension) {
    if (int(Taken.size()) >= EntryRoom) {
        ++NotTaken[size_t(TNumberLeftOut::NoRoom)];
        return false;
    }
    if (!AllNumbers) {
        Taken.push_back({contact.FullName, number, contact.UnicodeName, extension});
    } else {
        QString unicodeName;
        if (!contact.UnicodeName.isEmpty()) {
            const QString suffix = " (" + FromAnsi(type) + ")";
            const qsizetype room = std::max<qsizetype>(0, qsizetype(MaxNameLength) - suffix.size());
            const QString& name = contact.UnicodeName;
            unicodeName = (name.size() > room ? name.first(room).trimmed() : name) + suffix;
        }
        Taken.push_back({NameWithType(contact.FullName, type), number, unicodeName, extension});
    }
    return true;
}

void TContactsImport::Add(const TContact& contact) {
    ++ContactCount;
    bool leftOut = false;
    for (size_t k = 0; k < std::size(ContactFields); ++k) {
        const std::string& number = contact.*ContactFields[k].Field;
        if (number.empty())
            continue;
        ++Found;
        leftOut = !Take(contact, number, ContactFields[k].Type, (contact.Extensions >> k) & 1u) || leftOut;
    }
    for (const TContactNumber& other : contact.Others) {
        ++Found;
        if (AllNumbers && other.Why == TNumberLeftOut::Extra) {
            leftOut = !Take(contact, other.Number, other.Type, other.Extension) || leftOut;
            continue;
        }
        ++NotTaken[size_t(other.Why)];
        if (other.Why == TNumberLeftOut::Extra || other.Why == TNumberLeftOut::Nested) {
            if (ListedNumbers.size() < ListedKept)
                ListedNumbers.push_back({contact.FullName, contact.UnicodeName, other});
            ++Listed;
        }
    }
    ContactsNotTaken += leftOut ? 1 : 0;
}

void TContactsImport::AddFile(const std::string& path) {
    ReadContactsFile(
        path, [this](TContact& contact) { Add(contact); }, &Notes);
}

int TContactsImport::NumbersNotTaken() const {
    int all = 0;
    for (const int count : NotTaken)
        all += count;
    return all;
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
        // Blanks the book drops anyway are no change; a "-" it would have kept as a pause is.
        changed += NormaliseNumber(dialable) != NormaliseNumber(taken.Number) ? 1 : 0;
        taken.Number = std::move(dialable);
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
        return QuotedName(taken.FullName, taken.UnicodeName, bytes);
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
                                                 std::optional<int> transliterated, TNameBytes names,
                                                 size_t listed) const {
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
    std::vector<int> extensions;
    for (size_t i = 0; i < Taken.size(); ++i)
        if (Taken[i].Extension)
            extensions.push_back(int(i));
    if (!extensions.empty())
        lines.push_back(FormatText(ExtensionsAfterPause, int(extensions.size()),
                                   NamesInLines(extensions, names).c_str()));
    if (!Notes.UnreadColumns.empty()) {
        std::vector<std::string> columns;
        for (const std::string& column : Notes.UnreadColumns)
            columns.push_back(
                "\"" + (names == TNameBytes::Utf8 ? column : ToAnsi(QString::fromStdString(column))) + "\"");
        lines.push_back(FormatText(UnreadColumns, JoinedText(columns, columns.size()).c_str()));
    }
    if (!Notes.GuessedEncoding.empty())
        lines.push_back(FormatText(GuessedEncoding, Notes.GuessedEncoding.c_str()));
    for (size_t i = 0; i < ListedNumbers.size() && i < listed; ++i) {
        const TListed& one = ListedNumbers[i];
        auto text = [names](const std::string& bytes) {
            return names == TNameBytes::Utf8 ? FromAnsi(bytes).toStdString() : bytes;
        };
        lines.push_back(FormatText(NumberNotTaken, LeftOutText(one.Number.Why),
                                   QuotedName(one.FullName, one.UnicodeName, names).c_str(),
                                   text(one.Number.Type).c_str(), text(one.Number.Number).c_str()));
    }
    if (const size_t named = std::min(ListedNumbers.size(), listed); size_t(Listed) > named)
        lines.push_back(FormatText(MoreNumbersNotTaken, Listed - int(named)));
    if (const int noRoom = NumbersLeftOut(); noRoom > 0)
        lines.push_back(FormatText(Texts::ContactsNotTakenBookFull, EntryRoom, noRoom, ContactsNotTaken));
    return lines;
}

std::string TContactsImport::Summary() const {
    std::vector<std::string> reasons;
    for (const TNumberLeftOut why :
         {TNumberLeftOut::Extra, TNumberLeftOut::Repeated, TNumberLeftOut::NotVoice, TNumberLeftOut::Nested,
          TNumberLeftOut::NoRoom})
        if (const int count = NumbersNotTaken(why); count > 0)
            reasons.push_back(FormatText("%s: %d", LeftOutText(why), count));
    std::string because;
    for (const std::string& reason : reasons)
        because += (because.empty() ? " (" : "; ") + reason;
    if (!because.empty())
        because += ")";
    return FormatText(ContactsSummary, ContactCount, Found, Entries(), NumbersNotTaken(), because.c_str());
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
