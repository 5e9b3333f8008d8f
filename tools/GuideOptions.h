#pragma once

#include <QString>

// The guide names the command-line options a chapter uses with a mark, <!--OPTIONS --port --yes-->; each
// mark becomes a table of those options as quorvel-cli's help tells them, so that the guide follows the
// tool. programs is the folder quorvel-cli is in.
QString WithOptionTables(const QString& html, const QString& programs);
