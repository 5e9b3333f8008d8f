#include "lists/ContactsCsv.h"

#include "lists/ContactsText.h"
#include "platform/AnsiText.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

namespace {

enum TColumn {
    ColName,
    ColFullName,
    ColFirstName,
    ColMiddleName,
    ColLastName,
    ColBusiness,
    ColHome,
    ColPrimary,
    ColMobile,
    ColumnKinds
};

struct TColumnTitle {
    const char16_t* Title; // as ColumnKey makes it
    TColumn Column;
};

// The columns as the English, German and French Outlook exports name them; the first column of a kind
// counts. (The French "Nom" is the family name, the English "Name" the whole one.)
constexpr TColumnTitle ColumnTitles[] = {
    {u"name", ColName},
    {u"full name", ColFullName},
    {u"first name", ColFirstName},
    {u"middle name", ColMiddleName},
    {u"last name", ColLastName},
    {u"business phone", ColBusiness},
    {u"home phone", ColHome},
    {u"primary phone", ColPrimary},
    {u"mobile phone", ColMobile},
    // German
    {u"vorname", ColFirstName},
    {u"weitere vornamen", ColMiddleName},
    {u"nachname", ColLastName},
    {u"telefon gesch\u00e4ftlich", ColBusiness},
    {u"telefon privat", ColHome},
    {u"haupttelefon", ColPrimary},
    {u"mobiltelefon", ColMobile},
    // French
    {u"pr\u00e9nom", ColFirstName},
    {u"deuxi\u00e8me pr\u00e9nom", ColMiddleName},
    {u"nom", ColLastName},
    {u"t\u00e9l\u00e9phone bureau", ColBusiness},
    {u"t\u00e9l\u00e9phone domicile", ColHome},
    {u"t\u00e9l\u00e9phone principal", ColPrimary},
    {u"t\u00e9l. mobile", ColMobile},
};

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

void ParseOutlookCsv(const QByteArray& input, const TContactSink& onContact) {
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

    std::array<int, ColumnKinds> columnOf;
    columnOf.fill(-1);
    // The fields of the record being read, in buffers that are used again for every record.
    std::array<std::string, ColumnKinds> values;
    bool haveHeader = false, blank = true;
    TContact contact;

    auto onField = [&](int column, QByteArrayView field) {
        const bool blankField = IsBlank(field);
        blank = blank && blankField;
        if (!haveHeader) {
            if (blankField)
                return;
            const QString key = ColumnKey(decoded(field));
            for (const TColumnTitle& title : ColumnTitles)
                if (columnOf[title.Column] < 0 && key == QStringView(title.Title))
                    columnOf[title.Column] = column;
            return;
        }
        for (int k = 0; k < ColumnKinds; ++k)
            if (columnOf[k] == column)
                values[k].assign(field.data(), size_t(field.size()));
    };
    auto setName = [&] {
        const bool plain = !utf8 || std::all_of(values.begin(), values.begin() + ColBusiness,
                                                [](const std::string& v) { return IsAscii(ViewOf(v)); });
        if (plain) {
            contact.FullName = Tidy(values[ColName]);
            if (contact.FullName.empty())
                contact.FullName = Tidy(values[ColFullName]);
            if (contact.FullName.empty())
                contact.FullName = Joined(
                    {Tidy(values[ColFirstName]), Tidy(values[ColMiddleName]), Tidy(values[ColLastName])});
            contact.UnicodeName.clear();
            return;
        }
        auto part = [&](TColumn k) { return TidyText(FromUtf8(ViewOf(values[k]))); };
        QString name = part(ColName);
        if (name.isEmpty())
            name = part(ColFullName);
        if (name.isEmpty())
            name = JoinedWords({part(ColFirstName), part(ColMiddleName), part(ColLastName)});
        SetContactName(contact, name);
    };
    auto onRecordEnd = [&] {
        if (blank) {
            // nothing in it
        } else if (!haveHeader) {
            haveHeader = true;
            if (columnOf[ColBusiness] < 0 && columnOf[ColHome] < 0 && columnOf[ColPrimary] < 0 &&
                columnOf[ColMobile] < 0)
                throw EContactsFileError(NoTelephoneColumns);
        } else {
            setName();
            contact.Business = value(values[ColBusiness]);
            contact.Home = value(values[ColHome]);
            contact.Primary = value(values[ColPrimary]);
            contact.Mobile = value(values[ColMobile]);
            onContact(contact);
        }
        for (std::string& field : values)
            field.clear();
        blank = true;
    };
    ScanCsv(data, Separator(data), onField, onRecordEnd);
    if (!haveHeader)
        throw EContactsFileError(NoTelephoneColumns);
}

std::vector<TContact> ParseOutlookCsv(const QByteArray& data) {
    return CollectedContacts([&data](const TContactSink& sink) { ParseOutlookCsv(data, sink); });
}
