#include "lists/ContactsText.h"

#include "platform/AnsiText.h"

#include <QStringDecoder>

#include <algorithm>
#include <bit>
#include <string_view>
#include <vector>

namespace {

constexpr QByteArrayView Utf8Mark("\xEF\xBB\xBF");
constexpr QByteArrayView Utf16LittleMark("\xFF\xFE");
constexpr QByteArrayView Utf16BigMark("\xFE\xFF");
// What is converted at a time: even, so that no UTF-16 unit is cut (the decoder would carry it anyway).
constexpr qsizetype Utf16Piece = qsizetype(1) << 20;
// How much of a file without a byte order mark is looked at to tell UTF-16 (an even number of bytes).
constexpr qsizetype Utf16Sample = 4096;

// Letters the code page lacks that no decomposition brings to one it has, and the letters they are
// written with where they are missing.
struct TNearest {
    char16_t Letter;
    const char16_t* Nearest;
};
constexpr TNearest NearestLetters[] = {
    {u'\u0110', u"D"},  {u'\u0111', u"d"},  // D with stroke (Croatian, Vietnamese)
    {u'\u0126', u"H"},  {u'\u0127', u"h"},  // H with stroke (Maltese)
    {u'\u0131', u"i"},  {u'\u0138', u"k"},  // dotless i (Turkish), kra
    {u'\u0141', u"L"},  {u'\u0142', u"l"},  // L with stroke (Polish)
    {u'\u0149', u"'n"}, {u'\u014A', u"N"},  // n preceded by apostrophe, eng
    {u'\u014B', u"n"},  {u'\u0166', u"T"},  // eng, T with stroke
    {u'\u0167', u"t"},  {u'\u1E9E', u"SS"}, // t with stroke, capital sharp s
    {u'\u02BB', u"'"},  {u'\u02BC', u"'"},  // okina, modifier apostrophe
    {u'\u2010', u"-"},  {u'\u2011', u"-"},  // hyphen, non-breaking hyphen
    {u'\u2012', u"-"},  {u'\u2212', u"-"},  // figure dash, minus sign
};

// Most accents tried in their combinations on one letter; a letter with more keeps none.
constexpr int MostMarksTried = 4;

const std::vector<bool>& CodePageTable() {
    static const std::vector<bool> table = [] {
        std::vector<bool> known(0x10000);
        std::string all(256, '\0');
        for (int i = 0; i < 256; ++i)
            all[size_t(i)] = char(i);
        for (const QChar c : FromAnsi(all))
            known[c.unicode()] = true;
        return known;
    }();
    return table;
}

bool AllInCodePage(QStringView text) {
    const std::vector<bool>& table = CodePageTable();
    return std::all_of(text.begin(), text.end(), [&table](QChar c) { return table[c.unicode()]; });
}

QString WithoutMarks(const QString& text) {
    QString kept;
    for (const char32_t c : text.toUcs4())
        if (!QChar::isMark(c))
            kept += QString::fromUcs4(&c, 1);
    return kept;
}

// The nearest the code page has to one character and the accents written on it (composed).
QString NearestInCodePage(const QString& cluster) {
    if (AllInCodePage(cluster))
        return cluster;
    const QList<uint> parts = cluster.normalized(QString::NormalizationForm_D).toUcs4();
    const auto base = char32_t(parts.front());
    const QList<uint> marks = parts.mid(1);
    if (InCodePage(base)) {
        // The accents the code page has on this letter, as many as it has: "u" with diaeresis and
        // acute keeps its diaeresis.
        const int count = marks.size() <= MostMarksTried ? int(marks.size()) : 0;
        QString best;
        int bestKept = -1;
        for (unsigned subset = 0; subset < (1u << count); ++subset) {
            const int kept = std::popcount(subset);
            if (kept <= bestKept)
                continue;
            QString candidate = QString::fromUcs4(&base, 1);
            for (int k = 0; k < count; ++k)
                if (subset & (1u << k)) {
                    const auto mark = char32_t(marks[k]);
                    candidate += QString::fromUcs4(&mark, 1);
                }
            candidate = candidate.normalized(QString::NormalizationForm_C);
            if (candidate.size() == 1 && AllInCodePage(candidate)) {
                best = candidate;
                bestKept = kept;
            }
        }
        return best;
    }
    for (const TNearest& nearest : NearestLetters)
        if (base == nearest.Letter)
            return QString::fromUtf16(nearest.Nearest);
    if (const QString plain = cluster.normalized(QString::NormalizationForm_KC); AllInCodePage(plain))
        return plain;
    if (const QString plain = WithoutMarks(cluster.normalized(QString::NormalizationForm_KD));
        !plain.isEmpty() && AllInCodePage(plain))
        return plain;
    return cluster;
}

} // namespace

// ---- Encodings -------------------------------------------------------------------------------------

