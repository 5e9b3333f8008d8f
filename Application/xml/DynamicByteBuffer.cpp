#include "xml/DynamicByteBuffer.h"

#include "platform/TextFile.h"

#include <QFile>

#include <climits>
#include <new>

namespace {

constexpr qint64 LoadBlockSize = 1024;

} // namespace

bool TDynamicByteBuffer::Add(uint8_t value) {
    return AddBuffer(&value, 1);
}

bool TDynamicByteBuffer::AddBuffer(const uint8_t* bytes, int n) {
    if (n <= 0)
        return true;
    // Size() is an int: the buffer never grows beyond what it can report.
    if (FOpenBuf.size() > size_t(INT_MAX - n))
        return false;
    try {
        FOpenBuf.insert(FOpenBuf.end(), bytes, bytes + n);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

uint8_t TDynamicByteBuffer::Bytes(int index) const {
    if (index < 0 || size_t(index) >= FOpenBuf.size())
        throw EOutOfArrayError("TDynamicByteBuffer: Number outside of Array \"FOpenBuf\"");
    return FOpenBuf[size_t(index)];
}

void TDynamicByteBuffer::Clear() {
    FOpenBuf.clear();
    FOpenBuf.shrink_to_fit();
}

void TDynamicByteBuffer::LoadFromFile(const std::string& fileName) {
    QFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError("Cannot open file \"" + fileName + "\". " + file.errorString().toStdString());
    uint8_t block[LoadBlockSize];
    for (;;) {
        const qint64 n = file.read(reinterpret_cast<char*>(block), LoadBlockSize);
        if (n < 0)
            throw EFileError("Cannot read file \"" + fileName + "\". " + file.errorString().toStdString());
        if (n == 0)
            return;
        // Stopping here silently would pass a cut image off as the whole file.
        if (!AddBuffer(block, int(n)))
            throw EFileError("Cannot read file \"" + fileName + "\". It does not fit in memory.");
    }
}

void TDynamicByteBuffer::SaveToFile(const std::string& fileName) const {
    WriteFileAtomically(fileName, std::string(FOpenBuf.begin(), FOpenBuf.end()));
}
