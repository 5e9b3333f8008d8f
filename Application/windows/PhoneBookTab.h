#pragma once

#include "lists/PhonebookTransfer.h"
#include "windows/MainTab.h"

#include <memory>

class TPhoneBookGrid;

// The "Phone Book" tab: the grid of the PC's phone book, the handset operations, the .phb files, the
// contacts import and the grid's font size.
class TPhoneBookTab : public TMainTab {
    Q_OBJECT
public:
    static constexpr int DesignFontSize = 8;

    TPhoneBookTab(TMainCore& core, TUserInteraction& ui, QWidget* parent = nullptr);
    ~TPhoneBookTab() override;

    TPhoneBookGrid* Grid() const { return sgPhoneBook; }
    int GridFontSize() const { return FontSize; }

    void AddFileEntries(QMenu& file) override;
    void AddOptionEntries(QMenu& options) override;
    // "-outlook" offers "Get Outlook Contacts".
    void ApplySwitches(const QStringList& arguments) override;
    // The grid takes the font size kept in the program ini.
    bool WindowShown() override;
    void HandsetConnected(int phoneBookCapacity, uint8_t level) override;
    void ShowListEntry(int entry) override;

    // "Get Outlook Contacts" is offered only when the program was started with the switch.
    void ShowOutlookEntry(bool shown);
    // The font size kept in the program ini, given to the grid.
    void RestoreGridFont();

    void bbtnLoadFromPpClick();
    void bbtnSaveToPpClick();
    void bbtnDeleteInPpClick();
    void bbtnCleanGridClick();
    void miSavePhoneBookAsClick();
    void miOpenPhoneBookClick();
    void miOutlookContactsClick();
    void miFontDecreaseClick();
    void miFontIncreaseClick();

private:
    // Fills the table from the contacts in path, with the offers to make numbers dialable and names
    // storable, and reports what was taken.
    void ImportContacts(const std::string& path);
    // The grid's font, rows and columns, and the size kept in the program ini.
    void ApplyGridFont();

    TPhonebookTransfer Transfer;
    TPhoneBookGrid* sgPhoneBook;
    QAction* N5 = nullptr;
    QAction* miOutlookContacts = nullptr;
    int FontSize = DesignFontSize;
};
