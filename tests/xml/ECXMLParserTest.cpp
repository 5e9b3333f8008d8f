// The document tree the parser builds, what its writer puts out, its events and the item operations.
#include "xml/ECXMLParser.h"
#include "platform/TextFile.h"
#include "xml/ECXMLTokenizer.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using TLines = std::vector<std::string>;

TXMLItem& Load(TECXMLParser& parser, const QByteArray& document) {
    QBuffer buffer;
    buffer.setData(document);
    buffer.open(QIODevice::ReadOnly);
    parser.LoadFromStream(buffer);
    return *parser.RootItem();
}

std::string Saved(TECXMLParser& parser, bool isStyleSheet = false) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    parser.SaveToStream(buffer, isStyleSheet);
    return buffer.data().toStdString();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

const char* const Header = "<?xml version=\"1.0\" encoding=\"ISO8859-1\" ?>\r\n";

} // namespace

TEST(XMLLoad, DocumentElementBecomesTheRootAndItsChildrenFollow) {
    TECXMLParser parser;
    TXMLItem& root = Load(parser, "<?xml version=\"1.0\"?>\r\n<!-- list -->\r\n<handset>\r\n"
                                  "  <info><document version=\"2.01\" date=\"1 2 2003\"/></info>\r\n"
                                  "  <software name=\"0A1B2C3D\">\r\n    <pcs name=\"06A\">\r\n"
                                  "      <protect address=\"0040-0044\"/>\r\n    </pcs>\r\n  </software>\r\n"
                                  "</handset>\r\n");
    EXPECT_EQ(root.Name(), "handset");
    ASSERT_EQ(root.SubItemCount(), 2);
    EXPECT_EQ(root.ItemByName("INFO")->ItemByName("Document")->Params().Values("DATE"), "1 2 2003");
    TXMLItem* pcs = root.Items(1)->Items(0);
    EXPECT_EQ(pcs->Params().Lines(), TLines{"name=06A"});
    EXPECT_EQ(pcs->Items(0)->Params().Values("address"), "0040-0044");
    EXPECT_EQ(pcs->Parent()->Parent(), &root);
    EXPECT_EQ(root.Parent(), nullptr);
    // A lookup adds what it misses.
    EXPECT_EQ(root.ItemByName("missing")->Name(), "missing");
    EXPECT_EQ(root.Count(), 3);
}

TEST(XMLLoad, TextPiecesAreDecodedOnceAndJoinedWithCrLf) {
    TECXMLParser parser;
    EXPECT_EQ(Load(parser, "<a>x &amp;lt; y</a>").Text(), "x &lt; y");
    TXMLItem& root = Load(parser, "<a>x &amp;lt; y<b/>z &amp;amp;\r\n</a>");
    EXPECT_EQ(root.Text(), "x &lt; y\r\nz &amp;");
    EXPECT_EQ(root.Items(0)->Name(), "b");
    // The writer's line break reads back as the break and an element of its own.
    TXMLItem& broken = Load(parser, "<a>one<br/>two</a>");
    EXPECT_EQ(broken.Text(), "one\r\ntwo");
    ASSERT_EQ(broken.Count(), 1);
    EXPECT_EQ(broken.Items(0)->Name(), "br");
}

TEST(XMLLoad, CommentsEndAtTheFirstBracketAndStylesheetsAreNamed) {
    TECXMLParser parser;
    EXPECT_EQ(Load(parser, "<a><!-- a > b --></a>").Text(), "b -->");
    TXMLItem& root = Load(parser, "<?XML-STYLESHEET type=\"text/xsl\" href=\"s.xsl\"?><a/>");
    EXPECT_EQ(parser.StyleSheet, "s.xsl");
    // An empty element never names the root; it becomes a child of it.
    EXPECT_EQ(root.Name(), "");
    EXPECT_EQ(root.Items(0)->Name(), "a");
}

TEST(XMLLoad, EmptyAndUnbalancedDocumentsLoadAsTheRulesGive) {
    TECXMLParser parser;
    EXPECT_EQ(Load(parser, "<a>old</a>").Text(), "old");
    TXMLItem& empty = Load(parser, " \r\n ");
    EXPECT_EQ(empty.Name(), "");
    EXPECT_EQ(empty.Text(), "");
    EXPECT_EQ(empty.Count(), 0);

    TXMLItem& extraEnds = Load(parser, "<a></b></a></a><b/>text");
    EXPECT_EQ(extraEnds.Name(), "a");
    EXPECT_EQ(extraEnds.Items(0)->Name(), "b");
    EXPECT_EQ(extraEnds.Text(), "text");
    EXPECT_EQ(Load(parser, "<a><b><c>").Items(0)->Items(0)->Name(), "c");
    EXPECT_THROW(Load(parser, "<a><b c=\"1\""), EParserError);
}

