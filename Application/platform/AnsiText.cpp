#include "platform/AnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>

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

QString MessageText(const std::string& text) {
    QString shown = FromAnsi(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QChar('\r'), QChar('\n'));
    return shown;
}
