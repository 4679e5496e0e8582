#pragma once

#include "res/Strings.h"

#include <QString>

#include <string>

namespace quarnex {

// A text of the string table as the windows need it.
inline QString Ui(int id) {
    return QString::fromStdString(Text(id));
}

// The instrument keeps its texts one byte a character.
inline QString FromInstrument(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToInstrument(const QString& text) {
    return text.toLatin1().toStdString();
}

} // namespace quarnex
