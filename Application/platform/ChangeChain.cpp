#include "platform/ChangeChain.h"

#include "platform/TextFile.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>
#include <unistd.h>

namespace {

constexpr std::string_view PrevKey = ",\"prev\":\"";
constexpr std::string_view SealKey = "\",\"seal\":\"";
constexpr size_t SealDigits = 64;
// The end of a log is read back this much at a time to find the last line of a PC.
constexpr off_t TailPiece = 64 * 1024;

std::string Seal(const std::string& prev, std::string_view core) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArrayView(prev.data(), qsizetype(prev.size())));
    hash.addData(QByteArrayView("\n", 1));
    hash.addData(QByteArrayView(core.data(), qsizetype(core.size())));
    return hash.result().toHex().toStdString();
}

// A sealed line's parts: what was sealed ("{...}" without its seals), the previous seal and its own.
struct TParts {
    std::string_view Core;
    std::string Prev;
    std::string Seal;
};

std::optional<TParts> PartsOf(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    // Within a JSON text a quote is escaped: the keys cannot be made up by a value.
    const size_t at = line.rfind(PrevKey);
    if (at == std::string_view::npos || !line.ends_with("\"}"))
        return std::nullopt;
    const std::string_view rest = line.substr(at + PrevKey.size(), line.size() - at - PrevKey.size() - 2);
    const size_t sealAt = rest.find(SealKey);
    if (sealAt == std::string_view::npos || rest.size() - sealAt - SealKey.size() != SealDigits)
        return std::nullopt;
    return TParts{line.substr(0, at), std::string(rest.substr(0, sealAt)),
                  std::string(rest.substr(sealAt + SealKey.size()))};
}

std::string PcOf(std::string_view line) {
    return QJsonDocument::fromJson(QByteArray(line.data(), qsizetype(line.size())))
        .object()
        .value("pc")
        .toString()
        .toStdString();
}

std::string Described(std::string_view line) {
    const QJsonObject o = QJsonDocument::fromJson(QByteArray(line.data(), qsizetype(line.size()))).object();
    return (o.value("time").toString() + " " + o.value("operation").toString()).trimmed().toStdString();
}

} // namespace

std::string SealedLine(std::string_view line, const std::string& prev) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '}'))
        line.remove_suffix(1);
    const std::string core = std::string(line) + "}";
    return std::string(line) + std::string(PrevKey) + prev + std::string(SealKey) + Seal(prev, core) +
           "\"}\n";
}

std::string LastSealOf(int fd, const std::string& pc) {
    off_t end = lseek(fd, 0, SEEK_END);
    // What is read of the file's end and not yet looked at: the start of a line cut by the last read.
    std::string carry;
    while (end > 0) {
        const off_t start = end > TailPiece ? end - TailPiece : 0;
        std::string piece(size_t(end - start), '\0');
        if (pread(fd, piece.data(), piece.size(), start) != ssize_t(piece.size()))
            return {};
        const std::string text = piece + carry;
        end = start;
        // The lines, the last first; the first is whole only where the file begins.
        size_t stop = text.size();
        while (true) {
            const size_t newline = stop == 0 ? std::string::npos : text.rfind('\n', stop - 1);
            if (newline == std::string::npos && start > 0) {
                carry = text.substr(0, stop);
                break;
            }
            const size_t begin = newline == std::string::npos ? 0 : newline + 1;
            const std::string_view line = std::string_view(text).substr(begin, stop - begin);
            if (line.find_first_not_of(" \r") != std::string_view::npos && PcOf(line) == pc) {
                const std::optional<TParts> parts = PartsOf(line);
                return parts ? parts->Seal : std::string();
            }
            if (newline == std::string::npos)
                return {};
            stop = newline;
        }
    }
    return {};
}

std::string SealOf(std::string_view line) {
    const std::optional<TParts> parts = PartsOf(line);
    return parts ? parts->Seal : std::string();
}

TChainCheck CheckChain(const std::vector<TNumberedLine>& lines, bool fromStart) {
    TChainCheck check;
    std::map<std::string, std::string> last;
    std::map<std::string, bool> sealedYet;
    const auto broken = [&](int64_t number, const char* how, std::string_view text) {
        check.BrokenLine = number;
        check.How = how;
        check.What = Described(text);
    };
    for (const auto& [number, text] : lines) {
        const std::string_view line(text);
        if (line.find_first_not_of(" \r") == std::string_view::npos)
            continue;
        const std::string pc = PcOf(line);
        const std::optional<TParts> parts = PartsOf(line);
        if (!parts) {
            if (sealedYet[pc]) {
                broken(number, "put in: it has no seal, yet lines before it have", line);
                return check;
            }
            ++check.Unsealed;
            continue;
        }
        const bool first = !sealedYet[pc];
        sealedYet[pc] = true;
        if (Seal(parts->Prev, std::string(parts->Core) + "}") != parts->Seal) {
            broken(number, "changed since it was written", line);
            return check;
        }
        // Where the check begins part-way (a station's lines), the first line of a PC links as it says.
        const bool linked = (first && !fromStart) ? true : parts->Prev == last[pc];
        if (!linked) {
            broken(number, "a line before it was removed or put in", line);
            return check;
        }
        last[pc] = parts->Seal;
        ++check.Sealed;
    }
    return check;
}

TChainCheck CheckChangeChain(const std::string& path, int64_t from) {
    QFile file(QString::fromStdString(path));
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError("Cannot read the change log \"" + path + "\". " + file.errorString().toStdString());
    const int64_t skipped = from > 0 && from <= file.size() ? from : 0;
    file.seek(skipped);
    const QByteArray bytes = file.readAll();
    // The line numbers count the whole file.
    int64_t lineNo = 0;
    if (skipped > 0) {
        file.seek(0);
        lineNo = file.read(skipped).count('\n');
    }
    std::vector<TNumberedLine> lines;
    for (const QByteArray& raw : bytes.split('\n'))
        lines.push_back({++lineNo, raw.toStdString()});
    return CheckChain(lines, skipped == 0);
}
