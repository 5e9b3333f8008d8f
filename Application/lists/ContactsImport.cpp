#include "lists/ContactsImport.h"

#include "link/NumberConverting.h"
#include "lists/PP5Phonebook.h"
#include "platform/AnsiText.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/TextFormat.h"

#include <QByteArrayList>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace {

// ---- Bytes and texts -------------------------------------------------------------------------------

QByteArrayView WithoutBom(QByteArrayView data) {
    return data.startsWith(QByteArrayView("\xEF\xBB\xBF")) ? data.sliced(3) : data;
}

void CheckSize(const QByteArray& data) {
    if (data.size() > MaxContactsFileSize)
        throw EContactsFileError("file too large");
}

// Blanks as far as names and numbers are concerned: controls, line breaks, space, DEL, no-break space.
bool IsBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7F || u == 0xA0;
}

bool IsBlank(QByteArrayView bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return IsBlank(c); });
}

// Trims the single-byte text and makes every run of blanks inside it one space.
std::string Tidy(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    bool gap = false;
    for (const char c : text) {
        if (IsBlank(c)) {
            gap = !result.empty();
            continue;
        }
        if (gap)
            result += ' ';
        gap = false;
        result += c;
    }
    return result;
}

std::string AsciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

bool SameText(QByteArrayView text, const char* word) {
    const auto length = qsizetype(std::strlen(word));
    return text.size() == length && qstrnicmp(text.data(), word, size_t(length)) == 0;
}

