#include "cli/LinkCommands.h"

#include "cli/CliSession.h"
#include "cli/Help.h"
#include "cli/JsonOutput.h"
#include "cli/PlanReport.h"
#include "cli/Summary.h"
#include "link/ConnectionSettings.h"
#include "link/HandsetChange.h"
#include "link/NumberConverting.h"
#include "link/OfferedPorts.h"
#include "link/PortHandling.h"
#include "link/SendMailHandling.h"
#include "link/StopRequest.h"
#include "platform/Backups.h"
#include "platform/DeviceMap.h"
#include "platform/TextFile.h"
#include "platform/Texts.h"

#include <cstdio>
#include <vector>

namespace {

constexpr int ConnectionWindowPorts = HighestOfferedPort;
constexpr int MemorySize = 0x10000;
constexpr int DumpWidth = 16;

void ExpectArgs(const TGlobalOptions& options, size_t count) {
    if (options.args.size() != count)
        RefuseCall(options.command);
}

int Ports(const TGlobalOptions& options) {
    ExpectArgs(options, 0);
    const TComPortTable table = ListComPorts();
    const auto devices = DeviceMap::PresentPorts();
    QJsonArray list;
    bool any = false;
    for (int n = 1; n <= ConnectionWindowPorts; ++n) {
        if (!table[size_t(n)])
            continue;
        any = true;
        const auto device = devices.find(n);
        const std::string path = device == devices.end() ? "" : device->second;
        if (options.json)
            list.append(QJsonObject{{"port", QString("COM%1").arg(n)}, {"device", JsonPath(path)}});
        else
            std::printf("COM%-4d %s\n", n, path.c_str());
    }
    for (const auto& [n, device] : devices)
        if (n > ConnectionWindowPorts)
            PrintMessage("COM" + std::to_string(n) + " (" + device + ") is above COM" +
                         std::to_string(ConnectionWindowPorts) +
                         ": the connection settings do not offer it.");
    if (options.json)
        AddJson({{"ports", list}});
    if (!any && !options.json)
        throw TCommandFailure(Texts::NoComPorts);
    return Exit::Done;
}

int Probe(const TGlobalOptions& options) {
    ExpectArgs(options, 0);
    TCliSession session(options);
    session.OpenPort();
    const int answered = session.Core().Connect();
    const std::string port = "COM" + std::to_string(session.Port());
    if (options.json)
        AddJson({{"answered", answered > 0}, {"probe", std::max(answered, 0)}});
    if (answered <= 0)
        throw TCommandFailure(std::string(Texts::CouldNotConnect) + " (" + port + ", no answer to " +
                              std::to_string(ProbeTries) + " probes)\r" + NoAnswerHint);
    if (!options.json)
        std::printf("%s (%s, probe %d of 6 answered)\n", Texts::ConnectedToHandset, port.c_str(), answered);
    return Exit::Done;
}

int SetPort(const TGlobalOptions& options) {
    ExpectArgs(options, 0);
    if (!options.port)
        throw TUsageError("set-port needs --port");
    const int n = ResolvePort(options.port);
    if (n > ConnectionWindowPorts)
        throw TUsageError("COM" + std::to_string(n) + " is above COM" +
                          std::to_string(ConnectionWindowPorts) +
                          ", which the connection settings do not offer");
    // A device path given here must still name the port when another program opens "COMn".
    const bool path = options.port->find('/') != std::string::npos;
    if (path && !DeviceMap::RecordDevice(n, *options.port))
        throw TCommandFailure("Could not record " + *options.port + " as COM" + std::to_string(n) + " in " +
                              DeviceMap::MapFilePath() + "; nothing was stored.");
    ConnectionSettings::WriteDeviceNo(n);
    const std::string port = "COM" + std::to_string(n);
    AddJson({{"port", QString::fromStdString(port)}, {"stored", true}});
    if (path)
        AddJson({{"device", JsonPath(*options.port)}});
    PrintResult(port + (path ? " (" + *options.port + ")" : std::string()) +
                " is the program's serial port now.");
    return Exit::Done;
}

int Info(const TGlobalOptions& options) {
    ExpectArgs(options, 0);
    TCliSession session(options);
    session.ConnectHandset();
    TMainCore& core = session.Core();
    if (options.json) {
        QJsonObject info{{"capacity", core.PhoneBookCapacity},
                         {"software", JsonText(core.Software)},
                         {"pcs", JsonText(core.Pcs)},
                         {"model", core.ModelByte},
                         {"level", core.HandsetLevel},
                         {"levelKnown", core.LevelKnown},
                         {"advancedSettings", core.HasAdvancedSettings()},
                         {"blockSize", core.Engine().BlockSize}};
        AddJson(info);
        return Exit::Done;
    }
    std::printf("%s\n", ConnectionResultText(TConnectResult::Connected).c_str());
    std::printf("Port:       COM%d\n", session.Port());
    std::printf("Serial:     %s\n", core.Handset.SerialText().c_str());
    std::printf("Capacity:   %d phone book entries\n", core.PhoneBookCapacity);
    std::printf("Software:   %s\n", core.Software.empty() ? "(not reported)" : core.Software.c_str());
    std::printf("PCS:        %s\n", core.Pcs.empty() ? "(not reported)" : core.Pcs.c_str());
    std::printf("Model byte: 0x%02X\n", core.ModelByte);
    std::printf("Level:      %d%s\n", core.HandsetLevel,
                !core.LevelKnown             ? " (not known: the handset did not tell what it is)"
                : core.HasAdvancedSettings() ? " (advanced settings)"
                                             : "");
    std::printf("Block size: %d bytes\n", core.Engine().BlockSize);
    return Exit::Done;
}

int Send(const TGlobalOptions& options) {
    const std::string& mail = options.form.Operand("MAIL");
    std::optional<bool> framed;
    if (const std::optional<std::string> layout = options.form.OneOf({"--framed", "--short"}))
        framed = *layout == "--framed";

    // A malformed mail is refused before the port is touched.
    TMail check;
    try {
        BuildFrame(check, mail);
    } catch (const std::exception& e) {
        throw TInputError(e.what());
    }
    const bool write = IsWriteMail(check);

    TCliSession session(options);
    session.OpenPort();
    TMailControl& engine = session.Engine();
    // The program's own operations expect the framed answer from the 0D commands only.
    const bool framedAnswer = framed.value_or(MailByte(check, 1) == FrameByte::FramedCommand);
    engine.Apply(EngineProfileFor(framedAnswer ? TEngineUse::Read : TEngineUse::Questions));
    const std::string answer = engine.SendMail(mail);
    if (write) {
        if (!engine.WriteVerified())
            throw TCommandFailure("Readback Error! - Writing failed!!");
        AddJson({{"mail", JsonText(engine.Transaction().MailText)}, {"verified", true}});
        PrintResult("Write verified.");
        return Exit::Done;
    }
    if (answer.empty())
        throw TCommandFailure("No valid answer to " + engine.Transaction().MailText + ".");
    AddJson({{"mail", JsonText(engine.Transaction().MailText)}, {"answer", JsonText(answer)}});
    PrintResult(answer);
    return Exit::Done;
}

void PrintDump(int start, const std::vector<uint8_t>& bytes, size_t count) {
    for (size_t row = 0; row < count; row += DumpWidth) {
        std::string hex, text;
        for (size_t i = row; i < row + DumpWidth && i < count; ++i) {
            hex += ByteToHex(bytes[i]) + " ";
            text += bytes[i] >= 0x20 && bytes[i] < 0x7F ? char(bytes[i]) : '.';
        }
        std::printf("%04X  %-48s |%s|\n", unsigned(start + row) & 0xFFFF, hex.c_str(), text.c_str());
    }
}

int ReadMemoryCommand(const TGlobalOptions& options) {
    ExpectArgs(options, 2);
    const int addr = int(ParseNumber(options.args[0], 0, MemorySize - 1, "ADDR"));
    const int count = int(ParseNumber(options.args[1], 1, MemorySize - addr, "COUNT"));

    TCliSession session(options);
    session.OpenPort();
    TMailControl& engine = session.Engine();
    engine.Apply(EngineProfileFor(TEngineUse::Questions));
    std::vector<uint8_t> bytes(size_t(count), 0xFF);
    // A count of 65536 does not fit the 16-bit block length: read it in two halves.
    size_t done = 0;
    while (done < size_t(count)) {
        const uint16_t part = uint16_t(std::min<size_t>(size_t(count) - done, 0x8000));
        const uint16_t got = engine.ReadBlock({bytes.data() + done, part}, part, uint16_t(addr + done));
        done += got;
        if (got < part)
            break;
    }
    if (JsonWanted()) {
        AddJson({{"address", addr},
                 {"count", int(done)},
                 {"bytes", QString::fromStdString(SpacedHex({bytes.data(), done}))}});
    } else {
        PrintDump(addr, bytes, done);
    }
    if (done < size_t(count)) {
        char where[64];
        std::snprintf(where, sizeof where, "0x%04X", unsigned(addr + done));
        throw TCommandFailure("Could not read handset memory at " + std::string(where) + " (" +
                              std::to_string(done) + " of " + std::to_string(count) + " bytes read).");
    }
    return Exit::Done;
}

std::string Hex4(int address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", unsigned(address));
    return text;
}

// Reads bytes.size() bytes of memory from addr; how many came.
size_t ReadMemoryBytes(TMailControl& engine, int addr, std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const uint16_t part = uint16_t(std::min<size_t>(bytes.size() - done, 0x8000));
        const uint16_t got = engine.ReadBlock({bytes.data() + done, part}, part, uint16_t(addr + done));
        done += got;
        if (got < part)
            break;
    }
    return done;
}

