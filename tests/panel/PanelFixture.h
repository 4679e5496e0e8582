#pragma once

#include "instrument/TextIds.h"
#include "res/PanelTextIds.h"
#include "res/Strings.h"
#include "sim/Kel7Model.h"
#include "support/BusFixture.h"

#include <cstdio>
#include <string>

namespace quarnex::test {

// A KEL 7 Recipe Batcher at address 1 on the simulated bus, on the instrument's manual clock.
class Kel7Fixture : public BusFixture {
protected:
    static constexpr int kAddress = 1;

    void SetUp() override {
        BusFixture::SetUp();
        bus_.Attach(kAddress, sim::MakeKel7(Options()));
        MakeMaster();
    }
    virtual sim::Kel7Options Options() const { return {}; }

    template <class F> auto Kel(F f) { return bus_.WithModel<sim::Kel7Model>(kAddress, f); }

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
    // Coil writes accepted or refused by the instrument, in order.
    std::vector<int> Coils() {
        return Kel([](sim::Kel7Model& m) {
            std::vector<int> coils;
            for (const auto& c : m.Commands())
                coils.push_back(c.coil);
            return coils;
        });
    }
};

} // namespace quarnex::test
