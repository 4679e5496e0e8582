#pragma once

#include "res/Strings.h"

#include <QString>

namespace quarnex {

// A text of the string table as the windows need it.
inline QString Ui(int id) {
    return QString::fromStdString(Text(id));
}

} // namespace quarnex
