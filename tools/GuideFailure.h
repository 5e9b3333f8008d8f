#pragma once

#include <QString>

#include <stdexcept>

// Anything that keeps the guide from being made ends the maker with this text, and the build with it.
[[noreturn]] inline void Fail(const QString& text) {
    throw std::runtime_error(text.toStdString());
}