// A memory write's plan: a line for each byte, "~ 0x0100 00 -> 51" where it changes.
TWritePlan MemoryPlan(int addr, const std::vector<uint8_t>& held, const std::vector<uint8_t>& wanted,
                      int baud) {
    TWritePlan plan;
    plan.List = "memory";
    plan.Baud = baud;
    plan.Question =
        Counted(long(wanted.size()), "byte", "bytes") + " into the handset's memory at " + Hex4(addr) + "?";
    plan.Question = "Write " + plan.Question;
    for (size_t i = 0; i < wanted.size(); ++i) {
        const std::string was = SpacedHex({&held[i], 1});
        const std::string will = SpacedHex({&wanted[i], 1});
        plan.Lines.push_back(was == will
                                 ? TPlanLine{TPlanStep::Keep, Hex4(addr + int(i)), was, {}, {}, 0}
                                 : TPlanLine{TPlanStep::Change, Hex4(addr + int(i)), was, will, {}, 0});
    }
    // Each piece written and read back, then the read after the write.
    if (plan.ChangesHandset())
        plan.Cost.Add(3, int64_t(wanted.size()) + 20);
    return plan;
}

int WriteMemoryCommand(const TGlobalOptions& options) {
    ExpectArgs(options, 2);
    const int addr = int(ParseNumber(options.args[0], 0, MemorySize - 1, "ADDR"));
    std::vector<uint8_t> data;
    try {
        data = MailBytes(options.args[1]);
    } catch (const std::exception& e) {
        throw TInputError(e.what());
    }
    if (data.empty() || data.size() > size_t(MemorySize - addr))
        throw TUsageError("HEXBYTES must hold 1 to " + std::to_string(MemorySize - addr) + " bytes");

    TCliSession session(options);
    session.OpenPort();
    TMailControl& engine = session.Engine();
    engine.Apply(EngineProfileFor(TEngineUse::Questions));
    THandsetChange change(session.Core(), session.User());
    // What the memory holds there now: the plan is made from it and the backup keeps it.
    std::vector<uint8_t> before(data.size());
    if (ReadMemoryBytes(engine, addr, before) < before.size())
        throw TCommandFailure(std::string("Could not read handset memory at ") + Hex4(addr) +
                              ", so no copy of it could be kept. Nothing was written.");
    TWritePlan plan = MemoryPlan(addr, before, data, session.Core().Baud());
    plan.Pace = engine.Pace(plan.Baud);
    if (!change.Confirm(plan)) {
        change.End(change.NothingChanged());
        return session.User().Given.dryRun ? DryRunOutcome(session) : Exit::Failed;
    }
    THandsetOutcome outcome = change.NothingChanged();
    if (!plan.ChangesHandset()) {
        outcome.Result = TChangeResult::AlreadyHeld;
        outcome.Held = TChangeCounts{0, 0, 0, int(data.size()), 0};
        change.End(outcome);
        AddJson({{"address", addr}, {"written", 0}, {"verified", true}});
        PrintResult(std::string("The handset holds these bytes at ") + Hex4(addr) +
                    " already; nothing was written.");
        return Exit::Done;
    }
    std::string backup;
    try {
        THandsetIdentity handset = session.Core().Identity();
        handset.port = session.Port();
        backup = KeepBackup("memory", "txt", Hex4(addr) + ": " + SpacedHex(before) + "\r\n", handset);
    } catch (const EFileError& e) {
        throw TCommandFailure("The handset's memory could not be kept in a file (" + std::string(e.what()) +
                              "). Nothing was written.");
    }
    if (!change.Begin("write-memory", &plan, backup)) {
        change.End(change.NothingChanged());
        return Exit::Failed;
    }
    size_t done = 0;
    while (done < data.size() && !StopRequested()) {
        const uint16_t part = uint16_t(std::min<size_t>(data.size() - done, 0x8000));
        const int32_t written = engine.WriteBlock(uint16_t(addr + done), {data.data() + done, part}, part);
        done += size_t(written);
        if (written < part)
            break;
    }
    // The read after the write: what the memory holds now.
    std::vector<uint8_t> now(data.size());
    outcome.Backup = backup;
    outcome.Stopped = StopRequested();
    if (ReadMemoryBytes(engine, addr, now) == now.size()) {
        const TWritePlan lacking = MemoryPlan(addr, now, data, 0);
        outcome.Held = MeasuredCounts(MemoryPlan(addr, before, now, 0), lacking);
        outcome.Lacking = lacking;
        outcome.Result = lacking.Changes() == 0 ? TChangeResult::Done : TChangeResult::Partial;
    } else {
        outcome.Result = TChangeResult::Unknown;
        outcome.Known = TChangeCounts{int(done), 0, 0, 0, int(data.size() - done)};
    }
    change.End(outcome);
    PrintMessage("The bytes the handset held there before are kept in " + backup + ".");
    if (outcome.Result != TChangeResult::Done) {
        AddJson(OutcomeJson(outcome));
        throw TCommandFailure(
            std::string("Could not write handset memory at ") + Hex4(addr + int(done)) + " (" +
            std::to_string(done) + " of " + std::to_string(data.size()) + " bytes written and verified). " +
            (outcome.Held ? "The handset now holds " +
                                std::to_string(data.size() - outcome.Held->NotWritten) + " of them as asked."
                          : std::string("What it holds there now could not be read back.")));
    }
    AddJson({{"address", addr}, {"written", int(done)}, {"verified", true}, {"backup", JsonPath(backup)}});
    PrintResult("Wrote " + std::to_string(done) + " bytes at " + Hex4(addr) + ", verified.");
    return Exit::Done;
}

} // namespace

