#pragma once

#include <optional>
#include <string>

// Which handset an operation works on, as the connection step found it: the docking station's port and
// the serial number of the SIM the handset holds, beside its software and PCS. On a station of several
// docking stations it is what tells one handset from another in every report, backup and recording.
struct THandsetIdentity {
    // The "COMn" number of the docking station; 0 when not known.
    int port = 0;
    // The SIM's serial number text ("00291 0284280"); empty when the SIM has left the handset; nothing
    // when it could not be read.
    std::optional<std::string> serial;
    std::string software;
    std::string pcs;

    // What a person reads: "00291 0284280", "no SIM" or "not read".
    std::string SerialText() const;
    // The serial number as a file name may carry it: "00291-0284280", "noSIM" or "unknown".
    std::string FileTag() const;
    // "COM12"; empty when the port is not known.
    std::string PortName() const;
    // "00291 0284280 at COM12", for the line that says which handset a message is about.
    std::string Describe() const;
};

inline constexpr const char* NoSimText = "no SIM";
