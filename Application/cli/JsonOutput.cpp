#include "cli/JsonOutput.h"

#include "platform/AnsiText.h"

#include <QJsonDocument>

#include <cstdio>

void PrintJson(const QJsonObject& document) {
    const QByteArray text = QJsonDocument(document).toJson(QJsonDocument::Indented);
    std::fwrite(text.data(), 1, size_t(text.size()), stdout);
}

QString JsonText(const std::string& text) {
    return FromAnsi(text);
}
