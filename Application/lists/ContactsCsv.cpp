#include "lists/ContactsCsv.h"

#include "lists/ContactNumbers.h"
#include "lists/ContactsText.h"
#include "platform/AnsiText.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

namespace {

enum TNameColumn { ColName, ColFullName, ColFirstName, ColMiddleName, ColLastName, NameColumns };

struct TNameTitle {
    const char16_t* Title; // as ColumnKey makes it
    TNameColumn Column;
};

// The name columns of the exports of Outlook (English, German, French, Spanish, Dutch, Italian),
// Thunderbird and Google; the first column of a kind counts. (The French "Nom" is the family name, the
// English "Name" the whole one, the Italian "Nome" the given one.)
constexpr TNameTitle NameTitles[] = {
    {u"name", ColName},
    {u"full name", ColFullName},
    {u"display name", ColFullName}, // Thunderbird
    {u"first name", ColFirstName},
    {u"given name", ColFirstName}, // Google
    {u"middle name", ColMiddleName},
    {u"additional name", ColMiddleName},
    {u"last name", ColLastName},
    {u"family name", ColLastName},
    // German
    {u"vorname", ColFirstName},
    {u"weitere vornamen", ColMiddleName},
    {u"nachname", ColLastName},
    // French
    {u"pr\u00e9nom", ColFirstName},
    {u"deuxi\u00e8me pr\u00e9nom", ColMiddleName},
    {u"nom", ColLastName},
    // Spanish
    {u"nombre", ColFirstName},
    {u"segundo nombre", ColMiddleName},
    {u"apellidos", ColLastName},
    // Dutch
    {u"voornaam", ColFirstName},
    {u"middelste naam", ColMiddleName},
    {u"achternaam", ColLastName},
    // Italian
    {u"nome", ColFirstName},
    {u"secondo nome", ColMiddleName},
    {u"cognome", ColLastName},
};

enum class TPhoneKind : uint8_t { Business, Home, Primary, Mobile, Other, NotVoice };

struct TPhoneTitle {
    const char16_t* Title; // as ColumnKey makes it
    TPhoneKind Kind;
    const char* Type; // the word that names its numbers
};

// The telephone columns of those exports. Of each kind the first column with a number fills the entry;
// the numbers of the others are numbers beyond the contact's four entries.
constexpr TPhoneTitle PhoneTitles[] = {
    // Outlook, English
    {u"business phone", TPhoneKind::Business, "work"},
    {u"business phone 2", TPhoneKind::Business, "work 2"},
    {u"home phone", TPhoneKind::Home, "home"},
    {u"home phone 2", TPhoneKind::Home, "home 2"},
    {u"primary phone", TPhoneKind::Primary, "primary"},
    {u"mobile phone", TPhoneKind::Mobile, "mobile"},
    {u"assistant's phone", TPhoneKind::Other, "assistant"},
    {u"callback", TPhoneKind::Other, "callback"},
    {u"car phone", TPhoneKind::Other, "car"},
    {u"company main phone", TPhoneKind::Other, "company"},
    {u"isdn", TPhoneKind::Other, "ISDN"},
    {u"other phone", TPhoneKind::Other, "other"},
    {u"radio phone", TPhoneKind::Other, "radio"},
    {u"tty/tdd phone", TPhoneKind::Other, "TTY/TDD"},
    {u"business fax", TPhoneKind::NotVoice, "work fax"},
    {u"home fax", TPhoneKind::NotVoice, "home fax"},
    {u"other fax", TPhoneKind::NotVoice, "other fax"},
    {u"pager", TPhoneKind::NotVoice, "pager"},
    {u"telex", TPhoneKind::NotVoice, "telex"},
    // Thunderbird
    {u"work phone", TPhoneKind::Business, "work"},
    {u"mobile number", TPhoneKind::Mobile, "mobile"},
    {u"fax number", TPhoneKind::NotVoice, "fax"},
    {u"pager number", TPhoneKind::NotVoice, "pager"},
    // Outlook, German
    {u"telefon gesch\u00e4ftlich", TPhoneKind::Business, "work"},
    {u"telefon gesch\u00e4ftlich 2", TPhoneKind::Business, "work 2"},
    {u"telefon privat", TPhoneKind::Home, "home"},
    {u"telefon privat 2", TPhoneKind::Home, "home 2"},
    {u"haupttelefon", TPhoneKind::Primary, "primary"},
    {u"mobiltelefon", TPhoneKind::Mobile, "mobile"},
    {u"telefon assistent", TPhoneKind::Other, "assistant"},
    {u"r\u00fcckmeldung", TPhoneKind::Other, "callback"},
    {u"autotelefon", TPhoneKind::Other, "car"},
    {u"telefon firma", TPhoneKind::Other, "company"},
    {u"weiteres telefon", TPhoneKind::Other, "other"},
    {u"mobiltelefon 2", TPhoneKind::Other, "mobile 2"},
    {u"funktelefon", TPhoneKind::Other, "radio"},
    {u"texttelefon", TPhoneKind::Other, "TTY/TDD"},
    {u"fax gesch\u00e4ftlich", TPhoneKind::NotVoice, "work fax"},
    {u"fax privat", TPhoneKind::NotVoice, "home fax"},
    {u"weiteres fax", TPhoneKind::NotVoice, "other fax"},
    // Outlook, French
    {u"t\u00e9l\u00e9phone bureau", TPhoneKind::Business, "work"},
    {u"t\u00e9l\u00e9phone 2 bureau", TPhoneKind::Business, "work 2"},
    {u"t\u00e9l\u00e9phone domicile", TPhoneKind::Home, "home"},
    {u"t\u00e9l\u00e9phone 2 domicile", TPhoneKind::Home, "home 2"},
    {u"t\u00e9l\u00e9phone principal", TPhoneKind::Primary, "primary"},
    {u"t\u00e9l. mobile", TPhoneKind::Mobile, "mobile"},
    {u"t\u00e9l\u00e9phone de l'assistant", TPhoneKind::Other, "assistant"},
    {u"rappel", TPhoneKind::Other, "callback"},
    {u"t\u00e9l\u00e9phone voiture", TPhoneKind::Other, "car"},
    {u"t\u00e9l\u00e9phone soci\u00e9t\u00e9", TPhoneKind::Other, "company"},
    {u"rnis", TPhoneKind::Other, "ISDN"},
    {u"t\u00e9l\u00e9phone autre", TPhoneKind::Other, "other"},
    {u"radio t\u00e9l\u00e9phone", TPhoneKind::Other, "radio"},
    {u"t\u00e9l\u00e9copie bureau", TPhoneKind::NotVoice, "work fax"},
    {u"t\u00e9l\u00e9copie domicile", TPhoneKind::NotVoice, "home fax"},
    {u"t\u00e9l\u00e9copie autre", TPhoneKind::NotVoice, "other fax"},
    {u"r\u00e9cepteur de radiomessagerie", TPhoneKind::NotVoice, "pager"},
    {u"t\u00e9lex", TPhoneKind::NotVoice, "telex"},
    // Outlook, Spanish
    {u"tel\u00e9fono del trabajo", TPhoneKind::Business, "work"},
    {u"tel\u00e9fono del trabajo 2", TPhoneKind::Business, "work 2"},
    {u"particular", TPhoneKind::Home, "home"},
    {u"tel\u00e9fono particular", TPhoneKind::Home, "home"},
    {u"n\u00famero de tel\u00e9fono particular 2", TPhoneKind::Home, "home 2"},
    {u"tel\u00e9fono principal", TPhoneKind::Primary, "primary"},
    {u"m\u00f3vil", TPhoneKind::Mobile, "mobile"},
    {u"tel\u00e9fono m\u00f3vil", TPhoneKind::Mobile, "mobile"},
    {u"tel\u00e9fono del asistente", TPhoneKind::Other, "assistant"},
    {u"devoluci\u00f3n de llamada", TPhoneKind::Other, "callback"},
    {u"tel\u00e9fono del autom\u00f3vil", TPhoneKind::Other, "car"},
    {u"rdsi", TPhoneKind::Other, "ISDN"},
    {u"otro tel\u00e9fono", TPhoneKind::Other, "other"},
    {u"radiotel\u00e9fono", TPhoneKind::Other, "radio"},
    {u"fax del trabajo", TPhoneKind::NotVoice, "work fax"},
    {u"fax particular", TPhoneKind::NotVoice, "home fax"},
    {u"otro fax", TPhoneKind::NotVoice, "other fax"},
    {u"localizador", TPhoneKind::NotVoice, "pager"},
    // Outlook, Dutch
    {u"telefoon op werk", TPhoneKind::Business, "work"},
    {u"telefoon op werk 2", TPhoneKind::Business, "work 2"},
    {u"telefoon thuis", TPhoneKind::Home, "home"},
    {u"telefoon thuis 2", TPhoneKind::Home, "home 2"},
    {u"hoofdtelefoon", TPhoneKind::Primary, "primary"},
    {u"mobiele telefoon", TPhoneKind::Mobile, "mobile"},
    {u"telefoon assistent", TPhoneKind::Other, "assistant"},
    {u"terugbellen", TPhoneKind::Other, "callback"},
    {u"autotelefoon", TPhoneKind::Other, "car"},
    {u"hoofdtelefoon bedrijf", TPhoneKind::Other, "company"},
    {u"overige telefoon", TPhoneKind::Other, "other"},
    {u"ander telefoonnummer", TPhoneKind::Other, "other"},
    {u"radiotelefoon", TPhoneKind::Other, "radio"},
    {u"fax op werk", TPhoneKind::NotVoice, "work fax"},
    {u"fax thuis", TPhoneKind::NotVoice, "home fax"},
    {u"andere fax", TPhoneKind::NotVoice, "other fax"},
    {u"pieper", TPhoneKind::NotVoice, "pager"},
    // Outlook, Italian
    {u"ufficio", TPhoneKind::Business, "work"},
    {u"ufficio 2", TPhoneKind::Business, "work 2"},
    {u"abitazione", TPhoneKind::Home, "home"},
    {u"abitazione 2", TPhoneKind::Home, "home 2"},
    {u"telefono principale", TPhoneKind::Primary, "primary"},
    {u"cellulare", TPhoneKind::Mobile, "mobile"},
    {u"telefono assistente", TPhoneKind::Other, "assistant"},
    {u"richiamata automatica", TPhoneKind::Other, "callback"},
    {u"telefono auto", TPhoneKind::Other, "car"},
    {u"telefono principale societ\u00e0", TPhoneKind::Other, "company"},
    {u"altro telefono", TPhoneKind::Other, "other"},
    {u"radiotelefono", TPhoneKind::Other, "radio"},
    {u"fax ufficio", TPhoneKind::NotVoice, "work fax"},
    {u"fax abitazione", TPhoneKind::NotVoice, "home fax"},
    {u"altro fax", TPhoneKind::NotVoice, "other fax"},
    {u"cercapersone", TPhoneKind::NotVoice, "pager"},
};

// Words in a column name that tell a telephone number, in the languages of the exports above.
constexpr const char16_t* PhoneWords[] = {u"phone", u"fax",  u"mobil",     u"cell",       u"handy",
                                          u"pager", u"gsm",  u"telef",     u"tel\u00e9f", u"t\u00e9l",
                                          u"tel.",  u"isdn", u"m\u00f3vil"};

bool LooksLikePhone(const QString& key) {
    if (key.startsWith(u"tel"))
        return true;
    return std::any_of(std::begin(PhoneWords), std::end(PhoneWords),
                       [&key](const char16_t* word) { return key.contains(QStringView(word)); });
}

// Google's export gives a contact's numbers in pairs of columns, "Phone 1 - Type" (or "- Label") and
// "Phone 1 - Value", the value perhaps several numbers apart by " ::: ".
struct TGoogleColumn {
    int Pair = -1; // the N of "Phone N"
    bool Value = false;
};

TGoogleColumn GoogleColumn(const QString& key) {
    static const QRegularExpression pattern(QStringLiteral("^phone (\\d+) - (type|label|value)$"));
    const QRegularExpressionMatch match = pattern.match(key);
    if (!match.hasMatch())
        return {};
    return {match.captured(1).toInt(), match.captured(2) == u"value"};
}

// A number of Google's export, with the type its pair gives it ("* " marks the primary one).
TFoundNumber GoogleNumber(const std::string& number, const QString& typeText) {
    QString type = typeText.trimmed().toLower();
    TFoundNumber found;
    found.Number = WrittenExtension(number, &found.Extension);
    if (type.startsWith(u"* ")) {
        type = type.mid(2);
        found.Pref = true;
    }
    found.NotVoice = type.contains(u"fax") || type.contains(u"pager");
    found.Mobile = type.contains(u"mobile") || type.contains(u"cell");
    found.Work = type.contains(u"work");
    found.Home = type.contains(u"home");
    found.Pref = found.Pref || type == u"main";
    found.Untyped = !found.Pref && !found.Work && !found.Home && !found.Mobile;
    found.Type = type.isEmpty() ? "other" : AnsiOf(type);
    return found;
}

TFoundNumber ColumnNumber(const std::string& number, const TPhoneTitle& title) {
    TFoundNumber found;
    found.Number = WrittenExtension(number, &found.Extension);
    found.Type = title.Type;
    found.Work = title.Kind == TPhoneKind::Business;
    found.Home = title.Kind == TPhoneKind::Home;
    found.Pref = title.Kind == TPhoneKind::Primary;
    found.Mobile = title.Kind == TPhoneKind::Mobile;
    found.NotVoice = title.Kind == TPhoneKind::NotVoice;
    return found;
}

// A header name as it is looked up: composed, lower case, without brackets ("T\u00e9l\u00e9phone
// (bureau)" is "t\u00e9l\u00e9phone bureau"), blanks tidied.
QString ColumnKey(const QString& title) {
    QString key = title.normalized(QString::NormalizationForm_C).toLower();
    key.remove(u'(');
    key.remove(u')');
    return TidyText(key);
}

void CheckSize(const QByteArray& data) {
    if (data.size() > MaxContactsFileSize)
        throw EContactsFileError("file too large");
}

QByteArrayView ViewOf(const std::string& bytes) {
    return {bytes.data(), qsizetype(bytes.size())};
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string result;
    for (const std::string& part : parts) {
        if (part.empty())
            continue;
        if (!result.empty())
            result += ' ';
        result += part;
    }
    return result;
}

// Of ",", ";" and tab, the one the header record (the first that is not blank) holds most often outside
// quotes; "," when it holds none of them, or as many commas as of another.
char Separator(QByteArrayView data) {
    bool quoted = false, started = false;
    int commas = 0, semicolons = 0, tabs = 0;
    for (const char c : data) {
        started = started || !IsBlank(c);
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && started) {
            if (c == '\n' || c == '\r')
                break;
            commas += c == ',';
            semicolons += c == ';';
            tabs += c == '\t';
        }
    }
    if (tabs > commas && tabs > semicolons)
        return '\t';
    return semicolons > commas ? ';' : ',';
}

