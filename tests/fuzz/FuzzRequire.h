#pragma once

#include <cstdlib>

// A property every input must keep: the fuzzer reports the input that breaks it as a crash.
inline void Require(bool rule) {
    if (!rule)
        std::abort();
}
