// Arbitrary bytes through the XML reader: every input loads or raises EParserError, and whatever loads
// can be written and read again.
#include "xml/ECXMLParser.h"
#include "xml/ECXMLTokenizer.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

namespace {

// A window far narrower than the real one, so that short inputs reach every refill path.
class TNarrowTokenizer : public TXMLTokenizer {
public:
    TNarrowTokenizer(QIODevice& stream, size_t windowSize)
        : TXMLTokenizer(stream, windowSize) {}
};

void TokenizeNarrow(QBuffer& buffer, size_t windowSize) {
    try {
        TNarrowTokenizer tokenizer(buffer, windowSize);
        for (; tokenizer.Token() != TXMLToken::EndOfData; tokenizer.NextToken())
            (void)tokenizer.TokenText();
    } catch (const EParserError&) {
    }
}

// As TECXMLParser::LoadFromFile reads a file, without the file.
bool LoadRetrying(TECXMLParser& parser, QBuffer& buffer) {
    try {
        parser.LoadFromStream(buffer);
        return true;
    } catch (const EParserError&) {
    }
    buffer.seek(0);
    try {
        parser.LoadWholeStream(buffer);
        return true;
    } catch (const EParserError&) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QBuffer input;
    input.setData(reinterpret_cast<const char*>(data), qsizetype(size));
    input.open(QIODevice::ReadOnly);
    TokenizeNarrow(input, size == 0 ? 1 : 1 + data[0] % 64);

    input.seek(0);
    TECXMLParser parser;
    if (!LoadRetrying(parser, input))
        return 0;

    // Indentation grows with the depth, so deep documents are written without it.
    parser.SetCrLfInAsString(size < 2048);
    QBuffer written;
    written.open(QIODevice::WriteOnly);
    parser.SaveToStream(written, false);
    written.close();
    written.open(QIODevice::ReadOnly);
    TECXMLParser again;
    LoadRetrying(again, written);
    return 0;
}