std::vector<TCommand> LinkCommands() {
    return {
        {"ports",
         {{"",
           "",
           "list the serial ports by COM number",
           "Lists the serial ports the connection settings offer (COM1 to COM50), with their devices.\n",
           {},
           "quorvel-cli ports",
           false,
           false}},
         Ports},
        {"probe",
         {{"",
           "",
           "test whether a handset answers",
           "Probes the handset as the connection test does: up to 6 memory reads, 1 s apart, and prints\n"
           "which probe answered.\n",
           {},
           "quorvel-cli --port COM3 probe"}},
         Probe},
        {"set-port",
         {{"",
           "",
           "store --port as the program's serial port",
           "Stores the port given with --port as the program's \"Device No\", as the Close button of the\n"
           "connection settings does; the window and later commands without --port use it.\n",
           {},
           "quorvel-cli --port /dev/ttyUSB0 set-port",
           false,
           false}},
         SetPort},
        {"info",
         {{"",
           "",
           "connect and show what the handset is",
           "Runs the connection step of every handset operation and prints the handset's phone book\n"
           "capacity, software, PCS, model byte, level and the block size of its memory mails.\n",
           {},
           "quorvel-cli --port COM3 info --json"}},
         Info},
        {"send",
         {{"",
           "MAIL [--framed|--short]",
           "send one mail and print the answer",
           "Sends MAIL (hex bytes such as \"02 5D 16\") and prints the answer's data bytes. The answer\n"
           "layout is framed for command byte 0D and short otherwise, unless chosen. A memory write mail\n"
           "is read back and reports whether it was verified.\n",
           {{"--framed", "", "expect the framed answer layout"},
            {"--short", "", "expect the short answer layout"}},
           "quorvel-cli send \"02 5D 16\""}},
         Send},
        {"read-memory",
         {{"",
           "ADDR COUNT",
           "hex dump of handset memory",
           "Reads COUNT bytes of handset memory from ADDR (decimal or 0x hexadecimal) and prints a hex "
           "dump.\n",
           {},
           "quorvel-cli read-memory 0x2C0C 132"}},
         ReadMemoryCommand},
        {"write-memory",
         {{"",
           "ADDR HEXBYTES",
           "write handset memory, verified by read-back",
           "Writes HEXBYTES (mail text such as \"55 AA 01\") to handset memory at ADDR, in blocks, each\n"
           "verified by reading it back. Reads what the memory holds there first and shows the bytes it\n"
           "changes, then asks (or --yes); the old bytes are kept in the backups folder, and the change log\n"
           "notes the write.\n",
           {},
           "quorvel-cli --yes write-memory 0x2C0C \"12 D3 FF\"",
           true,
           true,
           true}},
         WriteMemoryCommand},
    };
}