bool IsAscii(QByteArrayView bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Strict: no overlong forms, no surrogates, nothing above U+10FFFF, no sequence cut off at the end.
bool IsUtf8(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    while (p < end) {
        const unsigned lead = *p++;
        if (lead < 0x80)
            continue;
        int more = 0;
        unsigned code = 0, least = 0;
        if ((lead & 0xE0) == 0xC0) {
            more = 1, code = lead & 0x1F, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            more = 2, code = lead & 0x0F, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            more = 3, code = lead & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (end - p < more)
            return false;
        for (int i = 0; i < more; ++i, ++p) {
            if ((*p & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (*p & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
    }
    return true;
}

// ToAnsi, with "?" for each character the code page lacks (a surrogate pair being one character).
std::string AnsiOf(const QString& text) {
    static const std::vector<bool> inCodePage = [] {
        std::vector<bool> known(0x10000);
        std::string all(256, '\0');
        for (int i = 0; i < 256; ++i)
            all[size_t(i)] = char(i);
        for (const QChar c : FromAnsi(all))
            known[c.unicode()] = true;
        return known;
    }();
    qsizetype i = 0;
    while (i < text.size() && inCodePage[text[i].unicode()])
        ++i;
    if (i == text.size())
        return ToAnsi(text);
    QString kept = text.first(i);
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inCodePage[c.unicode()]) {
            kept += c;
        } else {
            kept += u'?';
            if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                ++i;
        }
    }
    return ToAnsi(kept);
}

QString FromUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    return decoder.decode(bytes);
}

std::string_view AsStringView(QByteArrayView bytes) {
    return {bytes.data(), size_t(bytes.size())};
}

// ---- Outlook CSV -----------------------------------------------------------------------------------

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

const std::array<const char*, ColumnKinds> ColumnTitles = {"name",        "full name",     "first name",
                                                           "middle name", "last name",     "business phone",
                                                           "home phone",  "primary phone", "mobile phone"};

// "," unless the header record has no comma outside quotes but a semicolon.
char Separator(QByteArrayView data) {
    bool quoted = false, started = false, semicolon = false;
    for (const char c : data) {
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted) {
            if (c == ',')
                return ',';
            if (c == ';')
                semicolon = true;
            if ((c == '\n' || c == '\r') && started)
                break;
        }
        started = started || !IsBlank(c);
    }
    return semicolon ? ';' : ',';
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
            while (j < n && (d[j] == ' ' || d[j] == '\t'))
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

// ---- vCard -----------------------------------------------------------------------------------------

struct TProperty {
    QByteArray Name;      // upper case, without its group
    QByteArrayList Types; // lower case, from TYPE= and from 2.1's bare parameters
    bool Pref = false;    // PREF=1
    QByteArray Encoding;  // lower case
    QByteArray Charset;
    QByteArray Value;

    bool Has(const char* type) const { return Types.contains(QByteArray(type)); }
};

QList<QByteArrayView> SplitOutsideQuotes(QByteArrayView text, char separator) {
    QList<QByteArrayView> parts;
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (text[i] == separator && !quoted) {
            parts.append(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    parts.append(text.sliced(start));
    return parts;
}

QByteArrayView Unquoted(QByteArrayView value) {
    value = value.trimmed();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.sliced(1, value.size() - 2);
    return value;
}

void AddParameter(TProperty& property, QByteArrayView parameter) {
    parameter = parameter.trimmed();
    if (parameter.isEmpty())
        return;
    const qsizetype equals = parameter.indexOf('=');
    if (equals < 0) {
        const QByteArray bare = parameter.toByteArray().toLower();
        if (bare == "quoted-printable" || bare == "base64" || bare == "8bit" || bare == "7bit")
            property.Encoding = bare;
        else
            property.Types.append(bare);
        return;
    }
    const QByteArrayView key = parameter.first(equals).trimmed();
    const QByteArrayView value = Unquoted(parameter.sliced(equals + 1));
    if (SameText(key, "TYPE")) {
        for (const QByteArrayView type : SplitOutsideQuotes(value, ','))
            if (const QByteArrayView t = Unquoted(type); !t.isEmpty())
                property.Types.append(t.toByteArray().toLower());
    } else if (SameText(key, "PREF")) {
        property.Pref = property.Pref || value == "1";
    } else if (SameText(key, "ENCODING")) {
        property.Encoding = value.toByteArray().toLower();
    } else if (SameText(key, "CHARSET")) {
        property.Charset = value.toByteArray();
    }
}

// Name and parameters: what comes before the colon.
TProperty ParseHead(QByteArrayView head) {
    TProperty property;
    const QList<QByteArrayView> parts = SplitOutsideQuotes(head, ';');
    QByteArrayView name = parts.front().trimmed();
    name = name.sliced(name.lastIndexOf('.') + 1);
    property.Name = name.toByteArray().toUpper();
    for (qsizetype i = 1; i < parts.size(); ++i)
        AddParameter(property, parts[i]);
    return property;
}

bool IsCardBoundary(QByteArrayView line) {
    line = line.trimmed();
    return SameText(line, "BEGIN:VCARD") || SameText(line, "END:VCARD");
}

// Joins folded lines (a line break followed by one space or tab) and quoted-printable soft line breaks
// (a value ending in "="), handing over each whole line with the position of the colon after its name
// and parameters (-1 when it has none). Linear: the colon is looked for once over each line.
template <class LineFn> void ForEachUnfoldedLine(QByteArrayView data, LineFn onLine) {
    QByteArray line;
    bool have = false, quoted = false, quotedPrintable = false;
    qsizetype colon = -1, scanned = 0;
    auto findColon = [&] {
        for (; colon < 0 && scanned < line.size(); ++scanned) {
            if (line[scanned] == '"') {
                quoted = !quoted;
            } else if (line[scanned] == ':' && !quoted) {
                colon = scanned;
                quotedPrintable = ParseHead(QByteArrayView(line).first(colon)).Encoding == "quoted-printable";
            }
        }
    };
    auto flush = [&] {
        if (have)
            onLine(line, colon);
        line.clear();
        have = quoted = quotedPrintable = false;
        colon = -1;
        scanned = 0;
    };

    const char* const d = data.data();
    const qsizetype n = data.size();
    for (qsizetype i = 0; i < n;) {
        qsizetype end = i;
        while (end < n && d[end] != '\n' && d[end] != '\r')
            ++end;
        const QByteArrayView physical(d + i, end - i);
        i = end;
        if (i < n && d[i] == '\r')
            ++i;
        if (i < n && d[i] == '\n')
            ++i;

        if (have && quotedPrintable && line.size() > colon + 1 && line.endsWith('=') &&
            !IsCardBoundary(physical)) {
            line.chop(1);
            line.append(physical);
        } else if (have && !physical.isEmpty() && (physical.front() == ' ' || physical.front() == '\t')) {
            line.append(physical.sliced(1));
            findColon();
        } else {
            flush();
            line = physical.toByteArray();
            have = true;
            findColon();
        }
    }
    flush();
}

// "=XX" is a byte; an "=" that starts no such pair stays, except a last one (a soft break at the end).
QByteArray DecodeQuotedPrintable(QByteArrayView value) {
    QByteArray result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '=') {
            if (i + 1 == value.size())
                break;
            const int high = i + 2 < value.size() ? HexDigitValue(value[i + 1]) : -1;
            const int low = high >= 0 ? HexDigitValue(value[i + 2]) : -1;
            if (low >= 0) {
                result.append(char(high * 16 + low));
                i += 2;
                continue;
            }
        }
        result.append(value[i]);
    }
    return result;
}

// The value as text: transfer encoding undone, then the CHARSET when it names one Qt knows, else UTF-8
// (cards of 3.0 and 4.0), else UTF-8 when the bytes are valid UTF-8 and Windows-1252 when not.
QString DecodeValue(const TProperty& property, bool utf8Card) {
    QByteArray bytes = property.Value;
    if (property.Encoding == "quoted-printable")
        bytes = DecodeQuotedPrintable(bytes);
    else if (property.Encoding == "b" || property.Encoding == "base64")
        bytes = QByteArray::fromBase64(bytes);
    if (!property.Charset.isEmpty()) {
        QStringDecoder decoder(property.Charset.constData());
        if (decoder.isValid())
            return decoder.decode(bytes);
    }
    if (utf8Card || IsUtf8(bytes))
        return FromUtf8(bytes);
    return FromAnsi(bytes.toStdString());
}

// "\n" and "\N" are a space (a name is one line), "\,", "\;" and "\\" the character; others stay as read.
QString Unescape(QStringView text) {
    if (!text.contains(u'\\'))
        return text.toString();
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            const QChar next = text[i + 1];
            if (next == u'n' || next == u'N' || next == u',' || next == u';' || next == u'\\') {
                result += next == u'n' || next == u'N' ? QChar(u' ') : next;
                ++i;
                continue;
            }
        }
        result += text[i];
    }
    return result;
}

// Splits at separators that are not escaped; the parts keep their escapes.
QList<QStringView> SplitUnescaped(QStringView text, QChar separator) {
    QList<QStringView> parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\')
            ++i;
        else if (text[i] == separator) {
            parts.append(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    parts.append(text.sliced(std::min(start, text.size())));
    return parts;
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

// N is "Family;Given;Additional;Prefix;Suffix", each perhaps a comma list; shown as one would say it.
std::string NameFromN(const QString& value) {
    const QList<QStringView> parts = SplitUnescaped(value, u';');
    auto part = [&parts](int k) {
        std::vector<std::string> words;
        if (k < parts.size())
            for (const QStringView word : SplitUnescaped(parts[k], u','))
                words.push_back(Tidy(AnsiOf(Unescape(word))));
        return Joined(words);
    };
    return Joined({part(3), part(1), part(2), part(0), part(4)});
}

std::string TelNumber(const TProperty& property, bool utf8Card) {
    QString value = DecodeValue(property, utf8Card).trimmed();
    if (value.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive)) {
        value = value.mid(4);
        value.truncate(value.indexOf(u';') < 0 ? value.size() : value.indexOf(u';'));
        // In a tel: URI "-", "." and brackets only separate digit groups; a pause would be "p".
        value.remove(QRegularExpression(QStringLiteral("[-.()]")));
    } else {
        value = Unescape(value);
    }
    return Tidy(AnsiOf(value));
}

struct TCard {
    bool Utf8 = false;                 // VERSION 3.0 or 4.0
    std::vector<TProperty> Properties; // FN, N and TEL
};

TContact ContactFromCard(const TCard& card) {
    TContact contact;
    for (const TProperty& p : card.Properties)
        if (contact.FullName.empty() && p.Name == "FN")
            contact.FullName = Tidy(AnsiOf(Unescape(DecodeValue(p, card.Utf8))));
    for (const TProperty& p : card.Properties)
        if (contact.FullName.empty() && p.Name == "N")
            contact.FullName = NameFromN(DecodeValue(p, card.Utf8));

    struct TTel {
        std::string Number;
        const TProperty* Property;
    };
    std::vector<TTel> tels;
    for (const TProperty& p : card.Properties) {
        if (p.Name != "TEL" || p.Has("fax") || p.Has("pager"))
            continue;
        if (std::string number = TelNumber(p, card.Utf8); !number.empty())
            tels.push_back({number, &p});
    }

    std::vector<std::string> taken; // as the phone book would keep them
    auto take = [&taken](std::string& field, const std::string& number) {
        const std::string kept = NormaliseNumber(number);
        if (!field.empty() || std::find(taken.begin(), taken.end(), kept) != taken.end())
            return;
        field = number;
        taken.push_back(kept);
    };
    for (const TTel& tel : tels) {
        if (tel.Property->Has("work"))
            take(contact.Business, tel.Number);
        if (tel.Property->Has("home"))
            take(contact.Home, tel.Number);
        if (tel.Property->Has("cell"))
            take(contact.Mobile, tel.Number);
    }
    for (const TTel& tel : tels)
        if (tel.Property->Pref || tel.Property->Has("pref"))
            take(contact.Primary, tel.Number);
    for (const TTel& tel : tels) {
        const TProperty& p = *tel.Property;
        if (!p.Pref && !p.Has("pref") && !p.Has("work") && !p.Has("home") && !p.Has("cell"))
            take(contact.Primary, tel.Number);
    }
    return contact;
}

bool StartsAsVCard(QByteArrayView data) {
    data = WithoutBom(data);
    qsizetype i = 0;
    while (i < data.size() && IsBlank(data[i]))
        ++i;
    qsizetype end = i;
    while (end < data.size() && data[end] != '\n' && data[end] != '\r')
        ++end;
    return SameText(data.sliced(i, end - i).trimmed(), "BEGIN:VCARD");
}

} // namespace

void ParseOutlookCsv(const QByteArray& input, const TContactSink& onContact) {
    CheckSize(input);
    const QByteArrayView data = WithoutBom(input);
    if (data.isEmpty())
        throw EContactsFileError("empty file");
    const bool utf8 = data.size() != input.size() || IsUtf8(data);
    auto text = [utf8](std::string_view raw) {
        const QByteArrayView bytes(raw.data(), qsizetype(raw.size()));
        return utf8 && !IsAscii(bytes) ? Tidy(AnsiOf(FromUtf8(bytes))) : Tidy(raw);
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
            const std::string title = AsciiLower(text(AsStringView(field)));
            for (int k = 0; k < ColumnKinds; ++k)
                if (columnOf[k] < 0 && title == ColumnTitles[k])
                    columnOf[k] = column;
            return;
        }
        for (int k = 0; k < ColumnKinds; ++k)
            if (columnOf[k] == column)
                values[k].assign(field.data(), size_t(field.size()));
    };
    auto onRecordEnd = [&] {
        if (blank) {
            // nothing in it
        } else if (!haveHeader) {
            haveHeader = true;
            if (columnOf[ColBusiness] < 0 && columnOf[ColHome] < 0 && columnOf[ColPrimary] < 0 &&
                columnOf[ColMobile] < 0)
                throw EContactsFileError("no telephone columns");
        } else {
            contact.FullName = text(values[ColName]);
            if (contact.FullName.empty())
                contact.FullName = text(values[ColFullName]);
            if (contact.FullName.empty())
                contact.FullName = Joined(
                    {text(values[ColFirstName]), text(values[ColMiddleName]), text(values[ColLastName])});
            contact.Business = text(values[ColBusiness]);
            contact.Home = text(values[ColHome]);
            contact.Primary = text(values[ColPrimary]);
            contact.Mobile = text(values[ColMobile]);
            onContact(contact);
        }
        for (std::string& value : values)
            value.clear();
        blank = true;
    };
    ScanCsv(data, Separator(data), onField, onRecordEnd);
    if (!haveHeader)
        throw EContactsFileError("no telephone columns");
}

void ParseVCards(const QByteArray& input, const TContactSink& onContact) {
    CheckSize(input);
    const QByteArrayView data = WithoutBom(input);
    if (data.isEmpty())
        throw EContactsFileError("empty file");

    TCard card;
    int depth = 0; // 1 inside a card, more inside a card carried by its AGENT
    bool found = false, afterAgent = false;
    auto finish = [&] {
        TContact contact = ContactFromCard(card);
        onContact(contact);
        card = {};
        depth = 0;
    };

    ForEachUnfoldedLine(data, [&](const QByteArray& line, qsizetype colon) {
        if (colon < 0)
            return;
        TProperty property = ParseHead(QByteArrayView(line).first(colon));
        const QByteArrayView value = QByteArrayView(line).sliced(colon + 1).trimmed();
        if (property.Name == "BEGIN" && SameText(value, "VCARD")) {
            found = true;
            if (depth > 1 || (depth == 1 && afterAgent)) {
                ++depth;
            } else {
                if (depth == 1) // the card before had no END
                    finish();
                depth = 1;
            }
            afterAgent = false;
            return;
        }
        if (property.Name == "END" && SameText(value, "VCARD")) {
            if (depth == 1)
                finish();
            else if (depth > 1)
                --depth;
            return;
        }
        if (depth != 1)
            return;
        afterAgent = property.Name == "AGENT";
        if (afterAgent && SameText(value, "BEGIN:VCARD")) {
            depth = 2;
            afterAgent = false;
        } else if (property.Name == "VERSION") {
            card.Utf8 = value == "3.0" || value == "4.0";
        } else if (property.Name == "FN" || property.Name == "N" || property.Name == "TEL") {
            property.Value = line.sliced(colon + 1);
            card.Properties.push_back(std::move(property));
        }
    });
    if (depth > 0)
        finish();
    if (!found)
        throw EContactsFileError("no vCard in the file");
}

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
    if (StartsAsVCard(data))
        ParseVCards(data, onContact);
    else
        ParseOutlookCsv(data, onContact);
}