const char* UnmarkedUtf16(QByteArrayView data) {
    if (data.startsWith(Utf16LittleMark) || data.startsWith(Utf16BigMark))
        return nullptr;
    const qsizetype units = std::min(data.size(), Utf16Sample) / 2;
    if (units < 2)
        return nullptr;
    qsizetype zeroHigh = 0, zeroLow = 0; // as little-endian units see them
    for (qsizetype i = 0; i < units; ++i) {
        zeroLow += data[2 * i] == '\0';
        zeroHigh += data[2 * i + 1] == '\0';
    }
    // Text in UTF-16 has a zero byte in most units (Latin letters, digits, separators), in the same half
    // of each; other data with zero bytes has them in both halves or in few units.
    auto most = [units](qsizetype count) { return count * 10 >= units * 4; };
    auto few = [units](qsizetype count) { return count * 20 <= units; };
    if (most(zeroHigh) && few(zeroLow))
        return "UTF-16LE";
    if (most(zeroLow) && few(zeroHigh))
        return "UTF-16BE";
    return nullptr;
}

QByteArray Utf16AsUtf8(const QByteArray& data) {
    const char* unmarked = UnmarkedUtf16(data);
    const bool little =
        unmarked ? unmarked == std::string_view("UTF-16LE") : data.startsWith(Utf16LittleMark);
    if (!unmarked && !little && !data.startsWith(Utf16BigMark))
        return data;
    QStringDecoder decoder(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
    QByteArray text = Utf8Mark.toByteArray();
    // Room for a text of Latin letters; others grow it.
    text.reserve(data.size() / 2 + Utf8Mark.size());
    const QByteArrayView units = QByteArrayView(data).sliced(unmarked ? 0 : Utf16LittleMark.size());
    QString piece;
    for (qsizetype at = 0; at < units.size(); at += Utf16Piece) {
        piece += decoder.decode(units.sliced(at, std::min(Utf16Piece, units.size() - at)));
        // A letter of two units that the piece cuts is converted whole with the next one.
        const bool cut = at + Utf16Piece < units.size() && !piece.isEmpty() && piece.back().isHighSurrogate();
        text += QStringView(piece).chopped(cut ? 1 : 0).toUtf8();
        piece = cut ? piece.last(1) : QString();
    }
    return text;
}

QByteArrayView WithoutUtf8Mark(QByteArrayView data) {
    return data.startsWith(Utf8Mark) ? data.sliced(Utf8Mark.size()) : data;
}

bool IsAscii(QByteArrayView bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// ---- Blanks ----------------------------------------------------------------------------------------

bool IsBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7F || u == 0xA0;
}

bool IsBlank(QByteArrayView bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return IsBlank(c); });
}

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

QString TidyText(const QString& text) {
    QString spaced = text;
    for (QChar& c : spaced)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.unicode() == 0xA0)
            c = u' ';
    return spaced.simplified();
}

QString JoinedWords(const QStringList& words) {
    QString joined;
    for (const QString& word : words) {
        if (word.isEmpty())
            continue;
        if (!joined.isEmpty())
            joined += u' ';
        joined += word;
    }
    return joined;
}

// ---- The handset's code page -----------------------------------------------------------------------

bool InCodePage(char32_t c) {
    return c < 0x10000 && CodePageTable()[c];
}

std::string AnsiOf(const QString& text, bool* lost) {
    if (lost)
        *lost = false;
    if (AllInCodePage(text))
        return ToAnsi(text);
    const QString composed = text.normalized(QString::NormalizationForm_C);
    if (AllInCodePage(composed))
        return ToAnsi(composed);
    if (lost)
        *lost = true;
    const std::vector<bool>& table = CodePageTable();
    QString kept;
    kept.reserve(composed.size());
    for (qsizetype i = 0; i < composed.size(); ++i) {
        const QChar c = composed[i];
        if (table[c.unicode()]) {
            kept += c;
        } else {
            kept += u'?';
            if (c.isHighSurrogate() && i + 1 < composed.size() && composed[i + 1].isLowSurrogate())
                ++i;
        }
    }
    return ToAnsi(kept);
}

void SetContactName(TContact& contact, const QString& name) {
    const QString tidy = TidyText(name);
    bool lost = false;
    contact.FullName = Tidy(AnsiOf(tidy, &lost));
    contact.UnicodeName = lost ? tidy.normalized(QString::NormalizationForm_C) : QString();
}

QString Transliterated(const QString& text) {
    if (AllInCodePage(text))
        return text;
    const QList<uint> points = text.normalized(QString::NormalizationForm_C).toUcs4();
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < points.size();) {
        qsizetype end = i + 1;
        while (end < points.size() && QChar::isMark(char32_t(points[end])))
            ++end;
        QString cluster;
        for (qsizetype k = i; k < end; ++k) {
            const auto c = char32_t(points[k]);
            cluster += QString::fromUcs4(&c, 1);
        }
        result += NearestInCodePage(cluster);
        i = end;
    }
    return result;
}
