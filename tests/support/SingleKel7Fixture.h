#pragma once

#include "sim/Kel7Model.h"
#include "support/BusFixture.h"

#include <vector>

namespace quarnex::test {

// A KEL 7 Recipe Batcher at address 1 on the simulated bus, with the master open. A test changes
// the instrument through Options().
class SingleKel7Fixture : public BusFixture {
protected:
    static constexpr int kAddress = 1;

    void SetUp() override {
        BusFixture::SetUp();
        bus_.Attach(kAddress, sim::MakeKel7(Options()));
        MakeMaster();
    }
    virtual sim::Kel7Options Options() const { return {}; }

    // Runs f on the instrument with the bus lock held.
    template <class F> auto Kel(F f) { return bus_.WithModel<sim::Kel7Model>(kAddress, f); }

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
