#include "xml/ECXMLParser.h"

#include "platform/TextFile.h"
#include "xml/ECXMLTokenizer.h"
#include "xml/XMLText.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

const char* const CrLf = "\r\n";

bool IsBlankText(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) <= 32; });
}

std::string AsciiUpper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

bool IsStyleSheetFileName(const std::string& fileName) {
    const size_t folderEnd = fileName.find_last_of("/\\");
    const size_t nameStart = folderEnd == std::string::npos ? 0 : folderEnd + 1;
    const size_t dot = fileName.rfind('.');
    return dot != std::string::npos && dot >= nameStart && AsciiUpper(fileName.substr(dot)) == ".XSL";
}

void NameFromTag(TXMLItem& item, const std::string& tag) {
    item.SetName(ParseTagName(tag));
    TXMLParams params;
    ParseParams(tag, params);
    item.SetParams(params);
}

// Collects the document and hands it to the stream in large pieces, so that a stream that stops
// taking bytes is noticed.
class TDocumentWriter {
public:
    explicit TDocumentWriter(QIODevice& stream)
        : Stream(stream) {}

    TDocumentWriter& operator<<(const std::string& text) {
        Pending += text;
        if (Pending.size() >= FlushSize)
            Flush();
        return *this;
    }

    void Flush() {
        if (Stream.write(Pending.data(), qint64(Pending.size())) != qint64(Pending.size()))
            throw EFileError("Cannot write the document. " + Stream.errorString().toStdString());
        Pending.clear();
    }

private:
    static constexpr size_t FlushSize = 64 * 1024;
    QIODevice& Stream;
    std::string Pending;
};

std::string Head(const TXMLItem& item) {
    std::string head = item.Name();
    const TXMLParams& params = item.Params();
    for (int i = 0; i < params.Count(); ++i)
        head += " " + params.Names(i) + "=\"" + EncodeAttributeValue(params.ValueFromIndex(i)) + "\"";
    return head;
}

// Writes the subtree with an explicit stack: a loaded document may nest deeper than recursion could go.
void WriteTree(TDocumentWriter& out, TXMLItem& root, int rootIndent) {
    struct TOpenItem {
        TXMLItem* Item;
        int Indent;
        int NextChild;
    };
    std::vector<TOpenItem> open;
    const auto write = [&](TXMLItem& item, int indent) {
        const std::string newLine = item.CrLfInAsString() ? CrLf : "";
        const int step = item.CrLfInAsString() ? 2 : 0;
        const std::string spaces(size_t(indent), ' ');
        if (IsBlankText(item.Text()) && item.SubItemCount() == 0) {
            out << spaces << "<" << Head(item) << "/>" << newLine;
            return;
        }
        out << spaces << "<" << Head(item) << ">" << newLine;
        if (!IsBlankText(item.Text()))
            out << std::string(size_t(indent + step), ' ') << EncodeEntities(item.Text()) << newLine;
        open.push_back({&item, indent, 0});
    };

    write(root, rootIndent);
    while (!open.empty()) {
        TOpenItem& top = open.back();
        TXMLItem& item = *top.Item;
        if (top.NextChild < item.SubItemCount()) {
            TXMLItem& child = *item.Items(top.NextChild++);
            child.SetCrLfInAsString(item.CrLfInAsString());
            write(child, top.Indent + (item.CrLfInAsString() ? 2 : 0));
        } else {
            out << std::string(size_t(top.Indent), ' ') << "</" << item.Name() << ">"
                << (item.CrLfInAsString() ? CrLf : "");
            open.pop_back();
        }
    }
}

} // namespace

TECXMLParser::TECXMLParser(QObject* owner)
    : QObject(owner)
    , FRootItem(new TXMLItem(this)) {}

TECXMLParser::~TECXMLParser() = default;

void TECXMLParser::Clear() {
    bool allow = true;
    if (BeforeClear)
        BeforeClear(*this, allow);
    if (!allow)
        return;
    FRootItem->Clear();
    if (OnCleared)
        OnCleared(*this);
}