TEST(XMLLoad, DeepNestingLoadsSavesAndIsFreed) {
    TECXMLParser parser;
    parser.SetCrLfInAsString(false);
    TXMLItem* item = &Load(parser, QByteArray("<a>\n").repeated(200000));
    int depth = 0;
    for (; item->Count() == 1; item = item->Items(0))
        ++depth;
    EXPECT_EQ(depth, 199999);
    // Two blanks and "<a>" and "</a>" for each element, two blanks and "<a/>" for the innermost.
    EXPECT_EQ(Saved(parser).size(), std::strlen(Header) + 199999 * 11 + 6);
    parser.Clear();
    EXPECT_EQ(parser.RootItem()->Count(), 0);
}

TEST(XMLLoadFromFile, LongLinesAreReadWithTheWholeFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("list.xml");
    TECXMLParser parser;
    const std::string value(5000, 'v');
    WriteFile(path, QByteArray("<a>\r\n<b v=\"") + value.c_str() + "\"/>\r\n</a>\r\n");
    parser.LoadFromFile(path.toStdString());
    EXPECT_EQ(parser.RootItem()->Name(), "a");
    EXPECT_EQ(parser.RootItem()->Items(0)->Params().Values("v"), value);
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    EXPECT_THROW(parser.LoadFromStream(file), EParserError);

    WriteFile(path, "<a v=\"" + QByteArray(5000, 'v') + "\"/>\n");
    try {
        parser.LoadFromFile(path.toStdString());
        ADD_FAILURE() << "no error";
    } catch (const EParserError& e) {
        EXPECT_STREQ(e.what(), "Line too long on line 1");
    }
    EXPECT_THROW(parser.LoadFromFile(dir.filePath("missing.xml").toStdString()), EFileError);
}

TEST(XMLSave, WritesHeaderStylesheetAndIndentedItems) {
    TECXMLParser parser;
    TXMLItem& root = Load(parser, "<list a=\"1&amp;2\">x&lt;y<e/><f>t</f></list>");
    root.SetText("x<y\r\nz");
    parser.StyleSheet = "s.xsl";
    EXPECT_EQ(Saved(parser), std::string(Header) +
                                 "<?xml-stylesheet type=\"text/xsl\" href=\"s.xsl\"?>\r\n"
                                 "  <list a=\"1&amp;2\">\r\n    x&lt;y<br/>z\r\n    <e/>\r\n"
                                 "    <f>\r\n      t\r\n    </f>\r\n  </list>\r\n");
    parser.SetCrLfInAsString(false);
    EXPECT_EQ(Saved(parser, true),
              std::string(Header) + "  <list a=\"1&amp;2\">  x&lt;y<br/>z  <e/>  <f>  t  </f>  </list>");
    EXPECT_FALSE(root.Items(1)->CrLfInAsString());

    QTemporaryDir dir;
    parser.SaveToFile(dir.filePath("style.XSL").toStdString());
    parser.SaveToFile(dir.filePath("list.xml").toStdString());
    EXPECT_EQ(ReadFileBytes(dir.filePath("style.XSL").toStdString(), 1000).find("stylesheet"),
              std::string::npos);
    EXPECT_NE(ReadFileBytes(dir.filePath("list.xml").toStdString(), 1000).find("href=\"s.xsl\""),
              std::string::npos);
}

TEST(XMLSave, WrittenAttributesReadBack) {
    TECXMLParser parser;
    TXMLItem* item = parser.RootItem()->New();
    parser.RootItem()->SetName("root");
    item->SetName("item");
    item->SetParams({"spaced=a b", "marks=<\"&amp;\">", "empty=", "broken=x\r\ny"});
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    parser.SaveToStream(buffer, false);
    buffer.seek(0);
    TECXMLParser again;
    again.LoadFromStream(buffer);
    ASSERT_EQ(again.RootItem()->Count(), 1);
    // A line break cannot stand in an attribute of this dialect; the element keeps its shape without it.
    EXPECT_EQ(again.RootItem()->Items(0)->Params().Lines(),
              (TLines{"spaced=a b", "marks=<\"&amp;\">", "broken=xy"}));
}

