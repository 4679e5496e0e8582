#pragma once

#include "support/BusFixture.h"

#include "sim/Kel7Model.h"
#include "sim/Kel7Registers.h"

#include <functional>
#include <memory>

namespace quarnex::test {

// A bus with simulated KEL 7s, talked to through the program's own master over the pty.
class Kel7Fixture : public BusFixture {
protected:
    std::shared_ptr<sim::Kel7Model> AddKel7(int address, sim::Kel7Options options = {}) {
        options.address = address;
        if (options.measureMs == sim::Kel7Options{}.measureMs)
            options.measureMs = 30; // quick measurements keep the tests short
        auto model = sim::MakeKel7(options);
        bus_.Attach(address, model);
        return model;
    }
    // Runs f on the model with the bus lock held.
    template <class F> auto With(int address, F f) {
        return bus_.WithModel<sim::Kel7Model>(address, f);
    }

    uint16_t Reg(int address, int reg) {
        uint16_t v = 0xDEAD;
        EXPECT_EQ(master_->ReadHoldingRegisters(address, reg, 1, &v), CommStatus::Ok) << reg;
        return v;
    }
    float Float(int address, int reg) {
        float v = -12345.0f;
        EXPECT_EQ(master_->ReadFloatRegisters(address, reg, 1, &v), CommStatus::Ok) << reg;
        return v;
    }
    CommStatus WriteFloat(int address, int reg, float value) {
        return master_->WriteFloatRegisters(address, reg, 1, &value);
    }
    CommStatus Coil(int address, int coil) { return master_->WriteSingleCoil(address, coil, true); }
    // A command that the instrument refuses: the exception, then the reason in 40007.
    void ExpectRefused(int address, int coil, int code, CommStatus exception) {
        EXPECT_EQ(Coil(address, coil), exception) << "coil " << coil;
        EXPECT_EQ(Reg(address, sim::kel7::kCommandError), code) << "coil " << coil;
    }
    // Scaled weight of three registers.
    double Weight(int address, int reg) {
        uint16_t r[3] = {};
        EXPECT_EQ(master_->ReadHoldingRegisters(address, reg, 3, r), CommStatus::Ok);
        const auto raw = static_cast<int32_t>(uint32_t{r[0]} << 16 | r[1]);
        double v = raw;
        for (int i = 0; i < r[2]; ++i)
            v /= 10.0;
        return v;
    }
};

} // namespace quarnex::test
