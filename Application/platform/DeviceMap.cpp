#include "platform/DeviceMap.h"

#include "platform/TextFile.h"

#include "platform/Paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSerialPortInfo>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <set>
#include <vector>

namespace DeviceMap {
namespace {

struct TEntry {
    int number;
    QString device;
};

std::map<int, std::string>& ProcessEntries() {
    static std::map<int, std::string> entries;
    return entries;
}

// "COM12" gives 12; anything else gives 0.
int ComNumberOfName(const QString& name) {
    const QString trimmed = name.trimmed();
    if (!trimmed.startsWith("COM", Qt::CaseInsensitive))
        return 0;
    bool ok = false;
    const int n = trimmed.mid(3).toInt(&ok);
    return ok && n >= 1 && n <= MaxPortNumber ? n : 0;
}

// "COMn=/dev/path" items, split by separator; malformed items are skipped.
std::vector<TEntry> ParseEntries(const QString& text, QChar separator) {
    std::vector<TEntry> entries;
    for (const QString& item : text.split(separator)) {
        const QString line = item.trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith(';'))
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const int n = ComNumberOfName(line.left(eq));
        const QString device = line.mid(eq + 1).trimmed();
        if (n > 0 && !device.isEmpty())
            entries.push_back({n, device});
    }
    return entries;
}

QString Canonical(const QString& device) {
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(device) : canonical;
}

bool ProcessAlive(long pid) {
    return pid > 0 && (kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

std::vector<TEntry> VirtualEntries() {
    std::vector<TEntry> entries;
    const QDir dir(QString::fromStdString(PerUserDir()) + "/virtual-ports");
    for (const QFileInfo& info : dir.entryInfoList({"COM*"}, QDir::Files)) {
        const int n = ComNumberOfName(info.fileName());
        QFile file(info.filePath());
        if (n == 0 || info.size() > 4096 || !file.open(QIODevice::ReadOnly))
            continue;
        const QStringList lines = QString::fromLocal8Bit(file.readAll()).split('\n');
        if (lines.size() >= 2 && ProcessAlive(lines[1].trimmed().toLong()) && !lines[0].trimmed().isEmpty())
            entries.push_back({n, lines[0].trimmed()});
    }
    return entries;
}

QString ReadMapFile() {
    QFile file(QString::fromStdString(MapFilePath()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.read(1 << 20));
}

// The name a discovered device is recorded by: its /dev/serial/by-id link when it has one, since that
// name follows the adapter from one USB socket to another.
QString StableName(const QString& systemLocation) {
    const QString target = Canonical(systemLocation);
    QDirIterator it(QStringLiteral("/dev/serial/by-id"), QDir::System | QDir::Files);
    while (it.hasNext()) {
        const QString link = it.next();
        if (Canonical(link) == target)
            return link;
    }
    return systemLocation;
}

struct TMap {
    std::map<int, QString> byNumber;
    std::set<QString> canonicalDevices;

    void Add(int n, const QString& device) {
        if (byNumber.emplace(n, device).second)
            canonicalDevices.insert(Canonical(device));
    }
    int LowestFree(int from) const {
        for (int n = from; n <= MaxPortNumber; ++n)
            if (!byNumber.count(n))
                return n;
        return 0;
    }
};

bool AppendToMapFile(const QStringList& added);

// Gives numbers to serial devices that have none yet and records them in the map file.
void RecordDiscoveredDevices(TMap& map) {
    QStringList added;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (map.canonicalDevices.count(Canonical(info.systemLocation())))
            continue;
        const int n = map.LowestFree(1);
        if (n == 0)
            break;
        const QString name = StableName(info.systemLocation());
        map.Add(n, name);
        added << QString("COM%1=%2").arg(n).arg(name);
    }
    AppendToMapFile(added);
}

bool AppendToMapFile(const QStringList& added) {
    if (added.isEmpty())
        return true;
    // Another program may be recording at the same moment; the lock keeps the file whole.
    const QString path = QString::fromStdString(MapFilePath());
    QDir().mkpath(QFileInfo(path).path());
    QLockFile lock(path + ".lock");
    if (!lock.tryLock(2000))
        return false;
    QByteArray text = ReadMapFile().toLocal8Bit();
    if (text.isEmpty())
        text = "# Serial devices by port number: COMn=/dev/path, one a line.\n";
    else if (!text.endsWith('\n'))
        text += '\n';
    text += added.join('\n').toLocal8Bit() + '\n';
    try {
        WriteFileAtomically(path.toStdString(), text.toStdString());
    } catch (const EFileError&) {
        // The map stays as it was; false tells the caller the ports were not added.
        return false;
    }
    return true;
}

// withProcess: the numbers this process gave out count too.
TMap BuildMap(bool discover, bool withProcess = true) {
    TMap map;
    if (const char* env = std::getenv("QUORVEL_PORTS"))
        for (const TEntry& e : ParseEntries(QString::fromLocal8Bit(env), ';'))
            map.Add(e.number, e.device);
    if (withProcess)
        for (const auto& [n, device] : ProcessEntries())
            map.Add(n, QString::fromStdString(device));
    for (const TEntry& e : VirtualEntries())
        map.Add(e.number, e.device);
    for (const TEntry& e : ParseEntries(ReadMapFile(), '\n'))
        map.Add(e.number, e.device);
    if (discover)
        RecordDiscoveredDevices(map);
    return map;
}

} // namespace

std::string MapFilePath() {
    return PerUserDir() + "/serial-ports.cfg";
}

std::map<int, std::string> PresentPorts() {
    std::map<int, std::string> present;
    for (const auto& [n, device] : BuildMap(true).byNumber)
        if (QFileInfo::exists(device))
            present.emplace(n, device.toStdString());
    return present;
}

std::optional<std::string> DeviceOf(int n) {
    const TMap map = BuildMap(true);
    const auto it = map.byNumber.find(n);
    if (it == map.byNumber.end())
        return std::nullopt;
    return it->second.toStdString();
}

bool RecordDevice(int n, const std::string& device) {
    const TMap lasting = BuildMap(false, false);
    const auto it = lasting.byNumber.find(n);
    if (it != lasting.byNumber.end())
        return Canonical(it->second) == Canonical(QString::fromStdString(device));
    return AppendToMapFile({QString("COM%1=%2").arg(n).arg(QString::fromStdString(device))});
}

int NumberForDevice(const std::string& device) {
    const QString wanted = Canonical(QString::fromStdString(device));
    TMap map = BuildMap(true);
    for (const auto& [n, mapped] : map.byNumber)
        if (Canonical(mapped) == wanted)
            return n;
    const int n = map.LowestFree(1);
    if (n > 0)
        ProcessEntries()[n] = device;
    return n;
}

} // namespace DeviceMap