namespace {

template <class Reader> std::vector<TContact> Collected(Reader read) {
    std::vector<TContact> contacts;
    read([&contacts](TContact& contact) { contacts.push_back(std::move(contact)); });
    return contacts;
}

bool IsDialSeparator(char c) {
    return c == ' ' || c == '\t' || c == '(' || c == ')' || c == '/' || c == '.' || c == '-';
}

// "(0)", blanks allowed inside, at position i: the trunk prefix an international number may show.
size_t TrunkZeroLength(const std::string& number, size_t i) {
    auto skipBlanks = [&number](size_t k) {
        while (k < number.size() && (number[k] == ' ' || number[k] == '\t'))
            ++k;
        return k;
    };
    if (number[i] != '(')
        return 0;
    size_t k = skipBlanks(i + 1);
    if (k == number.size() || number[k] != '0')
        return 0;
    k = skipBlanks(k + 1);
    return k < number.size() && number[k] == ')' ? k + 1 - i : 0;
}

} // namespace

std::vector<TContact> ReadContactsFile(const std::string& path) {
    return Collected([&path](const TContactSink& sink) { ReadContactsFile(path, sink); });
}

std::vector<TContact> ParseOutlookCsv(const QByteArray& data) {
    return Collected([&data](const TContactSink& sink) { ParseOutlookCsv(data, sink); });
}

