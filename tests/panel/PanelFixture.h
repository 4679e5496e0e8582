#pragma once

#include "res/InstrumentTextIds.h"
#include "res/PanelTextIds.h"
#include "res/Strings.h"
#include "support/SingleKel7Fixture.h"

#include <cstdio>
#include <string>

namespace quarnex::test {

// The KEL 7 at address 1, with what the panel tests read of it.
class Kel7Fixture : public SingleKel7Fixture {
protected:
    // A weight as the instrument's decimals print it.
    static std::string Weight(double value, int decimals) {
        char text[64];
        std::snprintf(text, sizeof text, "%.*f", decimals, value);
        return text;
    }
    // Read requests (function 3) at the address that start at register reg.
    int ReadsFrom(int reg) const {
        int count = 0;
        for (const auto& frame : bus_.Requests())
            if (frame.size() >= 6 && frame[0] == kAddress && frame[1] == 3 &&
                ((frame[2] << 8) | frame[3]) == reg - 40001)
                ++count;
        return count;
    }
};

} // namespace quarnex::test
