// How the tokenizer cuts a stream, and what its window does to long lines.
#include "xml/ECXMLTokenizer.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <functional>

namespace {

using TTokens = std::vector<std::pair<TXMLToken, std::string>>;

template <class TTokenizer = TXMLTokenizer> TTokens Tokens(const QByteArray& data) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    TTokens tokens;
    for (TTokenizer tokenizer(buffer); tokenizer.Token() != TXMLToken::EndOfData; tokenizer.NextToken())
        tokens.emplace_back(tokenizer.Token(), tokenizer.TokenText());
    return tokens;
}

template <class TTokenizer = TXMLTokenizer> std::string ErrorOf(const QByteArray& data) {
    try {
        Tokens<TTokenizer>(data);
    } catch (const EParserError& e) {
        return e.what();
    }
    return "no error";
}

} // namespace

TEST(XMLTokenizer, TagsAreDeclarationsBeforeCommentsBeforeEmptyElementsBeforeEndTags) {
    EXPECT_EQ(Tokens("<?XML-stylesheet x/><!-- c/> --></b/><a/></A><a x>"),
              (TTokens{{TXMLToken::Declaration, "<?XML-stylesheet x/>"},
                       {TXMLToken::Comment, "<!-- c/>"},
                       {TXMLToken::Text, "-->"},
                       {TXMLToken::EmptyElementTag, "</b/>"},
                       {TXMLToken::EmptyElementTag, "<a/>"},
                       {TXMLToken::EndTag, "</A>"},
                       {TXMLToken::StartTag, "<a x>"}}));
    EXPECT_EQ(Tokens(""), TTokens{});
    EXPECT_EQ(Tokens(" \r\n\t "), TTokens{});
}

TEST(XMLTokenizer, TokenTextDropsLineBreakPairsAndRunsOfSpaces) {
    EXPECT_EQ(Tokens(" \t a  b\r\nc \n\r d \r\n <x\r\n y=\"1   2\">"),
              (TTokens{{TXMLToken::Text, "a bc d"}, {TXMLToken::StartTag, "<x y=\"1 2\">"}}));
    EXPECT_EQ(Tokens("a\rb\nc\n\r\nd<x>"),
              (TTokens{{TXMLToken::Text, "a\rb\nc\nd"}, {TXMLToken::StartTag, "<x>"}}));
}

TEST(XMLTokenizer, LinesAreCountedBetweenTokensOnly) {
    EXPECT_EQ(ErrorOf("\n\n<a\n>\n x\ny\n <b c=\"1\""), "Unclosed tag on line 5");
    EXPECT_EQ(ErrorOf("<a><b"), "Unclosed tag on line 1");
}

TEST(XMLTokenizer, ZeroByteWhereATokenWouldStartEndsTheData) {
    EXPECT_EQ(Tokens(QByteArray("<a>x\0<b/>", 9)),
              (TTokens{{TXMLToken::StartTag, "<a>"}, {TXMLToken::Text, "x"}}));
    EXPECT_EQ(Tokens(QByteArray("<a\0>", 4)), (TTokens{{TXMLToken::StartTag, std::string("<a\0>", 4)}}));
}

TEST(XMLTokenizer, WindowScansWholeLinesOnly) {
    const QByteArray shortLines = QByteArray("<a/>\n").repeated(1000) + "<b>\n";
    const TTokens tokens = Tokens(shortLines);
    ASSERT_EQ(tokens.size(), 1001u);
    EXPECT_EQ(tokens.back().second, "<b>");

    const QByteArray longLine = "<a>\n<b v=\"" + QByteArray(5000, 'x') + "\"/>\n</a>\n";
    EXPECT_EQ(ErrorOf(longLine), "Line too long on line 2");
    EXPECT_EQ(ErrorOf<TXMLLargeTokenizer>(longLine), "no error");

    // The window's last byte is never searched for the line feed.
    const QByteArray finalLineFeed = "<a v=\"" + QByteArray(5000, 'x') + "\"/>\n";
    EXPECT_EQ(ErrorOf(finalLineFeed), "Line too long on line 1");
    EXPECT_EQ(ErrorOf<TXMLLargeTokenizer>(finalLineFeed), "Line too long on line 1");
    EXPECT_EQ(ErrorOf<TXMLLargeTokenizer>(finalLineFeed + "<b/>"), "no error");
}

TEST(XMLTokenizer, TagAcrossTheEndOfTheWholeLinesIsWholeOrAnError) {
    // A tag whose line feed is the last one the first window holds; the tag ends with the window.
    const QByteArray head = QByteArray(XMLTokenizerWindowSize - 30, ' ') + "<b\nc=\"1\"";
    const QByteArray tail = QByteArray(20, ' ') + "/>";
    EXPECT_EQ(ErrorOf(head + tail + "\n<d/>\n"), "Line too long on line 1");
    const TTokens whole = Tokens<TXMLLargeTokenizer>(head + tail + "\n<d/>\n");
    ASSERT_EQ(whole.size(), 2u);
    EXPECT_EQ(whole[0].second, "<b\nc=\"1\" />");
    // When the stream ends with the window the rest is at hand.
    EXPECT_EQ(Tokens(head + tail).size(), 1u);
}
