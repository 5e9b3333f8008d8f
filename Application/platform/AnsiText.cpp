#include "platform/AnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cstdint>
#include <string_view>

QString FromAnsi(const std::string& text) {
    QStringDecoder decoder("windows-1252");
    if (!decoder.isValid())
        return QString::fromLatin1(text.data(), qsizetype(text.size()));
    return decoder.decode(QByteArrayView(text.data(), qsizetype(text.size())));
}

std::string ToAnsi(const QString& text) {
    QStringEncoder encoder("windows-1252");
    if (!encoder.isValid())
        return text.toLatin1().toStdString();
    const QByteArray bytes = encoder.encode(text);
    return bytes.toStdString();
}

std::string SingleByteText(const std::string& fileBytes, bool* wasUtf8) {
    static constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
    const bool marked = fileBytes.starts_with(ByteOrderMark);
    const std::string_view bytes =
        marked ? std::string_view(fileBytes).substr(ByteOrderMark.size()) : std::string_view(fileBytes);
    const bool beyondAscii =
        std::any_of(bytes.begin(), bytes.end(), [](char c) { return uint8_t(c) >= 0x80; });
    bool utf8 = false;
    QString text;
    if (marked || beyondAscii) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
        utf8 = marked || !decoder.hasError();
    }
    if (wasUtf8)
        *wasUtf8 = utf8;
    return utf8 ? ToAnsi(text) : std::string(bytes);
}

QString MessageText(const std::string& text) {
    QString shown = FromAnsi(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QChar('\r'), QChar('\n'));
    return shown;
}

bool IsUtf8(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    while (p < end) {
        const unsigned lead = *p++;
        if (lead < 0x80)
            continue;
        int more = 0;
        unsigned code = 0, least = 0;
        if ((lead & 0xE0) == 0xC0) {
            more = 1, code = lead & 0x1F, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            more = 2, code = lead & 0x0F, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            more = 3, code = lead & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (end - p < more)
            return false;
        for (int i = 0; i < more; ++i, ++p) {
            if ((*p & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (*p & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
    }
    return true;
}

QString FromUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    return decoder.decode(bytes);
}

QString FromUtf8OrAnsi(const std::string& text) {
    const QByteArrayView bytes(text.data(), qsizetype(text.size()));
    return IsUtf8(bytes) ? FromUtf8(bytes) : FromAnsi(text);
}
