#include "platform/PdfReader.h"

#include "platform/VersionRecord.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <stdexcept>

namespace {

constexpr int AskTimeoutMs = 3000;

} // namespace

std::string RegisteredPdfReader() {
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return {};
    QProcess ask;
    ask.start(xdgMime, {"query", "default", "application/pdf"});
    if (!ask.waitForFinished(AskTimeoutMs)) {
        ask.kill();
        ask.waitForFinished(AskTimeoutMs);
        return {};
    }
    if (ask.exitStatus() != QProcess::NormalExit || ask.exitCode() != 0)
        return {};
    return QString::fromLocal8Bit(ask.readAllStandardOutput()).trimmed().toStdString();
}

std::string DesktopEntryProgram(const std::string& desktopId) {
    const QString entry =
        QStandardPaths::locate(QStandardPaths::ApplicationsLocation, QString::fromStdString(desktopId));
    QFile file(entry);
    if (entry.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith('['))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.startsWith(QLatin1String("Exec="))) {
            const QStringList words = QProcess::splitCommand(line.mid(5));
            if (words.isEmpty())
                return {};
            return QStandardPaths::findExecutable(words.front()).toStdString();
        }
    }
    return {};
}

int PdfReaderMajorVersion() {
    const std::string reader = RegisteredPdfReader();
    if (reader.empty())
        return -1;
    const std::string program = DesktopEntryProgram(reader);
    TVersionStrings strings;
    if (program.empty() || !ReadVersionStrings(program, strings))
        return -1;
    return MajorVersionOf(At(strings, TVersionKey::FileVersion));
}

int MajorVersionOf(const std::string& fileVersion) {
    const size_t dot = fileVersion.find('.');
    if (dot == std::string::npos || dot == 0)
        return -1;
    const std::string major = fileVersion.substr(0, dot);
    bool number = false;
    const int value = QString::fromStdString(major).trimmed().toInt(&number);
    if (!number)
        throw std::invalid_argument("'" + major + "' is not a valid integer value");
    return value;
}
