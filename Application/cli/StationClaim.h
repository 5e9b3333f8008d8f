#pragma once

#include <optional>
#include <string>

// A station's hold on one docking station's port: one station at a time provisions it. The hold is a
// lock on a file of the device's own in the system's lock folder, held for as long as the station runs
// and let go by the kernel when it ends, however it ends; the file names the station that holds it, so
// that a second one can say who.
class TStationClaim {
public:
    TStationClaim(TStationClaim&& other) noexcept;
    TStationClaim& operator=(TStationClaim&& other) noexcept;
    TStationClaim(const TStationClaim&) = delete;
    TStationClaim& operator=(const TStationClaim&) = delete;
    ~TStationClaim();

    // Takes the device for this station (what: "station watch office/"); nothing when another station
    // holds it, with holder set to who ("quorvel-cli station watch office/, process 812 of alice").
    static std::optional<TStationClaim> Take(const std::string& device, const std::string& what,
                                             std::string& holder);

private:
    explicit TStationClaim(int fd)
        : Fd(fd) {}
    int Fd = -1;
};

class QProcess;

// A program the station starts ends with it: when the station ends, however it ends (a kill too), the
// kernel sends the program SIGTERM, which stops it at its next safe point. ownGroup puts it in a process
// group of its own, so that the person's Ctrl-C reaches the station alone.
void EndWithStation(QProcess& process, bool ownGroup);
