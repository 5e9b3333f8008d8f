#pragma once

#include "xml/XMLParams.h"

#include <memory>
#include <string>
#include <vector>

class TECXMLParser;

// One element of a document: a name, its attributes, one text and its children, which it owns. Items
// are made by their parent (New) or by the parser (the root), never on their own.
class TXMLItem {
public:
    ~TXMLItem();
    TXMLItem(const TXMLItem&) = delete;
    TXMLItem& operator=(const TXMLItem&) = delete;

    // The setters tell the parser's XMLItemChanged.
    const std::string& Name() const { return FName; }
    void SetName(const std::string& name);
    const std::string& Text() const { return FText; }
    void SetText(const std::string& text);
    const TXMLParams& Params() const { return FParams; }
    void SetParams(const TXMLParams& params);

    int SubItemCount() const { return int(FItems.size()); }
    int Count() const { return SubItemCount(); }
    // Raises std::out_of_range for an index outside 0 .. Count() - 1.
    TXMLItem* Items(int i) const;

    // Nullptr for the root.
    TXMLItem* Parent() const { return FParent; }
    // Moves this item to the end of parent's children; its present parent leaves it where it is. Raises
    // std::invalid_argument for no parent, for the root (its parser owns it) and for a parent inside
    // this item's own subtree.
    void SetParent(TXMLItem* parent);
    TECXMLParser* Parser() const { return FParser; }

    // Whether the writer puts line breaks and indentation around this item; see
    // TECXMLParser::CrLfInAsString.
    bool CrLfInAsString() const { return FCrLfInAsString; }
    void SetCrLfInAsString(bool on) { FCrLfInAsString = on; }

    // Empties the item and drops its children, without telling XMLItemChanged.
    void Clear();
    // A new last child.
    TXMLItem* New();
    void Delete(int index);
    void Move(TXMLItem* item, int newIndex);
    int IndexOf(const TXMLItem* item) const;
    // The first child at or after start whose name equals name without regard to case; -1 if none.
    int IndexOfName(const std::string& name, int start = 0) const;
    // That child, or a new one of that name: a lookup adds the elements it misses.
    TXMLItem* ItemByName(const std::string& name);

private:
    friend class TECXMLParser;
    using TItemList = std::vector<std::unique_ptr<TXMLItem>>;

    explicit TXMLItem(TECXMLParser* parser);
    void Changed();
    void CheckIndex(int i) const;
    // Frees a subtree without recursion: documents may nest far deeper than the stack goes.
    static void DestroyItems(TItemList items);

    std::string FText;
    std::string FName;
    TXMLParams FParams;
    TItemList FItems;
    TXMLItem* FParent = nullptr;
    TECXMLParser* FParser;
    bool FNotify = true;
    bool FCrLfInAsString = true;
};
