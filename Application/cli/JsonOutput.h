#pragma once

#include <QJsonArray>
#include <QJsonObject>

#include <string>

// The one JSON document a command prints on stdout under --json.
void PrintJson(const QJsonObject& document);

// Texts of the handset and its files are single bytes of the Windows-1252 code page.
QString JsonText(const std::string& text);
