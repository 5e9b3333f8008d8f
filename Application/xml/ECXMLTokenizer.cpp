#include "xml/ECXMLTokenizer.h"

#include "platform/TextFile.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

bool IsBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// prefix is lower case.
bool StartsWithNoCase(std::string_view text, const char* prefix) {
    const size_t n = std::strlen(prefix);
    if (text.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (AsciiLower(text[i]) != prefix[i])
            return false;
    return true;
}

bool EndsWith(std::string_view text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() >= n && text.substr(text.size() - n) == suffix;
}

std::string RemovePairs(const std::string& text, char first, char second) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == first && i + 1 < text.size() && text[i + 1] == second)
            ++i;
        else
            result += text[i];
    }
    return result;
}

std::string CollapseSpaces(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (const char c : text)
        if (c != ' ' || result.empty() || result.back() != ' ')
            result += c;
    return result;
}

TXMLToken TagKind(std::string_view tag) {
    if (StartsWithNoCase(tag, "<?xml"))
        return TXMLToken::Declaration;
    if (StartsWithNoCase(tag, "<!--"))
        return TXMLToken::Comment;
    if (EndsWith(tag, "/>"))
        return TXMLToken::EmptyElementTag;
    if (tag.substr(0, 2) == "</")
        return TXMLToken::EndTag;
    return TXMLToken::StartTag;
}

} // namespace

TXMLTokenizer::TXMLTokenizer(QIODevice& stream)
    : TXMLTokenizer(stream, XMLTokenizerWindowSize) {}

TXMLTokenizer::TXMLTokenizer(QIODevice& stream, size_t windowSize)
    : FStream(stream)
    , FWindow(windowSize + 1, 0)
    , FWindowEnd(windowSize) {
    NextToken();
}

TXMLTokenizer::~TXMLTokenizer() = default;

void TXMLTokenizer::Error(const std::string& reason) const {
    throw EParserError(reason + " on line " + std::to_string(FLineNumber));
}

void TXMLTokenizer::RefillBuffer() {
    FWindow[FRegionEnd] = FSavedChar;
    const size_t rest = FDataEnd - FPos;
    std::memmove(FWindow.data(), FWindow.data() + FPos, rest);
    FPos = 0;
    FTokenStart = 0;
    FDataEnd = rest;
    while (FDataEnd < FWindowEnd) {
        const qint64 n = FStream.read(FWindow.data() + FDataEnd, qint64(FWindowEnd - FDataEnd));
        if (n < 0)
            throw EFileError("Cannot read the document. " + FStream.errorString().toStdString());
        if (n == 0)
            break;
        FDataEnd += size_t(n);
    }
    if (FDataEnd > 0 && FDataEnd == FWindowEnd) {
        // The window's last byte is left out of the search, so a full window always keeps a
        // part line back for the next refill.
        const auto first = FWindow.begin();
        const auto last = first + std::ptrdiff_t(FWindowEnd - 1);
        const auto lineFeed =
            std::find(std::make_reverse_iterator(last), std::make_reverse_iterator(first), '\n');
        if (lineFeed.base() == first)
            Error("Line too long");
        FRegionEnd = size_t(lineFeed.base() - first);
    } else {
        FRegionEnd = FDataEnd;
    }
    FSavedChar = FWindow[FRegionEnd];
    FWindow[FRegionEnd] = 0;
}

void TXMLTokenizer::SkipBlanks() {
    for (;;) {
        const char c = FWindow[FPos];
        if (c == 0) {
            RefillBuffer();
            if (FWindow[FPos] == 0)
                return;
        } else if (IsBlank(c)) {
            if (c == '\n')
                ++FLineNumber;
            ++FPos;
        } else {
            return;
        }
    }
}

void TXMLTokenizer::MakeDataEndTheRegionEnd() {
    FWindow[FRegionEnd] = FSavedChar;
    FRegionEnd = FDataEnd;
    FSavedChar = FWindow[FRegionEnd];
    FWindow[FRegionEnd] = 0;
}

size_t TXMLTokenizer::FindTagEnd() const {
    // The search runs over all the data read, past the zero that ends the whole lines; that zero
    // stands in for the saved character.
    const char* const window = FWindow.data();
    if (const void* found = std::memchr(window + FPos, '>', FRegionEnd - FPos))
        return size_t(static_cast<const char*>(found) - window);
    if (FRegionEnd == FDataEnd)
        return FDataEnd;
    if (FSavedChar == '>')
        return FRegionEnd;
    const void* found = std::memchr(window + FRegionEnd + 1, '>', FDataEnd - FRegionEnd - 1);
    return found ? size_t(static_cast<const char*>(found) - window) : FDataEnd;
}

void TXMLTokenizer::ScanTag() {
    const size_t close = FindTagEnd();
    if (close >= FRegionEnd) {
        // The tag reaches into the part line kept back for the next refill. Only when the stream has
        // nothing more to give can the rest of the data be scanned as it stands; otherwise the whole-file
        // tokenizer has to take the document.
        if (!FStream.atEnd())
            Error("Line too long");
        if (close == FDataEnd)
            Error("Unclosed tag");
        MakeDataEndTheRegionEnd();
    }
    FPos = close + 1;
    FToken = TagKind(std::string_view(FWindow.data() + FTokenStart, FPos - FTokenStart));
}

void TXMLTokenizer::ScanText() {
    size_t lastVisible = FPos;
    for (size_t i = FPos; FWindow[i] != '<' && FWindow[i] != 0; ++i)
        if (static_cast<unsigned char>(FWindow[i]) > 32)
            lastVisible = i;
    FPos = lastVisible + 1;
    FToken = TXMLToken::Text;
}

void TXMLTokenizer::NextToken() {
    SkipBlanks();
    FTokenStart = FPos;
    const char c = FWindow[FPos];
    if (c == '<')
        ScanTag();
    else if (c != 0)
        ScanText();
    else
        FToken = TXMLToken::EndOfData;
}

std::string TXMLTokenizer::TokenText() const {
    const std::string raw(FWindow.data() + FTokenStart, FPos - FTokenStart);
    return CollapseSpaces(RemovePairs(RemovePairs(raw, '\r', '\n'), '\n', '\r'));
}

TXMLLargeTokenizer::TXMLLargeTokenizer(QIODevice& stream)
    : TXMLTokenizer(stream, size_t(std::max<qint64>(stream.size(), 0))) {}
