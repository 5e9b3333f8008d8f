#pragma once

#include "platform/HandsetIdentity.h"

#include <QJsonArray>
#include <QJsonObject>

#include <string>

// Under --json a command prints one JSON document on stdout, whether it succeeded or not: the facts the
// command gathers, the handset it worked on, "ok", "exit" and every message it gave
// ({"ok": false, "exit": 1, "messages": [...]} for a command that failed before it had facts).

// Makes the document wanted; without it the functions below gather nothing.
void StartJson();
bool JsonWanted();
// Adds the command's facts to the document (a later key replaces an earlier one).
void AddJson(const QJsonObject& facts);
// The handset the command works on: "port" and "serial" ("no SIM" when the SIM has left it, null when it
// could not be read).
void AddJsonHandset(const THandsetIdentity& handset);
void AddJsonMessage(const std::string& text);
// Prints the document with the exit status the command ends with.
void PrintJsonDocument(int exitStatus);

// Texts of the handset and its files are single bytes of the Windows-1252 code page.
QString JsonText(const std::string& text);
// A file name or a message as the system gives it: UTF-8, or Windows-1252 bytes where it is not UTF-8.
QString JsonPath(const std::string& text);
