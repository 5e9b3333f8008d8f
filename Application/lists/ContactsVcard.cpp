#include "lists/ContactsVcard.h"

#include "link/NumberConverting.h"
#include "lists/ContactNumbers.h"
#include "lists/ContactsText.h"
#include "platform/AnsiText.h"

#include <QByteArrayList>
#include <QStringDecoder>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

bool SameText(QByteArrayView text, const char* word) {
    const auto length = qsizetype(std::strlen(word));
    return text.size() == length && qstrnicmp(text.data(), word, size_t(length)) == 0;
}

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

// The line without its group: "home.BEGIN:VCARD" is "BEGIN:VCARD". A group is letters, digits and "-"
// before a ".", and may stand before any property.
QByteArrayView WithoutGroup(QByteArrayView line) {
    for (qsizetype i = 0; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c == '.')
            return i > 0 ? line.sliced(i + 1) : line;
        if (!std::isalnum(c) && c != '-')
            return line;
    }
    return line;
}

bool IsCardBoundary(QByteArrayView line) {
    line = WithoutGroup(line.trimmed());
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

struct TCard {
    bool Utf8 = false;                  // VERSION 3.0 or 4.0
    bool MarkedFile = false;            // a file with a byte order mark (UTF-8, or UTF-16 made UTF-8)
    std::vector<TProperty> Properties;  // FN, N and TEL
    std::vector<TContactNumber> Nested; // the numbers of the cards nested in it
};

// The value as text: transfer encoding undone, then the CHARSET when it names one Qt knows, else UTF-8
// (cards of 3.0 and 4.0), else UTF-8 when the bytes are valid UTF-8 and Windows-1252 when not. In a file
// with a byte order mark a value without transfer encoding is in the file's encoding (when it is valid
// UTF-8), whatever its CHARSET says.
QString DecodeValue(const TProperty& property, const TCard& card) {
    QByteArray bytes = property.Value;
    bool encoded = true;
    if (property.Encoding == "quoted-printable")
        bytes = DecodeQuotedPrintable(bytes);
    else if (property.Encoding == "b" || property.Encoding == "base64")
        bytes = QByteArray::fromBase64(bytes);
    else
        encoded = false;
    if (card.MarkedFile && !encoded && IsUtf8(bytes))
        return FromUtf8(bytes);
    if (!property.Charset.isEmpty()) {
        QStringDecoder decoder(property.Charset.constData());
        if (decoder.isValid())
            return decoder.decode(bytes);
    }
    if (card.Utf8 || IsUtf8(bytes))
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

// N is "Family;Given;Additional;Prefix;Suffix", each perhaps a comma list; shown as one would say it.
QString NameFromN(const QString& value) {
    const QList<QStringView> parts = SplitUnescaped(value, u';');
    auto part = [&parts](int k) {
        QStringList words;
        if (k < parts.size())
            for (const QStringView word : SplitUnescaped(parts[k], u','))
                words.append(TidyText(Unescape(word)));
        return JoinedWords(words);
    };
    return JoinedWords({part(3), part(1), part(2), part(0), part(4)});
}

std::string TelNumber(const TProperty& property, const TCard& card, bool* extension) {
    const QString value = DecodeValue(property, card).trimmed();
    *extension = false;
    if (value.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
        return Tidy(TelUriNumber(AnsiOf(value.mid(4)), extension));
    return Tidy(WrittenExtension(AnsiOf(Unescape(value)), extension));
}

// Types that say nothing of whom the number reaches.
bool IsPlainType(const QByteArray& type) {
    return type == "voice" || type == "pref" || type == "msg" || type == "text" || type == "internet" ||
           type == "video";
}

TFoundNumber FoundNumber(const TProperty& p, std::string number, bool extension) {
    TFoundNumber found;
    found.Number = std::move(number);
    found.Extension = extension;
    bool fax = false, pager = false;
    for (const QByteArray& type : p.Types) {
        fax = fax || type.endsWith("fax"); // also "homefax", "workfax"
        pager = pager || type == "pager";
    }
    found.Mobile = p.Has("cell") || p.Has("mobile") || p.Has("iphone");
    found.NotVoice = (fax || pager) && !p.Has("voice") && !found.Mobile;
    found.Work = p.Has("work");
    found.Home = p.Has("home");
    found.Pref = p.Pref || p.Has("pref") || p.Has("main");
    found.Untyped = !found.Pref && !found.Work && !found.Home && !found.Mobile;
    if (found.NotVoice)
        found.Type = fax ? "fax" : "pager";
    else if (found.Mobile)
        found.Type = "mobile";
    else if (found.Work)
        found.Type = "work";
    else if (found.Home)
        found.Type = "home";
    for (const QByteArray& type : p.Types)
        if (found.Type.empty() && !IsPlainType(type))
            found.Type = (type.startsWith("x-") ? type.sliced(2) : type).toStdString();
    if (found.Type.empty())
        found.Type = found.Pref ? "primary" : "other";
    return found;
}

std::vector<TFoundNumber> CardNumbers(const TCard& card) {
    std::vector<TFoundNumber> numbers;
    for (const TProperty& p : card.Properties) {
        if (p.Name != "TEL")
            continue;
        bool extension = false;
        if (std::string number = TelNumber(p, card, &extension); !number.empty())
            numbers.push_back(FoundNumber(p, std::move(number), extension));
    }
    return numbers;
}

TContact ContactFromCard(const TCard& card) {
    TContact contact;
    for (const TProperty& p : card.Properties)
        if (contact.FullName.empty() && p.Name == "FN")
            SetContactName(contact, Unescape(DecodeValue(p, card)));
    for (const TProperty& p : card.Properties)
        if (contact.FullName.empty() && p.Name == "N")
            SetContactName(contact, NameFromN(DecodeValue(p, card)));
    AssignNumbers(contact, CardNumbers(card), true);
    contact.Others.insert(contact.Others.end(), card.Nested.begin(), card.Nested.end());
    return contact;
}

// The card's numbers, and those of the cards nested in it, as numbers of the card it is nested in.
void Nest(const TCard& inner, TCard& outer) {
    for (const TFoundNumber& n : CardNumbers(inner))
        outer.Nested.push_back({n.Number, n.Type, TNumberLeftOut::Nested, n.Extension});
    for (TContactNumber n : inner.Nested)
        outer.Nested.push_back(std::move(n));
}

void CheckSize(const QByteArray& data) {
    if (data.size() > MaxContactsFileSize)
        throw EContactsFileError("file too large");
}

} // namespace

void ParseVCards(const QByteArray& input, const TContactSink& onContact) {
    CheckSize(input);
    const QByteArray text = Utf16AsUtf8(input);
    const QByteArrayView data = WithoutUtf8Mark(text);
    if (data.isEmpty())
        throw EContactsFileError("empty file");
    const bool marked = data.size() != text.size();

    // A card begun inside another is nested in it when it is an AGENT's value, or when the outer card
    // goes on after it and ends; when the outer card never ends, the cards that ended inside it are
    // contacts of their own that followed a card without END.
    struct TOpenCard {
        TCard Card;
        bool Agent = false;
        std::vector<std::pair<TCard, bool>> Ended; // the cards ended inside it, each with its Agent
    };
    std::vector<TOpenCard> open;
    bool found = false, afterAgent = false;
    auto handOver = [&onContact](const TCard& card) {
        TContact contact = ContactFromCard(card);
        onContact(contact);
    };
    auto begin = [&](bool agent) {
        found = true;
        TOpenCard card;
        card.Card.MarkedFile = marked;
        card.Agent = agent && !open.empty();
        open.push_back(std::move(card));
        afterAgent = false;
    };
    auto end = [&] {
        if (open.empty())
            return;
        TOpenCard closed = std::move(open.back());
        open.pop_back();
        for (const auto& [inner, agent] : closed.Ended)
            Nest(inner, closed.Card);
        if (open.empty())
            handOver(closed.Card);
        else
            open.back().Ended.emplace_back(std::move(closed.Card), closed.Agent);
    };

    ForEachUnfoldedLine(data, [&](const QByteArray& line, qsizetype colon) {
        if (colon < 0)
            return;
        TProperty property = ParseHead(QByteArrayView(line).first(colon));
        const QByteArrayView value = QByteArrayView(line).sliced(colon + 1).trimmed();
        if (property.Name == "BEGIN" && SameText(value, "VCARD"))
            return begin(afterAgent);
        if (property.Name == "END" && SameText(value, "VCARD"))
            return end();
        if (open.empty())
            return;
        TCard& card = open.back().Card;
        afterAgent = property.Name == "AGENT";
        if (afterAgent && SameText(value, "BEGIN:VCARD")) {
            begin(true);
        } else if (property.Name == "VERSION") {
            card.Utf8 = value == "3.0" || value == "4.0";
        } else if (property.Name == "FN" || property.Name == "N" || property.Name == "TEL") {
            property.Value = line.sliced(colon + 1);
            card.Properties.push_back(std::move(property));
        }
    });
    // Cards without END: an agent's card is its holder's still, with every card ended inside it; the
    // others are contacts, in file order, each followed by the cards that ended inside it.
    std::vector<bool> folded(open.size(), false);
    for (size_t i = open.size(); i-- > 1;) {
        if (!open[i].Agent)
            continue;
        for (const auto& [inner, agent] : open[i].Ended)
            Nest(inner, open[i].Card);
        Nest(open[i].Card, open[i - 1].Card);
        folded[i] = true;
    }
    for (size_t i = 0; i < open.size(); ++i) {
        if (folded[i])
            continue;
        for (const auto& [inner, agent] : open[i].Ended)
            if (agent)
                Nest(inner, open[i].Card);
        handOver(open[i].Card);
        for (const auto& [inner, agent] : open[i].Ended)
            if (!agent)
                handOver(inner);
    }
    if (!found)
        throw EContactsFileError("no vCard in the file");
}

std::vector<TContact> ParseVCards(const QByteArray& data) {
    return CollectedContacts([&data](const TContactSink& sink) { ParseVCards(data, sink); });
}

bool StartsAsVCard(QByteArrayView data) {
    data = WithoutUtf8Mark(data);
    qsizetype i = 0;
    while (i < data.size() && IsBlank(data[i]))
        ++i;
    qsizetype end = i;
    while (end < data.size() && data[end] != '\n' && data[end] != '\r')
        ++end;
    return SameText(WithoutGroup(data.sliced(i, end - i).trimmed()), "BEGIN:VCARD");
}
