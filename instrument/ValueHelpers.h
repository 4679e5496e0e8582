#pragma once

#include <cmath>
#include <string>

namespace quarnex {

// Texts read from the instrument are padded with blanks to their register count.
inline std::string TrimRight(std::string text) {
    const size_t end = text.find_last_not_of(" \t\r\n");
    text.erase(end == std::string::npos ? 0 : end + 1);
    return text;
}

// Bit sets travel as floats (the software options); anything that is not a whole number in
// range has no bits the program could rely on.
inline int FloatBits(float value) {
    if (!std::isfinite(value) || value < 0.0f || value >= 2147483647.0f)
        return 0;
    return static_cast<int>(value);
}

} // namespace quarnex
