// Readable GoogleTest output for Qt texts (otherwise printed as raw bytes).
#pragma once

#include <QString>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