void TECXMLParser::LoadFromFile(const std::string& fileName) {
    QFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError("Cannot open file \"" + fileName + "\". " + file.errorString().toStdString());
    try {
        LoadFromStream(file);
    } catch (const EParserError&) {
        if (!file.seek(0))
            throw EFileError("Cannot read file \"" + fileName + "\". " + file.errorString().toStdString());
        LoadWholeStream(file);
    }
}

void TECXMLParser::LoadFromStream(QIODevice& stream) {
    Load(stream, false);
}

void TECXMLParser::LoadWholeStream(QIODevice& stream) {
    Load(stream, true);
}

void TECXMLParser::Load(QIODevice& stream, bool wholeStream) {
    bool allow = true;
    if (BeforeLoad)
        BeforeLoad(*this, allow);
    if (!allow)
        return;
    TXMLItemChanged changed = std::exchange(XMLItemChanged, nullptr);
    try {
        std::unique_ptr<TXMLTokenizer> tokenizer;
        if (wholeStream)
            tokenizer = std::make_unique<TXMLLargeTokenizer>(stream);
        else
            tokenizer = std::make_unique<TXMLTokenizer>(stream);
        BuildTree(*tokenizer);
    } catch (...) {
        XMLItemChanged = std::move(changed);
        throw;
    }
    XMLItemChanged = std::move(changed);
    if (OnLoaded)
        OnLoaded(*this);
}

void TECXMLParser::ReadStyleSheet(const std::string& declaration) {
    const std::string upper = AsciiUpper(declaration);
    if (upper.find("XML-STYLESHEET") == std::string::npos)
        return;
    const std::string href = "HREF=\"";
    const size_t found = upper.find(href);
    if (found == std::string::npos)
        return;
    const size_t start = found + href.size();
    const size_t end = declaration.find('"', start);
    if (end != std::string::npos)
        StyleSheet = declaration.substr(start, end - start);
}

void TECXMLParser::BuildTree(TXMLTokenizer& tokenizer) {
    TXMLItem* current = FRootItem.get();
    current->Clear();
    for (; tokenizer.Token() != TXMLToken::EndOfData; tokenizer.NextToken()) {
        switch (tokenizer.Token()) {
        case TXMLToken::Declaration:
            ReadStyleSheet(tokenizer.TokenText());
            break;
        case TXMLToken::Text:
            // Each piece is decoded once, as it arrives: decoding the joined text again would turn an
            // entity written as "&amp;lt;" into "<".
            if (IsBlankText(current->FText))
                current->FText = DecodeEntities(tokenizer.TokenText());
            else
                current->FText.append(CrLf).append(DecodeEntities(tokenizer.TokenText()));
            break;
        case TXMLToken::StartTag:
            if (!IsBlankText(current->Name()))
                current = current->New();
            NameFromTag(*current, tokenizer.TokenText());
            break;
        case TXMLToken::EndTag:
            // An end tag with no open element left to close changes nothing.
            if (current->Parent())
                current = current->Parent();
            break;
        case TXMLToken::EmptyElementTag:
            NameFromTag(*current->New(), tokenizer.TokenText());
            break;
        default:
            break;
        }
    }
}

bool TECXMLParser::SaveToStream(QIODevice& stream, bool isStyleSheet) {
    bool allow = true;
    if (BeforeSave)
        BeforeSave(*this, allow);
    if (!allow)
        return false;
    TDocumentWriter out(stream);
    out << "<?xml version=\"1.0\" encoding=\"ISO8859-1\" ?>" << CrLf;
    if (!isStyleSheet && !IsBlankText(StyleSheet))
        out << "<?xml-stylesheet type=\"text/xsl\" href=\"" << StyleSheet << "\"?>" << CrLf;
    WriteTree(out, *FRootItem, 2);
    out.Flush();
    if (OnSaved)
        OnSaved(*this);
    return true;
}

void TECXMLParser::SaveToFile(const std::string& fileName) {
    QSaveFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::WriteOnly))
        throw EFileError("Cannot create file \"" + fileName + "\". " + file.errorString().toStdString());
    if (!SaveToStream(file, IsStyleSheetFileName(fileName))) {
        file.cancelWriting();
        return;
    }
    if (!file.commit())
        throw EFileError("Cannot write file \"" + fileName + "\". " + file.errorString().toStdString());
}
