#include "cli/DoctorCommands.h"

#include "cli/JsonOutput.h"
#include "cli/TerminalUser.h"
#include "core/MainCore.h"
#include "link/ConnectionSettings.h"
#include "link/LowLatency.h"
#include "link/NumberConverting.h"
#include "link/SendMailHandling.h"
#include "link/StopRequest.h"
#include "link/TpaProComImpl.h"
#include "platform/DeviceMap.h"

#include <QJsonArray>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

// doctor probes fewer times than the connection step: a port that is there answers the first.
constexpr int DoctorProbeTries = 3;
constexpr auto ProbePause = 300ms;
// How many of a stranger's bytes a report shows.
constexpr int ShownBytes = 8;
constexpr const char* PortsGroup = "dialout";
constexpr const char* PlugIn = "plug the docking station in, or check the cable";
// A USB adapter's latency timer above this holds answers back noticeably: every mail waits for its answer.
constexpr int SlowLatencyMs = 2;

// What one port was found to be. state: missing, permission, busy, silent, no-handset, wrong-device,
// error or ok.
struct TFinding {
    std::string state;
    // What is wrong, or what answered.
    std::string found;
    // What to do; empty when all is well.
    std::string advice;
    // Facts for the JSON document: the holder of a busy port, what a well handset told.
    QJsonObject more{};
};

std::string PortName(int n) {
    return "COM" + std::to_string(n);
}

TFinding Busy(const std::string& holder) {
    if (holder.empty())
        return {"busy", "is in use by another program, one this user cannot see",
                "close the program that uses it (sudo fuser -v on the device names it) and try again"};
    const std::string advice =
        holder.starts_with("ModemManager")
            ? "stop ModemManager, or tell it to leave the port alone (udev ENV{ID_MM_DEVICE_IGNORE}=\"1\")"
            : "close " + holder + " and try again";
    return {"busy", "is in use by " + holder, advice, {{"holder", QString::fromStdString(holder)}}};
}

// Whether this user is listed in the group database as a member of gid, and whether this process holds
// the group now (a group joined after the login is not held until the next one).
struct TMembership {
    bool listed = false;
    bool held = false;
};

TMembership MembershipOf(gid_t gid, const std::vector<std::string>& members) {
    TMembership membership;
    const passwd* user = getpwuid(getuid());
    const std::string name = user ? user->pw_name : "";
    membership.listed =
        (user && user->pw_gid == gid) || std::find(members.begin(), members.end(), name) != members.end();
    membership.held = getegid() == gid;
    const int count = getgroups(0, nullptr);
    std::vector<gid_t> groups(size_t(std::max(count, 0)));
    if (count > 0 && getgroups(count, groups.data()) == count)
        membership.held = membership.held || std::find(groups.begin(), groups.end(), gid) != groups.end();
    return membership;
}

struct TGroup {
    std::string name;
    gid_t gid = 0;
    std::vector<std::string> members;
    bool exists = false;
};

TGroup GroupOf(const group* entry) {
    TGroup result;
    if (!entry)
        return result;
    result.name = entry->gr_name;
    result.gid = entry->gr_gid;
    for (char** member = entry->gr_mem; member && *member; ++member)
        result.members.emplace_back(*member);
    result.exists = true;
    return result;
}

std::string JoinAdvice(const std::string& group) {
    return "join the group " + group + " (sudo usermod -aG " + group + " $USER) and log in again";
}

