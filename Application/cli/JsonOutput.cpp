#include "cli/JsonOutput.h"

#include "platform/AnsiText.h"

#include <QJsonDocument>

#include <cstdio>

namespace {

bool Wanted = false;
QJsonObject Document;
QJsonArray Messages;

} // namespace

void StartJson() {
    Wanted = true;
}

bool JsonWanted() {
    return Wanted;
}

void AddJson(const QJsonObject& facts) {
    for (auto it = facts.begin(); it != facts.end(); ++it)
        Document[it.key()] = it.value();
}

void AddJsonHandset(const THandsetIdentity& handset) {
    if (handset.port > 0)
        Document["port"] = QString::fromStdString(handset.PortName());
    Document["serial"] = handset.serial ? QJsonValue(JsonText(handset.SerialText())) : QJsonValue();
}

void AddJsonMessage(const std::string& text) {
    if (Wanted)
        Messages.append(JsonPath(text));
}

void PrintJsonDocument(int exitStatus) {
    QJsonObject document = Document;
    document["ok"] = exitStatus == 0;
    document["exit"] = exitStatus;
    document["messages"] = Messages;
    const QByteArray text = QJsonDocument(document).toJson(QJsonDocument::Indented);
    std::fwrite(text.data(), 1, size_t(text.size()), stdout);
}

QString JsonText(const std::string& text) {
    return FromAnsi(text);
}

QString JsonPath(const std::string& text) {
    return FromUtf8OrAnsi(text);
}
