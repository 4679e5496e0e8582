#include "platform/Progress.h"

#include <cstdint>

namespace quarnex {

int ProgressPercent(int pos, int low, int high) {
    if (high == low) // an empty range would divide by zero
        return 0;
    // In 64 bits: a range of two thousand million positions times 100 does not fit in an int.
    const int percent = static_cast<int>((int64_t{pos} - low) * 100 / (int64_t{high} - low));
    return percent == 100 ? percent : percent % 100;
}

std::string ProgressPercentText(int pos, int low, int high) {
    return std::to_string(ProgressPercent(pos, low, high)) + "%";
}

} // namespace quarnex
