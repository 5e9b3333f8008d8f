#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

class QIODevice;

// Raised for a document the tokenizer cannot cut into tokens; the text is "<reason> on line <n>".
class EParserError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The codes are those of the dialect's token kinds.
enum class TXMLToken {
    EndOfData = 0,
    Comment = 6,
    Declaration = 8,
    Text = 9,
    StartTag = 10,
    EndTag = 11,
    EmptyElementTag = 12,
};

constexpr size_t XMLTokenizerWindowSize = 4096;

// Cuts a stream into tokens through a window of XMLTokenizerWindowSize bytes. Only whole lines of the
// window are scanned, so a token never ends at the window's edge; a line that does not fit raises
// EParserError "Line too long", and so does a tag that reaches beyond the whole lines while the stream
// has more to give; a tag still open where the data ends raises "Unclosed tag". A zero byte where a
// token would start ends the data.
class TXMLTokenizer {
public:
    // Reads the first token.
    explicit TXMLTokenizer(QIODevice& stream);
    virtual ~TXMLTokenizer();
    TXMLTokenizer(const TXMLTokenizer&) = delete;
    TXMLTokenizer& operator=(const TXMLTokenizer&) = delete;

    TXMLToken Token() const { return FToken; }
    // The token's characters with every CR LF and LF CR pair removed and runs of spaces made one.
    std::string TokenText() const;
    void NextToken();
    int LineNumber() const { return FLineNumber; }

protected:
    // Another window size: the whole stream's, or a narrow one under which refills come often.
    TXMLTokenizer(QIODevice& stream, size_t windowSize);

private:
    void RefillBuffer();
    void SkipBlanks();
    size_t FindTagEnd() const;
    void ScanTag();
    void ScanText();
    void MakeDataEndTheRegionEnd();
    [[noreturn]] void Error(const std::string& reason) const;

    QIODevice& FStream;
    // One byte more than the window, so that a terminating zero fits after a full window.
    std::vector<char> FWindow;
    size_t FWindowEnd;
    size_t FDataEnd = 0;
    size_t FPos = 0;
    size_t FRegionEnd = 0;
    size_t FTokenStart = 0;
    int FLineNumber = 1;
    char FSavedChar = 0;
    TXMLToken FToken = TXMLToken::EndOfData;
};

// The whole stream in one window: for documents with lines too long for TXMLTokenizer.
class TXMLLargeTokenizer : public TXMLTokenizer {
public:
    explicit TXMLLargeTokenizer(QIODevice& stream);
};