TEST(XMLParserEvents, ChangesAreToldOutsideLoadsAndClearsOnly) {
    TECXMLParser parser;
    std::vector<TXMLItem*> changed;
    parser.XMLItemChanged = [&](TECXMLParser& sender, TXMLItem& item) {
        EXPECT_EQ(&sender, &parser);
        changed.push_back(&item);
    };
    TXMLItem* root = parser.RootItem();
    TXMLItem* child = root->New();
    child->SetName("n");
    child->SetText("t");
    child->SetParams({"a=1"});
    root->Delete(0);
    EXPECT_EQ(changed, (std::vector<TXMLItem*>{root, child, child, child, root}));
    changed.clear();
    root->New();
    root->Clear();
    Load(parser, "<a b=\"1\"><c/>x</a>");
    EXPECT_THROW(Load(parser, "<a"), EParserError);
    root->SetText("after");
    EXPECT_EQ(changed, (std::vector<TXMLItem*>{root, root}));
}

TEST(XMLParserEvents, BeforeEventsCanRefuseAndOnEventsFollowSuccess) {
    TECXMLParser parser;
    std::vector<std::string> told;
    bool allow = false;
    const auto before = [&](const char* what) {
        return [&, what](TECXMLParser&, bool& go) {
            told.push_back(what);
            go = allow;
        };
    };
    parser.BeforeLoad = before("before load");
    parser.BeforeSave = before("before save");
    parser.BeforeClear = before("before clear");
    parser.OnLoaded = [&](TECXMLParser&) { told.push_back("loaded"); };
    parser.OnSaved = [&](TECXMLParser&) { told.push_back("saved"); };
    parser.OnCleared = [&](TECXMLParser&) { told.push_back("cleared"); };

    QTemporaryDir dir;
    const std::string path = dir.filePath("kept.xml").toStdString();
    WriteFileAtomically(path, "old");
    parser.RootItem()->SetName("kept");
    Load(parser, "<new/>");
    parser.SaveToFile(path);
    parser.Clear();
    EXPECT_EQ(parser.RootItem()->Name(), "kept");
    EXPECT_EQ(ReadFileBytes(path, 100), "old");

    allow = true;
    Load(parser, "<new/>");
    EXPECT_THROW(Load(parser, "<new"), EParserError);
    parser.SaveToFile(path);
    parser.Clear();
    EXPECT_EQ(told,
              (std::vector<std::string>{"before load", "before save", "before clear", "before load", "loaded",
                                        "before load", "before save", "saved", "before clear", "cleared"}));
}

TEST(XMLItem, ParentMovesAndIndexesKeepEveryItemListedOnce) {
    TECXMLParser parser;
    TXMLItem& root = Load(parser, "<r><a/><b/><c><d/></c></r>");
    TXMLItem* a = root.Items(0);
    TXMLItem* c = root.Items(2);
    a->SetParent(&root);
    EXPECT_EQ(root.Count(), 3);
    EXPECT_EQ(root.IndexOf(a), 0);
    a->SetParent(c);
    EXPECT_EQ(root.Count(), 2);
    EXPECT_EQ(c->IndexOf(a), 1);
    EXPECT_EQ(a->Parent(), c);
    EXPECT_THROW(c->SetParent(a), std::invalid_argument);
    EXPECT_THROW(root.SetParent(c), std::invalid_argument);
    EXPECT_THROW(a->SetParent(nullptr), std::invalid_argument);

    c->Move(a, 0);
    EXPECT_EQ(c->Items(0), a);
    EXPECT_EQ(c->IndexOfName("D", 0), 1);
    EXPECT_EQ(c->IndexOfName("a", 1), -1);
    EXPECT_EQ(root.IndexOf(a), -1);
    EXPECT_THROW(root.Items(2), std::out_of_range);
    EXPECT_THROW(root.Delete(-1), std::out_of_range);

    TECXMLParser other;
    c->SetParent(other.RootItem());
    EXPECT_EQ(a->Parser(), &other);
}

TEST(XMLLoadFromFile, HostileFilesLoadOrRaiseAParserError) {
    QTemporaryDir dir;
    const QString path = dir.filePath("hostile.xml");
    TECXMLParser parser;
    // Ten megabytes without a line feed: neither tokenizer takes it.
    WriteFile(path, "<a>" + QByteArray(10 << 20, 'x'));
    EXPECT_THROW(parser.LoadFromFile(path.toStdString()), EParserError);

    // Binary bytes with NULs and stray brackets, in lines: whatever the tree becomes, the load ends.
    QByteArray binary(1 << 20, '\0');
    uint32_t seed = 12345;
    for (char& c : binary) {
        seed = seed * 1103515245u + 12345u;
        c = char(seed >> 24);
    }
    WriteFile(path, binary);
    try {
        parser.LoadFromFile(path.toStdString());
    } catch (const EParserError&) {
    }
    SUCCEED();
}