std::vector<TContact> ParseVCards(const QByteArray& data) {
    return Collected([&data](const TContactSink& sink) { ParseVCards(data, sink); });
}

std::string MakeDialable(const std::string& number, const std::string& internationalPrefix) {
    if (IsStorableNumber(NormaliseNumber(number)))
        return number;
    size_t i = 0;
    while (i < number.size() && (number[i] == ' ' || number[i] == '\t'))
        ++i;
    const bool international = i < number.size() && number[i] == '+';
    std::string dialable;
    if (international) {
        dialable = internationalPrefix;
        ++i;
    }
    bool digits = false;
    for (; i < number.size(); ++i) {
        const char c = number[i];
        if (const size_t trunk = international ? TrunkZeroLength(number, i) : 0; trunk > 0) {
            i += trunk - 1;
        } else if (!IsDialSeparator(c)) {
            if (!StorableInNumber(c))
                return number;
            digits = digits || (c >= '0' && c <= '9');
            dialable += c;
        }
    }
    return digits && dialable.size() <= MaxNumberLength ? dialable : number;
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
            Taken.push_back({contact.FullName, *number});
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

std::vector<std::string> TContactsImport::Report(std::optional<int> madeDialable) const {
    std::vector<std::string> lines;
    if (madeDialable) {
        lines.push_back(FormatText(Texts::NumbersMadeDialable, *madeDialable));
        if (const std::vector<int> left = UnstorableEntries(); !left.empty())
            lines.push_back(FormatText(Texts::NumbersStillUnstorable, int(left.size()), left.front() + 1));
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
