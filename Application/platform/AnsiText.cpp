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
