#include "vsim/VirtualSimXml.h"

#include "link/NumberConverting.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"
#include "vsim/DebugToFile.h"

#include <map>
#include <set>

namespace {

constexpr size_t AddressLength = 4;
constexpr size_t RangeLength = 9;

std::string Cut(const std::string& text, size_t length) {
    return text.size() > length ? text.substr(0, length) : text;
}

// The value of an attribute, its name found without regard to case; empty when it is missing.
std::string Attribute(const TXMLItem& item, const std::string& name) {
    return item.Params().Values(name);
}

} // namespace

// ---- TSimValues ----

TSimValues::TSimValues(std::string software, std::string pcs)
    : Software(std::move(software))
    , Pcs(std::move(pcs)) {}

bool TSimValues::Mark(std::bitset<AddressCount>& flags, const std::string& address) {
    int64_t first = 0;
    int64_t last = 0;
    if (address.size() == AddressLength) {
        first = last = Hex2Int64(address);
    } else if (address.size() == RangeLength && address[AddressLength] == '-') {
        first = Hex2Int64(address.substr(0, AddressLength));
        last = Hex2Int64(address.substr(AddressLength + 1));
    } else {
        return false;
    }
    // Four hex digits stay within the flags; a range that ends below its start marks nothing.
    for (int64_t a = first; a <= last; ++a)
        flags[size_t(a)] = true;
    return true;
}

bool TSimValues::AddProtect(const std::string& address) {
    return Mark(Protect, address);
}

bool TSimValues::AddDelete(const std::string& address) {
    return Mark(Delete, address);
}

// ---- TVirtualSimXml ----

TVirtualSimXml::TVirtualSimXml(const std::string& fileName) {
    Load(fileName);
    Document.reset();
}

TVirtualSimXml::TVirtualSimXml(const std::string& fileName, const std::string& software,
                               const std::string& pcs)
    : TSimValues(software, pcs) {
    DebugLog(FormatText("Create: %s, %s, %s", fileName.c_str(), software.c_str(), pcs.c_str()));
    Load(fileName);
    ItemToUse = GetItemToUse(software, pcs);
    if (!ItemToUse) {
        DebugLog("Error - Software not found");
        throw ESimSoftware("SIM Software and PCS not found!");
    }
    DebugLog(FormatText("Software %s, PCS %s", Attribute(*ItemToUse->Parent(), "name").c_str(),
                        Attribute(*ItemToUse, "name").c_str()));
    ReadAddressLists();
}

TVirtualSimXml::~TVirtualSimXml() {
    DebugLog("Destroy");
}

void TVirtualSimXml::Load(const std::string& fileName) {
    Document = std::make_unique<TECXMLParser>();
    Document->SetCrLfInAsString(true);
    Document->LoadFromFile(fileName);
    GetDocumentInfo();
}

TXMLItem* TVirtualSimXml::DocumentElement() const {
    return Document ? Document->RootItem() : nullptr;
}

void TVirtualSimXml::GetDocumentInfo() {
    try {
        TXMLItem* root = DocumentElement();
        if (root->Name() != "handset")
            return;
        const TXMLItem* document = root->ItemByName("info")->ItemByName("document");
        Version = Cut(Attribute(*document, "version"), MaxInfoLength);
        DebugLog(FormatText("Version: %s", Version.c_str()));
        Date = Cut(Attribute(*document, "date"), MaxInfoLength);
        DebugLog(FormatText("Date: %s", Date.c_str()));
    } catch (const std::exception& e) {
        // Dropped: the list's version and date are information only; the debug log says why they are missing.
        DebugLog(std::string("The SIM list's version and date could not be read: ") + e.what());
    }
}

TXMLItem* TVirtualSimXml::FindItem(const std::string& element, const std::string& attribute, TXMLItem* parent,
                                   const std::string& value) {
    if (!parent)
        return nullptr;
    for (int i = 0; i < parent->Count(); ++i) {
        TXMLItem* child = parent->Items(i);
        if (child->Name() == element && Attribute(*child, attribute) == value)
            return child;
    }
    return nullptr;
}

// The "pcs" element of a software for a 3-character PCS, or the one for its first two characters.
TXMLItem* TVirtualSimXml::FindPcs(const std::string& software, const std::string& pcs) {
    return FindPcsIn(FindItem("software", "name", DocumentElement(), software), pcs);
}

