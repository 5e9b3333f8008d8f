#pragma once

#include "link/HandsetConnection.h"
#include "link/Sndmail.h"
#include "lists/PP5Phonebook.h"
#include "platform/UserInteraction.h"

#include <cstdint>
#include <functional>
#include <string>

// The main window's work without the window: the engine and its settings, the connection step, the
// questions a connected handset is asked, and the lists the operations work on. The window, the command-line
// tool and the tests run the same code through it; the person is reached only through the user-interaction
// interface.
class TMainCore : public THandsetConnection {
public:
    static constexpr int StartPhonebookCount = 200;
    static constexpr int32_t HandsetBaudRate = 115200;

    explicit TMainCore(TUserInteraction& ui);

    TSendmail& Engine() override { return Sendmail; }
    TUserInteraction& User() { return Ui; }

    // The engine as the main window configures it after creating it.
    void ConfigureEngine();
    void SetReadTimeouts() override;
    void SetWriteTimeouts() override;

    // The port chosen in the connection settings (its "COMn" number); ConnectAt opens this one.
    int SelectedPort = 1;

    // Probes the selected port at rate: 1..6 the try that answered, 0 no answer, -1 no open port.
    int ConnectAt(int32_t rate);
    int Connect() { return ConnectAt(HandsetBaudRate); }

    // The first step of every handset operation: connect, then ask the handset what it supports.
    int ConnectHandset() override;

    // What the connected handset is. Raises std::runtime_error when it does not identify itself.
    void ReadHandsetSoftware(std::string& software, std::string& pcs);
    uint8_t DetectHandsetLevel();
    uint8_t ReadModelByte();
    bool HasAdvancedSettings() const { return HandsetLevel == 6 || HandsetLevel == 7; }
    int ReadPhoneBookCapacity();
    void ReadMaxMailLength();

    uint8_t HandsetLevel = 0;
    // Facts of the last connection, for those who show them.
    int PhoneBookCapacity = 0;
    std::string Software;
    std::string Pcs;
    uint8_t ModelByte = 0;

    // The phone book grid's font sizes: the next size up or down from size, and the row height for a size.
    static int FontSizeAfter(int size, bool increase);
    static int GridRowHeight(int size);

    // The phone book the operations read into and write from. Its count follows the connected
    // handset's capacity.
    TPP5Phonebook Phonebook;

    // Called by ConnectHandset with the capacity and the level it found (after the phone book's count
    // has been set), so that the grid and the profile controls follow the handset.
    std::function<void(int capacity)> ResizePhonebook;
    std::function<void(uint8_t level)> ApplyHandsetLevel;

private:
    TUserInteraction& Ui;
    TSendmail Sendmail;
};