// Walks the records, handing each field with its column number, then the end of its record. A field may
// be quoted, with "" for a quote and separators and line breaks inside; blanks before the opening quote
// are dropped and text after the closing quote is kept. Records end in CR LF, LF or a lone CR. A field is
// a view into the data, or into one buffer for the quoted ones, valid until the next field.
template <class FieldFn, class RecordFn>
void ScanCsv(QByteArrayView data, char separator, FieldFn onField, RecordFn onRecordEnd) {
    const char* const d = data.data();
    const qsizetype n = data.size();
    std::string unquoted;
    qsizetype i = 0;
    while (i < n) {
        for (int column = 0;; ++column) {
            qsizetype j = i;
            while (j < n && (d[j] == ' ' || d[j] == '\t') && d[j] != separator)
                ++j;
            const bool quoted = j < n && d[j] == '"';
            if (quoted) {
                unquoted.clear();
                i = j + 1;
                for (;;) {
                    const auto* quote = static_cast<const char*>(std::memchr(d + i, '"', size_t(n - i)));
                    if (quote == nullptr)
                        throw EContactsFileError("unterminated quoted field");
                    unquoted.append(d + i, size_t(quote - (d + i)));
                    i = quote - d + 1;
                    if (i < n && d[i] == '"') {
                        unquoted += '"';
                        ++i;
                    } else {
                        break;
                    }
                }
            }
            const qsizetype start = i;
            while (i < n && d[i] != separator && d[i] != '\n' && d[i] != '\r')
                ++i;
            if (quoted) {
                unquoted.append(d + start, size_t(i - start));
                onField(column, QByteArrayView(unquoted.data(), qsizetype(unquoted.size())));
            } else {
                onField(column, QByteArrayView(d + start, i - start));
            }
            if (i < n && d[i] == separator) {
                ++i;
                continue;
            }
            if (i < n && d[i] == '\r')
                ++i;
            if (i < n && d[i] == '\n')
                ++i;
            break;
        }
        onRecordEnd();
    }
}

} // namespace

