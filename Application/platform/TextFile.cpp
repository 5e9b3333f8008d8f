#include "platform/TextFile.h"

#include <QFile>
#include <QSaveFile>

namespace {

std::string Reason(const QFileDevice& file) {
    return file.errorString().toStdString();
}

} // namespace

std::string ReadFileBytes(const std::string& path, size_t limit) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError("Cannot open file \"" + path + "\". " + Reason(file));
    if (file.size() > qint64(limit))
        throw EFileError("Cannot read file \"" + path + "\". It is larger than " + std::to_string(limit) +
                         " bytes.");
    const QByteArray data = file.read(qint64(limit) + 1);
    if (file.error() != QFileDevice::NoError)
        throw EFileError("Cannot read file \"" + path + "\". " + Reason(file));
    if (size_t(data.size()) > limit)
        throw EFileError("Cannot read file \"" + path + "\". It is larger than " + std::to_string(limit) +
                         " bytes.");
    return data.toStdString();
}

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly))
        throw EFileError("Cannot create file \"" + path + "\". " + Reason(file));
    if (file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) || !file.commit())
        throw EFileError("Cannot write file \"" + path + "\". " + Reason(file));
}
