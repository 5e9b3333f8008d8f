#pragma once

#include <QString>

// The command-line tool's help as the guide's chapter: its overview, its global options and exit status
// once, then each command once. programs is the folder quorvel-cli is in.
QString CommandsHtml(const QString& programs);