void ParseOutlookCsv(const QByteArray& input, const TContactSink& onContact, TContactsFileNotes* notes) {
    CheckSize(input);
    const QByteArray text = Utf16AsUtf8(input);
    const QByteArrayView data = WithoutUtf8Mark(text);
    if (data.isEmpty())
        throw EContactsFileError("empty file");
    const bool utf8 = data.size() != text.size() || IsUtf8(data);
    // A value as the phone book takes it; in a Windows-1252 file its bytes are already the code page's.
    auto value = [utf8](const std::string& raw) {
        return utf8 && !IsAscii(ViewOf(raw)) ? Tidy(AnsiOf(FromUtf8(ViewOf(raw)))) : Tidy(raw);
    };
    auto decoded = [utf8](QByteArrayView bytes) {
        return utf8 ? FromUtf8(bytes) : FromAnsi(std::string(bytes.data(), size_t(bytes.size())));
    };

    // What each column holds: a part of the name, the numbers of a telephone column, or the type of a
    // pair of Google's.
    struct TRole {
        enum { None, Name, Phone, GoogleType } Kind = None;
        int Index = 0;
    };
    struct TPhoneColumn {
        const TPhoneTitle* Title = nullptr; // null for a Google value column
        int Pair = -1;                      // Google's N
    };
    std::vector<TRole> roles;
    std::vector<TPhoneColumn> phones;
    std::vector<int> googlePairs; // the N of each Google type column, by its index
    std::array<bool, NameColumns> haveName{};
    // The fields of the record being read, in buffers that are used again for every record.
    std::array<std::string, NameColumns> names;
    std::vector<std::string> phoneValues, googleTypes;
    bool haveHeader = false, blank = true, google = false;
    TContact contact;
    std::vector<TFoundNumber> numbers;

    auto onField = [&](int column, QByteArrayView field) {
        const bool blankField = IsBlank(field);
        blank = blank && blankField;
        if (!haveHeader) {
            if (blankField)
                return;
            const QString key = ColumnKey(decoded(field));
            TRole role;
            for (const TNameTitle& title : NameTitles)
                if (role.Kind == TRole::None && !haveName[title.Column] && key == QStringView(title.Title)) {
                    role = {TRole::Name, title.Column};
                    haveName[title.Column] = true;
                }
            for (const TPhoneTitle& title : PhoneTitles)
                if (role.Kind == TRole::None && key == QStringView(title.Title)) {
                    role = {TRole::Phone, int(phones.size())};
                    phones.push_back({&title});
                }
            if (const TGoogleColumn pair = GoogleColumn(key); role.Kind == TRole::None && pair.Pair >= 0) {
                google = true;
                if (pair.Value) {
                    role = {TRole::Phone, int(phones.size())};
                    phones.push_back({nullptr, pair.Pair});
                } else {
                    role = {TRole::GoogleType, int(googlePairs.size())};
                    googlePairs.push_back(pair.Pair);
                }
            }
            if (role.Kind == TRole::None && notes && LooksLikePhone(key))
                notes->UnreadColumns.push_back(TidyText(decoded(field)).toStdString());
            if (roles.size() <= size_t(column))
                roles.resize(size_t(column) + 1);
            roles[size_t(column)] = role;
            return;
        }
        if (size_t(column) >= roles.size())
            return;
        const TRole role = roles[size_t(column)];
        if (role.Kind == TRole::Name)
            names[size_t(role.Index)].assign(field.data(), size_t(field.size()));
        else if (role.Kind == TRole::Phone)
            phoneValues[size_t(role.Index)].assign(field.data(), size_t(field.size()));
        else if (role.Kind == TRole::GoogleType)
            googleTypes[size_t(role.Index)].assign(field.data(), size_t(field.size()));
    };
    auto setName = [&] {
        const bool plain = !utf8 || std::all_of(names.begin(), names.end(),
                                                [](const std::string& v) { return IsAscii(ViewOf(v)); });
        if (plain) {
            contact.FullName = Tidy(names[ColName]);
            if (contact.FullName.empty())
                contact.FullName = Tidy(names[ColFullName]);
            if (contact.FullName.empty())
                contact.FullName =
                    Joined({Tidy(names[ColFirstName]), Tidy(names[ColMiddleName]), Tidy(names[ColLastName])});
            contact.UnicodeName.clear();
            return;
        }
        auto part = [&](TNameColumn k) { return TidyText(FromUtf8(ViewOf(names[k]))); };
        QString name = part(ColName);
        if (name.isEmpty())
            name = part(ColFullName);
        if (name.isEmpty())
            name = JoinedWords({part(ColFirstName), part(ColMiddleName), part(ColLastName)});
        SetContactName(contact, name);
    };
    // The type Google's export gives the numbers of pair N.
    auto googleType = [&](int pair) {
        for (size_t k = 0; k < googlePairs.size(); ++k)
            if (googlePairs[k] == pair)
                return decoded(ViewOf(googleTypes[k]));
        return QString();
    };
    auto setNumbers = [&] {
        numbers.clear();
        for (size_t k = 0; k < phones.size(); ++k) {
            const std::string& raw = phoneValues[k];
            if (phones[k].Title) {
                if (std::string number = value(raw); !number.empty())
                    numbers.push_back(ColumnNumber(std::move(number), *phones[k].Title));
                continue;
            }
            const QString type = googleType(phones[k].Pair);
            for (const QString& part : decoded(ViewOf(raw)).split(QStringLiteral(":::")))
                if (std::string number = Tidy(AnsiOf(part)); !number.empty())
                    numbers.push_back(GoogleNumber(std::move(number), type));
        }
        contact.Business.clear();
        contact.Home.clear();
        contact.Primary.clear();
        contact.Mobile.clear();
        contact.Others.clear();
        contact.Extensions = 0;
        // Outlook's four columns give an entry each, as its four telephone properties do.
        AssignNumbers(contact, numbers, google);
    };
    auto onRecordEnd = [&] {
        if (blank) {
            // nothing in it
        } else if (!haveHeader) {
            haveHeader = true;
            if (phones.empty())
                throw EContactsFileError(NoTelephoneColumns);
            phoneValues.resize(phones.size());
            googleTypes.resize(googlePairs.size());
        } else {
            setName();
            setNumbers();
            onContact(contact);
        }
        for (std::string& field : names)
            field.clear();
        for (std::string& field : phoneValues)
            field.clear();
        for (std::string& field : googleTypes)
            field.clear();
        blank = true;
    };
    ScanCsv(data, Separator(data), onField, onRecordEnd);
    if (!haveHeader)
        throw EContactsFileError(NoTelephoneColumns);
}

std::vector<TContact> ParseOutlookCsv(const QByteArray& data) {
    return CollectedContacts([&data](const TContactSink& sink) { ParseOutlookCsv(data, sink, nullptr); });
}
