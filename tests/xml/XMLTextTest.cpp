// Entities, tag names and attributes of the XML dialect.
#include "xml/XMLText.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Params(const std::string& tag) {
    TXMLParams list{"stale=1"};
    ParseParams(tag, list);
    return list.Lines();
}

using TLines = std::vector<std::string>;

} // namespace

TEST(XMLEntities, EachStepWorksOnTheResultOfTheStepBefore) {
    EXPECT_EQ(EncodeEntities("a & b<c>\"d\"\r\ne"), "a &amp; b&lt;c&gt;&quot;d&quot;<br/>e");
    EXPECT_EQ(DecodeEntities("a &amp; b&lt;c&gt;&quot;d&quot;<br/>e"), "a & b<c>\"d\"\r\ne");
    EXPECT_EQ(EncodeEntities("x &lt; y"), "x &amp;lt; y");
    EXPECT_EQ(DecodeEntities("x &amp;lt; y"), "x &lt; y");
    // Only the five, in their case; a lone CR or LF is no line break.
    EXPECT_EQ(DecodeEntities("&#60; &apos; &LT; &amp &BR/>"), "&#60; &apos; &LT; &amp &BR/>");
    EXPECT_EQ(EncodeEntities("\n\r"), "\n\r");
    // In an attribute a "<br/>" would end the tag for the reader.
    EXPECT_EQ(EncodeAttributeValue("a\r\n<b> \"&\""), "a\r\n&lt;b&gt; &quot;&amp;&quot;");
}

TEST(XMLTagName, EndsAtTheFirstSpaceElseTheFirstSlashElseBeforeTheBracket) {
    EXPECT_EQ(ParseTagName("<pcs name=\"06/A\">"), "pcs");
    EXPECT_EQ(ParseTagName("<br/>"), "br");
    EXPECT_EQ(ParseTagName("<handset>"), "handset");
    EXPECT_EQ(ParseTagName("<a/b c>"), "a/b");
    EXPECT_EQ(ParseTagName("<>"), "");
}

TEST(XMLTagParams, SplitAtBlanksOutsideQuotesAndDecoded) {
    EXPECT_EQ(Params("<a b=\"1 2\" c=\"x\"/>"), (TLines{"b=1 2", "c=x"}));
    EXPECT_EQ(Params("<a>"), TLines{});
    EXPECT_EQ(Params("<a b=\"x=&lt;&amp;lt;&quot;\" c=7 d>"), (TLines{"b=x=<&lt;\"", "c=7"}));
    // A value written a= or a="" is no value: the line goes.
    EXPECT_EQ(Params("<a b= c=\"\" d=\"1\">"), TLines{"d=1"});
    // A blank before the end of the tag belongs to no value.
    EXPECT_EQ(Params("<a b=\"1\" />"), TLines{"b=1"});
    EXPECT_EQ(Params("<a b=\"1\" >"), TLines{"b=1"});
    // Line breaks separate like blanks, except inside quotes.
    EXPECT_EQ(Params("<a b=\"x\ny\"\nc=\"2\"\r>"), (TLines{"b=x\ny", "c=2"}));
    EXPECT_EQ(Params("<a b=\"open c=1>"), TLines{"b=open c=1"});
}