TXMLItem* TVirtualSimXml::FindPcsIn(TXMLItem* software, const std::string& pcs) {
    if (!software)
        return nullptr;
    TXMLItem* p = FindItem("pcs", "name", software, pcs);
    if (!p && pcs.size() == 3)
        p = FindItem("pcs", "name", software, pcs.substr(0, 2));
    return p;
}

TXMLItem* TVirtualSimXml::GetItemToUse(const std::string& software, const std::string& pcs) {
    std::map<std::string, TXMLItem*> softwares;
    if (TXMLItem* root = DocumentElement())
        for (int i = 0; i < root->Count(); ++i)
            if (TXMLItem* child = root->Items(i); child->Name() == "software")
                softwares.emplace(Attribute(*child, "name"), child);
    const auto softwareNamed = [&softwares](const std::string& name) {
        const auto found = softwares.find(name);
        return found == softwares.end() ? nullptr : found->second;
    };
    // A chain of redirections that comes back to an element it passed would never end.
    std::set<const TXMLItem*> visited;
    std::string sw = software;
    std::string p = pcs;
    for (;;) {
        DebugLog(FormatText("GetItemToUse: Software %s, PCS %s", sw.c_str(), p.c_str()));
        TXMLItem* item = FindPcsIn(softwareNamed(sw), p);
        if (!item || !visited.insert(item).second)
            return nullptr;
        const int use = item->IndexOfName("use");
        if (use < 0)
            return item;
        const TXMLItem* redirection = item->Items(use);
        const std::string useSoftware = Attribute(*redirection, "software");
        const std::string usePcs = Attribute(*redirection, "pcs");
        if (useSoftware.empty() && usePcs.empty())
            return item;
        sw = useSoftware;
        p = usePcs;
    }
}

bool TVirtualSimXml::IsCompatible(const std::string& software, const std::string& pcs,
                                  const std::string& filePcs) {
    TXMLItem* p = FindPcs(software, pcs);
    if (!p)
        return false;
    if (FindItem("compatible", "pcs", p, filePcs))
        return true;
    return filePcs.size() == 3 && FindItem("compatible", "pcs", p, filePcs.substr(0, 2));
}

void TVirtualSimXml::ReadAddressLists() {
    const std::string entry =
        "software " + Attribute(*ItemToUse->Parent(), "name") + ", PCS " + Attribute(*ItemToUse, "name");
    bool lastEntry = false;
    for (int i = 0; i < ItemToUse->Count(); ++i) {
        const TXMLItem* child = ItemToUse->Items(i);
        const std::string address = Attribute(*child, "address");
        // A range that ends below its start would mark nothing: addresses meant to be kept would be
        // written over, and those meant to be erased would stay.
        if ((child->Name() == "protect" || child->Name() == "delete") && address.size() == RangeLength &&
            address[AddressLength] == '-' &&
            Hex2Int64(address.substr(AddressLength + 1)) < Hex2Int64(address.substr(0, AddressLength))) {
            DebugLog(FormatText("Error - reversed range %s", address.c_str()));
            throw ESimList(FormatText(Texts::SimListReversedRange, PrintableText(entry).c_str(),
                                      child->Name().c_str(), PrintableText(address).c_str()));
        }
        if (child->Name() == "last_entry") {
            DebugLog(FormatText("Last Entry: %s", address.c_str()));
            LastEntry = uint16_t(Hex2Int64(address) & 0xFFFF);
            lastEntry = true;
        } else if (child->Name() == "protect") {
            DebugLog(FormatText("Protect: %s", address.c_str()));
            AddProtect(address);
        } else if (child->Name() == "delete") {
            DebugLog(FormatText("Delete: %s", address.c_str()));
            AddDelete(address);
        }
    }
    if (!lastEntry) {
        DebugLog("Error - no last entry");
        throw ESimList(FormatText(Texts::SimListNoLastEntry, PrintableText(entry).c_str()));
    }
}

std::string TVirtualSimXml::MajorVersion(const std::string& version) {
    const size_t dot = version.find('.');
    if (version.size() <= 2 || dot == std::string::npos || dot < 1)
        return {};
    return version.substr(0, dot);
}