// A device that refused to open for want of rights: which group would let this user in, and whether
// the user is in it, in the group database, or in this login too.
TFinding PermissionFinding(const std::string& device) {
    struct stat info {};
    const bool known = stat(device.c_str(), &info) == 0;
    const bool groupMayUse = known && (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    TGroup group = GroupOf(groupMayUse ? getgrgid(info.st_gid) : getgrnam(PortsGroup));
    if (groupMayUse && !group.exists) {
        group.name = std::to_string(info.st_gid);
        group.gid = info.st_gid;
        group.exists = true;
    }
    const TMembership membership = group.exists ? MembershipOf(group.gid, group.members) : TMembership{};
    const std::string name = group.exists ? group.name : PortsGroup;
    TFinding finding{"permission", "may not be opened (", ""};
    if (groupMayUse) {
        if (!membership.listed) {
            finding.found += "you are not in the group " + name + ", which may use it)";
            finding.advice = JoinAdvice(name);
        } else if (!membership.held) {
            finding.found += "you joined the group " + name + " after this login began)";
            finding.advice = "log out and in again (or run newgrp " + name + ") for the group to take effect";
        } else {
            finding.found += "you are in its group " + name + ", and still it refuses)";
            finding.advice = "ask the administrator for read and write access to it";
        }
    } else {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", known ? unsigned(info.st_mode & 07777) : 0u);
        finding.found += known ? std::string("its mode ") + mode + " lets no group read and write it)"
                               : "you may not even look at it)";
        finding.advice = "replug the docking station, so that the udev rule 60-quorvel.rules gives it the "
                         "group " +
                         name + " and mode 0660 (or ask the administrator)";
        if (!membership.listed)
            finding.advice += "; also " + JoinAdvice(name);
        else if (!membership.held)
            finding.advice += "; also log in again for the group " + name + " to take effect";
    }
    finding.more = {{"group", QString::fromStdString(name)},
                    {"member", membership.listed},
                    {"groupHeld", membership.held}};
    return finding;
}

TFinding OpenFailure(const TPortFailure& failure) {
    using Kind = TPortFailure::Kind;
    switch (failure.kind) {
    case Kind::NotMapped:
    case Kind::NotFound:
    case Kind::Lost:
        return {"missing", "is gone", PlugIn};
    case Kind::Busy:
        return Busy(PortHolder(failure.device));
    case Kind::PermissionDenied:
        return PermissionFinding(failure.device);
    case Kind::None:
    case Kind::Other:
        break;
    }
    return {"error", "could not be opened: " + failure.detail,
            "check that it is a serial port (the kernel log, sudo dmesg, tells what the system saw)"};
}

// What came back to one probe, the best last: an answer in the shape of one whose checksum does not add
// up is a docking station heard through a bad line, not another device.
enum class THeard { Nothing, Echo, Stranger, Damaged, Answer };

THeard Heard(const TMail& mail) {
    if (mail.AnswerOK && !mail.AnswerText.empty())
        return THeard::Answer;
    if (mail.RxCount == 0)
        return THeard::Nothing;
    const int echoed = std::min<int>(mail.RxCount, mail.TxLength);
    for (int i = 1; i <= echoed; ++i)
        if (RxByte(mail, i) != mail.TxFrame[size_t(i - 1)])
            return THeard::Stranger;
    if (mail.RxCount <= mail.TxLength)
        return THeard::Echo;
    return AnswerLength(mail) > 0 && !ChecksumOK(mail) ? THeard::Damaged : THeard::Stranger;
}

// Probes the open port and, when the handset answers, asks it what it is.
TFinding ProbeFinding(TMainCore& core) {
    TMailControl& engine = core.Engine();
    engine.Apply(EngineProfileFor(TEngineUse::Probe));
    THeard best = THeard::Nothing;
    std::string stranger;
    for (int attempt = 1; attempt <= DoctorProbeTries && best != THeard::Answer && !StopRequested();
         ++attempt) {
        if (attempt > 1)
            engine.Pause(ProbePause);
        engine.SendMail(ProbeMail);
        if (!engine.IsPortOpen())
            return {"missing", "went away during the probe", PlugIn};
        const THeard heard = Heard(engine.Transaction());
        if (heard == THeard::Stranger && stranger.empty()) {
            const TMail& mail = engine.Transaction();
            stranger =
                HexWithTrailingSpaces({mail.RxBuf.data() + 1, std::min<size_t>(mail.RxCount, ShownBytes)});
            if (!stranger.empty() && stranger.back() == ' ')
                stranger.pop_back();
            if (mail.RxCount > ShownBytes)
                stranger += " ...";
        }
        best = std::max(best, heard);
    }
    switch (best) {
    case THeard::Nothing:
        return {"silent", "opens, but nothing comes back to a probe", "is the docking station switched on?"};
    case THeard::Echo:
        return {"no-handset", "echoes the probe, but no handset answers",
                "put the handset in its docking station"};
    case THeard::Stranger:
        return {"wrong-device",
                "answers with bytes that are not a docking station's (" + stranger + ")",
                "it is some other device; name the docking station's port (\"quorvel-cli ports\" lists them)",
                {{"received", QString::fromStdString(stranger)}}};
    case THeard::Damaged:
        return {"damaged", "answers, but its answers are damaged (their checksums do not add up)",
                "check the cable and its plugs, that nothing else shares the line, and the line's speed "
                "(115200 baud, 8N1); noise on a long or unshielded cable does this too"};
    case THeard::Answer:
        break;
    }
    core.DetectHandsetLevel();
    core.ReadSerialNumber();
    const std::string software = core.Software.empty() ? "not told" : core.Software;
    const std::string pcs = core.Pcs.empty() ? "not told" : core.Pcs;
    const std::string serial = core.Handset.SerialText();
    return {"ok",
            "has its handset: software " + software + ", PCS " + pcs + ", serial " + serial,
            "",
            {{"software", JsonText(core.Software)},
             {"pcs", JsonText(core.Pcs)},
             {"serial", core.Handset.serial ? QJsonValue(JsonText(*core.Handset.serial)) : QJsonValue()}}};
}

// What an adapter's latency timer costs, and the one command that lowers it.
std::string LatencyCost(int ms, const std::string& file) {
    return "each answer waits up to " + std::to_string(ms) + " ms: a 200-entry write takes about " +
           std::to_string(2 + ms) + " s instead of 2 s; lower the timer with: echo 1 | sudo tee " + file +
           " (the package's udev rule 60-quorvel.rules sets it when the adapter is plugged in)";
}

// A USB adapter whose latency timer holds answers back: before the port was opened, and while it is open
// with low latency asked for.
void AddLatency(TFinding& finding, const std::optional<TLatencyTimer>& before,
                const std::optional<TLatencyTimer>& open) {
    if (!before || before->Ms <= SlowLatencyMs)
        return;
    finding.more["latencyTimer"] = before->Ms;
    if (open && open->Ms <= SlowLatencyMs) {
        finding.found += "; its USB adapter's latency timer is " + std::to_string(before->Ms) +
                         " ms, which Quorvel lowers to " + std::to_string(open->Ms) +
                         " ms while it has the port, but other programs wait for it";
        if (finding.advice.empty())
            finding.advice = LatencyCost(before->Ms, before->File);
        return;
    }
    const int ms = open ? open->Ms : before->Ms;
    finding.state = "slow";
    finding.found += "; but its USB adapter holds every answer back for its latency timer of " +
                     std::to_string(ms) + " ms, and its driver did not take the request for low latency";
    finding.advice = LatencyCost(ms, before->File);
}

TFinding Examine(int n, const std::optional<std::string>& device) {
    if (!device)
        return {"missing", "has no device in the device map",
                std::string(PlugIn) + "; \"quorvel-cli ports\" lists the ports there are"};
    struct stat info {};
    if (stat(device->c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR))
        return {"missing", "is gone", PlugIn};
    // Opening a port another program holds would take it from under that program.
    if (const std::string holder = OtherHolder(*device); !holder.empty())
        return Busy(holder);

    TTerminalUser user(true);
    TTpaProComImpl link;
    TMainCore core(user, link);
    core.SelectedPort = n;
    core.ConfigureEngine();
    const std::optional<TLatencyTimer> before = AdapterLatencyTimer(*device);
    if (!core.Engine().OpenPort(uint8_t(n), TMainCore::HandsetBaudRate))
        return OpenFailure(link.LastFailure());
    TFinding finding = ProbeFinding(core);
    if (finding.state == "ok")
        AddLatency(finding, before, AdapterLatencyTimer(*device));
    core.Engine().ClosePort();
    return finding;
}

// The ports --port names (COMn, n or a device path, several split by commas); without it, or with
// "all", every port of the device map, and the program's own port when its device has gone.
std::vector<int> PortsToExamine(const TGlobalOptions& options) {
    std::vector<int> ports;
    if (options.port && *options.port != "all") {
        if (options.port->starts_with('@'))
            throw TUsageError(
                "doctor takes --port COMn, a port number or a device path, not a file of ports");
        size_t start = 0;
        while (start <= options.port->size()) {
            const size_t end = std::min(options.port->find(',', start), options.port->size());
            const std::string name = options.port->substr(start, end - start);
            if (name.empty())
                throw TUsageError("--port: an empty port name in \"" + *options.port + "\"");
            const int n = ResolvePort(name);
            if (std::find(ports.begin(), ports.end(), n) == ports.end())
                ports.push_back(n);
            start = end + 1;
        }
        return ports;
    }
    for (const auto& [n, device] : DeviceMap::PresentPorts())
        ports.push_back(n);
    if (!ConnectionSettings::DeviceNoMissing()) {
        const int stored = ConnectionSettings::ReadDeviceNo();
        if (stored >= 1 && stored <= DeviceMap::MaxPortNumber &&
            std::find(ports.begin(), ports.end(), stored) == ports.end() && DeviceMap::DeviceOf(stored)) {
            ports.push_back(stored);
            std::sort(ports.begin(), ports.end());
        }
    }
    return ports;
}

int Doctor(const TGlobalOptions& options) {
    if (!options.args.empty())
        throw TUsageError("usage: quorvel-cli doctor (the ports come from --port)");
    const std::vector<int> ports = PortsToExamine(options);
    QJsonArray list;
    if (ports.empty()) {
        AddJson({{"ports", list}});
        throw TCommandFailure(std::string("No serial port is known: ") + PlugIn + ".");
    }
    bool allWell = true;
    for (const int n : ports) {
        if (StopRequested())
            return Exit::Failed;
        const std::optional<std::string> device = DeviceMap::DeviceOf(n);
        const TFinding finding = Examine(n, device);
        // A probe cut short by Ctrl-C tells nothing about the port.
        if (StopRequested())
            return Exit::Failed;
        allWell = allWell && finding.state == "ok";
        QJsonObject entry{{"port", QString::fromStdString(PortName(n))},
                          {"device", device ? QJsonValue(JsonPath(*device)) : QJsonValue()},
                          {"state", QString::fromStdString(finding.state)},
                          {"found", QString::fromStdString(finding.found)},
                          {"advice", QString::fromStdString(finding.advice)}};
        for (auto it = finding.more.begin(); it != finding.more.end(); ++it)
            entry[it.key()] = it.value();
        list.append(entry);
        if (!options.json) {
            const std::string named = device ? PortName(n) + " (" + *device + ")" : PortName(n);
            std::string line = named + " " + finding.found;
            if (!finding.advice.empty())
                line += ": " + finding.advice;
            if (line.back() != '?')
                line += '.';
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        }
    }
    AddJson({{"ports", list}});
    return allWell ? Exit::Done : Exit::Failed;
}

} // namespace

std::vector<TCommand> DoctorCommands() {
    return {
        {"doctor",
         {{"",
           "",
           "tell what keeps each serial port from its handset",
           "Examines every port of the device map, or those --port names, and prints one line for each\n"
           "with what to do: a device that is gone, a port this user may not open (and whether joining\n"
           "the group dialout, or a new login, is what is missing), a port another program holds (named\n"
           "with its process; such a port is left alone), a docking station that is silent, one without\n"
           "its handset, a device that is no docking station, or the handset's software, PCS and serial\n"
           "number when all is well; a USB adapter that holds each answer back for its latency timer (more\n"
           "than 2 ms) is named with what that costs and the command that lowers the timer. Exit status 0\n"
           "only when every port is well.\n",
           {},
           "quorvel-cli doctor --port COM3",
           false,
           false}},
         Doctor},
    };
}
