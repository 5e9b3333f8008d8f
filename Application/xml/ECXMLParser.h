#pragma once

#include "xml/XMLItem.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>

class QIODevice;
class TXMLTokenizer;
class TECXMLParser;

using TXMLItemChanged = std::function<void(TECXMLParser& sender, TXMLItem& item)>;
// allow enters as true; false cancels the operation without an error.
using TXMLLoadSaveEvent = std::function<void(TECXMLParser& sender, bool& allow)>;
using TXMLNotifyEvent = std::function<void(TECXMLParser& sender)>;

// A document of the system's own XML dialect: not a conforming parser, and not to become one, because the
// files it reads are read the way it reads them. No namespaces, CDATA or DTD; a comment ends at its first
// ">"; five fixed entities. The tree hangs from RootItem, which receives the document element.
class TECXMLParser : public QObject {
    Q_OBJECT

public:
    explicit TECXMLParser(QObject* owner = nullptr);
    ~TECXMLParser() override;

    TXMLItem* RootItem() const { return FRootItem.get(); }
    void Clear();

    // Raises EFileError for a file that cannot be opened or read. A document that the windowed tokenizer
    // refuses is read again with the whole file in one window; only that second EParserError reaches the
    // caller.
    void LoadFromFile(const std::string& fileName);
    // Through the windowed tokenizer; raises EParserError.
    void LoadFromStream(QIODevice& stream);
    // Through the whole-stream tokenizer; raises EParserError.
    void LoadWholeStream(QIODevice& stream);

    // Replaces the file in one step; a ".xsl" file gets no stylesheet line. A save that BeforeSave
    // refuses leaves the file as it was. Raises EFileError.
    void SaveToFile(const std::string& fileName);
    // Gives false when BeforeSave refused. Raises EFileError when the stream takes no more.
    bool SaveToStream(QIODevice& stream, bool isStyleSheet);

    // The root's line-break switch, which the writer hands down to every item it writes.
    bool CrLfInAsString() const { return FRootItem->CrLfInAsString(); }
    void SetCrLfInAsString(bool on) { FRootItem->SetCrLfInAsString(on); }

    std::string StyleSheet;
    // Not told while a document loads.
    TXMLItemChanged XMLItemChanged;
    TXMLNotifyEvent OnLoaded;
    TXMLNotifyEvent OnCleared;
    TXMLNotifyEvent OnSaved;
    TXMLLoadSaveEvent BeforeLoad;
    TXMLLoadSaveEvent BeforeSave;
    TXMLLoadSaveEvent BeforeClear;

private:
    void Load(QIODevice& stream, bool wholeStream);
    void BuildTree(TXMLTokenizer& tokenizer);
    void ReadStyleSheet(const std::string& declaration);

    std::unique_ptr<TXMLItem> FRootItem;
};
