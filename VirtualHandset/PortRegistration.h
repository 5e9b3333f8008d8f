#pragma once

#include <optional>
#include <stdexcept>
#include <string>

class ERegistrationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr int kMaxPortNumber = 254;

// $QUORVEL_CONFIG_DIR, else $XDG_CONFIG_HOME/Quorvel, else $HOME/.config/Quorvel.
std::string PerUserDir();

// The handset's entry in the device map: the file "virtual-ports/COMn" in the per-user folder, holding
// the device path and the process id, for as long as the handset runs.
class TPortRegistration {
public:
    // The lowest free number from 10 to 50 unless `number` is given. Without `write` only the number
    // is chosen. Raises ERegistrationError when the number is taken or the file cannot be written.
    TPortRegistration(const std::string& device, std::optional<int> number, bool write);
    ~TPortRegistration();
    TPortRegistration(const TPortRegistration&) = delete;
    TPortRegistration& operator=(const TPortRegistration&) = delete;

    int Number() const { return number_; }
    // Removes the file unless another handset has taken the number over meanwhile.
    void Remove();

private:
    std::string PathOf(int number) const;
    // False when another handset holds the number.
    bool Claim(int number, const std::string& device);

    std::string folder_;
    std::string path_;
    int number_ = 0;
    bool written_ = false;
};
