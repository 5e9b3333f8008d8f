#pragma once

#include "link/HandsetCapabilities.h"
#include "link/HandsetConnection.h"
#include "link/Sndmail.h"
#include "lists/BroadcastGroups.h"
#include "lists/PP5Phonebook.h"
#include "lists/SpeedDial.h"
#include "platform/UserInteraction.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// The main window's work without the window: the engine over the link it is given, its settings, the
// connection step, the questions a connected handset is asked, and the lists the operations work on.
// The window and the command-line tool give it the serial port, the tests an in-process link; the
// person is reached only through the user-interaction interface.
class TMainCore : public THandsetConnection {
public:
    static constexpr int StartPhonebookCount = 200;
    static constexpr int32_t HandsetBaudRate = HandsetCapabilities::HandsetBaudRate;

    TMainCore(TUserInteraction& ui, TVirtualCom& link);
    ~TMainCore() override;
    TMainCore(const TMainCore&) = delete;
    TMainCore& operator=(const TMainCore&) = delete;

    // "The docking station on COM10 went away …" while the line is lost; empty otherwise.
    std::string LineLostText();

    TMailControl& Engine() override { return Sendmail; }
    TVirtualCom& Link() { return Sendmail.Link(); }
    TUserInteraction& User() { return Ui; }

    // The engine as the main window configures it after creating it.
    void ConfigureEngine();

    // The port chosen in the connection settings (its "COMn" number); ConnectAt opens this one.
    int SelectedPort = 1;
    // A command that runs several operations on one handset in a row (a provisioning) connects once:
    // while the line holds, each later connection step takes the handset the first one found, without
    // probing it again.
    bool KeepConnection = false;

    // Probes the selected port at rate: 1..6 the try that answered, 0 no answer, -1 no open port.
    int ConnectAt(int32_t rate);
    int Connect() { return ConnectAt(HandsetBaudRate); }

    // The first step of every handset operation: connect, then ask the handset what it supports and
    // tell the person (HandsetConnected).
    TConnectResult ConnectHandset() override;
    std::optional<uint8_t> HandsetLevelNow() const override;
    THandsetIdentity Identity() const override { return Handset; }

    // What the connected handset is: false when it does not tell (no answer, or one that is no software
    // and PCS).
    bool ReadHandsetSoftware(std::string& software, std::string& pcs);
    uint8_t DetectHandsetLevel();
    bool HasAdvancedSettings() const { return HandsetCapabilities::HasAdvancedSettings(HandsetLevel); }
    int ReadPhoneBookCapacity();
    void ReadMaxMailLength();
    std::optional<int> AskHandset(const char* mail, std::span<uint8_t> answer);
    // The serial number of the SIM the handset holds, into Handset; one memory read.
    void ReadSerialNumber();

    uint8_t HandsetLevel = 0;
    // The handset answered the questions its level follows from; without them HandsetLevel is 0.
    bool LevelKnown = false;
    // Facts of the last connection, for those who show them.
    int PhoneBookCapacity = 0;
    std::string Software;
    std::string Pcs;
    uint8_t ModelByte = 0;
    // Which handset the last connection found: port, serial number, software and PCS.
    THandsetIdentity Handset;
    // The last connection found a handset and it was taken (false while a connection is under way).
    bool HandsetFound = false;

    // The phone book the operations read into and write from. Its count follows the connected
    // handset's capacity.
    TPP5Phonebook Phonebook;
    // The speed dial list and the broadcast groups the operations read into and write from.
    TPP5SpeedDial SpeedDial;
    TBroadcastGroups BroadcastGroups;

private:
    TUserInteraction& Ui;
    TMailControl Sendmail;
    // The engine's count of lost lines when the person was last told of one.
    uint32_t LossesTold = 0;
};
