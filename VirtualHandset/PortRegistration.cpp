#include "PortRegistration.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kFirstDefaultNumber = 10;
constexpr int kLastDefaultNumber = 50;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Creates every missing folder of path.
bool MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!part.empty() && mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

std::optional<pid_t> RegisteredPid(const std::string& path) {
    std::ifstream file(path);
    std::string device;
    long pid = 0;
    if (!std::getline(file, device) || !(file >> pid) || pid <= 0)
        return std::nullopt;
    return static_cast<pid_t>(pid);
}

bool IsAlive(pid_t pid) {
    return kill(pid, 0) == 0 || errno == EPERM;
}

bool IsLive(const std::string& path) {
    const auto pid = RegisteredPid(path);
    return pid && IsAlive(*pid);
}

} // namespace

std::string PerUserDir() {
    if (const std::string dir = Env("QUORVEL_CONFIG_DIR"); !dir.empty())
        return dir;
    if (const std::string xdg = Env("XDG_CONFIG_HOME"); !xdg.empty())
        return xdg + "/Quorvel";
    return Env("HOME") + "/.config/Quorvel";
}

TPortRegistration::TPortRegistration(const std::string& device, std::optional<int> number, bool write)
    : folder_(PerUserDir() + "/virtual-ports") {
    if (write && !MakeFolders(folder_))
        throw ERegistrationError("cannot create " + folder_ + ": " + std::strerror(errno));
    const int first = number.value_or(kFirstDefaultNumber);
    const int last = number.value_or(kLastDefaultNumber);
    for (int n = first; n <= last && number_ == 0; ++n) {
        if (IsLive(PathOf(n)))
            continue;
        if (!write || Claim(n, device))
            number_ = n;
    }
    if (number_ == 0 && number)
        throw ERegistrationError("COM" + std::to_string(*number) + " is taken by another virtual handset");
    if (number_ == 0)
        throw ERegistrationError("COM10 to COM50 are all taken by virtual handsets");
}

std::string TPortRegistration::PathOf(int number) const {
    return folder_ + "/COM" + std::to_string(number);
}

bool TPortRegistration::Claim(int number, const std::string& device) {
    const std::string path = PathOf(number);
    const std::string temp = path + ".tmp." + std::to_string(getpid());
    {
        std::ofstream file(temp, std::ios::trunc);
        file << device << '\n' << getpid() << '\n';
        if (!file.flush())
            throw ERegistrationError("cannot write " + temp);
    }
    // link() claims a free number atomically, so two handsets starting together never share one; a
    // stale file is replaced.
    bool claimed = link(temp.c_str(), path.c_str()) == 0;
    const int error = claimed ? 0 : errno;
    if (error == EEXIST && !IsLive(path))
        claimed = rename(temp.c_str(), path.c_str()) == 0;
    unlink(temp.c_str());
    if (!claimed && error != EEXIST)
        throw ERegistrationError("cannot register COM" + std::to_string(number) + ": " +
                                 std::strerror(error));
    if (claimed) {
        path_ = path;
        written_ = true;
    }
    return claimed;
}

TPortRegistration::~TPortRegistration() {
    Remove();
}

void TPortRegistration::Remove() {
    if (!written_)
        return;
    written_ = false;
    if (RegisteredPid(path_) == getpid())
        unlink(path_.c_str());
}
