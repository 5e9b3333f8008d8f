#pragma once

#include "xml/ECXMLParser.h"

#include <bitset>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

// No entry of the interpreter list applies to the handset.
class ESimSoftware : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The entry for a handset is there but says something that cannot be so (a range that ends before it
// begins, no last address): a SIM moved by it would lose or overwrite memory, so it is not used.
class ESimList : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One handset as the SIM transfer sees it: its software and PCS, how far its SIM reaches, which
// addresses are never written back and which are erased once the SIM has been moved out.
class TSimValues {
public:
    static constexpr int AddressCount = 65536;

    TSimValues() = default;
    TSimValues(std::string software, std::string pcs);

    // Mark one address ("0040") or an inclusive range ("0196-01B9"). False, and nothing marked, for any
    // other form. Digits that are not hexadecimal raise ENumberConvertingError.
    bool AddProtect(const std::string& address);
    bool AddDelete(const std::string& address);
    bool IsProtected(uint16_t address) const { return Protect[address]; }
    bool IsDeleted(uint16_t address) const { return Delete[address]; }

    std::string Software;
    std::string Pcs;
    uint16_t LastEntry = 0;

private:
    static bool Mark(std::bitset<AddressCount>& flags, const std::string& address);

    std::bitset<AddressCount> Protect;
    std::bitset<AddressCount> Delete;
};

// The SIM interpreter list: which entry describes a handset's software and PCS, its address lists, and
// which PCS' SIM files a handset takes.
class TVirtualSimXml : public TSimValues {
public:
    static constexpr size_t MaxInfoLength = 20;

    // The list's version and date only; the document is not kept. Load errors reach the caller.
    explicit TVirtualSimXml(const std::string& fileName);
    // The entry for this handset and its address lists. Raises ESimSoftware when the list has none, and
    // the load or conversion error of a list it cannot read.
    TVirtualSimXml(const std::string& fileName, const std::string& software, const std::string& pcs);
    ~TVirtualSimXml();
    TVirtualSimXml(const TVirtualSimXml&) = delete;
    TVirtualSimXml& operator=(const TVirtualSimXml&) = delete;

    // The "pcs" element that applies, after every "use" redirection; nullptr when none does.
    TXMLItem* GetItemToUse(const std::string& software, const std::string& pcs);
    // Whether a SIM file taken from a handset with filePcs may be written into this handset.
    bool IsCompatible(const std::string& software, const std::string& pcs, const std::string& filePcs);
    // The first child of parent named element (case counts) whose attribute equals value.
    static TXMLItem* FindItem(const std::string& element, const std::string& attribute, TXMLItem* parent,
                              const std::string& value);
    // The part before the first "." of a version such as "2.01"; empty for "2" or ".5x".
    static std::string MajorVersion(const std::string& version);

    TXMLItem* DocumentElement() const;

    TXMLItem* ItemToUse = nullptr;
    std::string Version;
    std::string Date;

private:
    void Load(const std::string& fileName);
    void GetDocumentInfo();
    TXMLItem* FindPcs(const std::string& software, const std::string& pcs);
    // The same in the software elements by name (the first of each name), which a long chain of
    // redirections looks up once a step.
    static TXMLItem* FindPcsIn(TXMLItem* software, const std::string& pcs);
    void ReadAddressLists();

    std::unique_ptr<TECXMLParser> Document;
};
