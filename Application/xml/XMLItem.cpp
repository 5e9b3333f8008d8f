#include "xml/XMLItem.h"

#include "platform/TextFormat.h"
#include "xml/ECXMLParser.h"

#include <algorithm>
#include <stdexcept>

TXMLItem::TXMLItem(TECXMLParser* parser)
    : FParser(parser) {}

TXMLItem::~TXMLItem() {
    DestroyItems(std::move(FItems));
}

void TXMLItem::DestroyItems(TItemList items) {
    while (!items.empty()) {
        std::unique_ptr<TXMLItem> item = std::move(items.back());
        items.pop_back();
        for (auto& child : item->FItems)
            items.push_back(std::move(child));
        item->FItems.clear();
    }
}

void TXMLItem::Changed() {
    if (FNotify && FParser && FParser->XMLItemChanged)
        FParser->XMLItemChanged(*FParser, *this);
}

void TXMLItem::CheckIndex(int i) const {
    if (i < 0 || i >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(i) + ")");
}

void TXMLItem::SetName(const std::string& name) {
    FName = name;
    Changed();
}

void TXMLItem::SetText(const std::string& text) {
    FText = text;
    Changed();
}

void TXMLItem::SetParams(const TXMLParams& params) {
    FParams = params;
    Changed();
}

TXMLItem* TXMLItem::Items(int i) const {
    CheckIndex(i);
    return FItems[size_t(i)].get();
}

void TXMLItem::SetParent(TXMLItem* parent) {
    if (!parent)
        throw std::invalid_argument("TXMLItem: the new parent must exist");
    if (parent == FParent)
        return;
    if (!FParent)
        throw std::invalid_argument("TXMLItem: the root item cannot be moved");
    for (const TXMLItem* up = parent; up; up = up->FParent)
        if (up == this)
            throw std::invalid_argument("TXMLItem: an item cannot be moved into its own subtree");

    TItemList& siblings = FParent->FItems;
    const auto place =
        std::find_if(siblings.begin(), siblings.end(),
                     [this](const std::unique_ptr<TXMLItem>& item) { return item.get() == this; });
    std::unique_ptr<TXMLItem> self = std::move(*place);
    siblings.erase(place);
    FParent = parent;
    parent->FItems.push_back(std::move(self));

    if (parent->FParser != FParser) {
        std::vector<TXMLItem*> pending{this};
        while (!pending.empty()) {
            TXMLItem* item = pending.back();
            pending.pop_back();
            item->FParser = parent->FParser;
            for (const auto& child : item->FItems)
                pending.push_back(child.get());
        }
    }
}

void TXMLItem::Clear() {
    FNotify = false;
    DestroyItems(std::move(FItems));
    FItems.clear();
    FParams.Clear();
    FName.clear();
    FText.clear();
    FNotify = true;
}

TXMLItem* TXMLItem::New() {
    std::unique_ptr<TXMLItem> item(new TXMLItem(FParser));
    item->FParent = this;
    TXMLItem* const child = item.get();
    FItems.push_back(std::move(item));
    Changed();
    return child;
}

void TXMLItem::Delete(int index) {
    CheckIndex(index);
    std::unique_ptr<TXMLItem> item = std::move(FItems[size_t(index)]);
    FItems.erase(FItems.begin() + index);
    item.reset();
    Changed();
}

void TXMLItem::Move(TXMLItem* item, int newIndex) {
    const int from = IndexOf(item);
    CheckIndex(from);
    CheckIndex(newIndex);
    const auto first = FItems.begin();
    if (from < newIndex)
        std::rotate(first + from, first + from + 1, first + newIndex + 1);
    else
        std::rotate(first + newIndex, first + from, first + from + 1);
}

int TXMLItem::IndexOf(const TXMLItem* item) const {
    for (int i = 0; i < Count(); ++i)
        if (FItems[size_t(i)].get() == item)
            return i;
    return -1;
}

int TXMLItem::IndexOfName(const std::string& name, int start) const {
    for (int i = std::max(start, 0); i < Count(); ++i)
        if (SameText(FItems[size_t(i)]->FName, name))
            return i;
    return -1;
}

TXMLItem* TXMLItem::ItemByName(const std::string& name) {
    const int i = IndexOfName(name, 0);
    if (i >= 0)
        return Items(i);
    TXMLItem* const item = New();
    item->SetName(name);
    return item;
}
