#pragma once

#include "comm/ModbusMaster.h"
#include "platform/Profile.h"
#include "session/BusSession.h"
#include "sim/RegisterBank.h"
#include "sim/SimBus.h"
#include "support/ScriptedPrompter.h"

#include <gtest/gtest.h>

#include <memory>

namespace quarnex::test {

// The real stack under test: ModbusMaster -> SerialLink -> termios on a pseudo-terminal, with the
// simulated bus on the other end. COM1 of an in-memory profile points at the pseudo-terminal.
class BusFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Builds the master from the profile (call after changing profile_), and opens the port.
    void MakeMaster(bool open = true);
    // A plain register bank at an address, with registers 40001-40100 existing.
    std::shared_ptr<sim::RegisterBank> AddBank(int address);
    // A session over master_ that runs every job at once on the test's thread (built on first
    // use, again after MakeMaster): for windows that poll through a session, ticked by hand.
    BusSession& InlineSession();

    sim::SimBus bus_;
    Profile profile_;
    ScriptedPrompter prompter_;
    std::unique_ptr<ModbusMaster> master_;

private:
    QueueDelivery inlineDelivery_;
    std::unique_ptr<BusSession> inlineSession_;
};

// The serial link a master opened from a serial profile.
inline SerialLink& SerialOf(ModbusMaster& master) {
    return dynamic_cast<SerialLink&>(master.Link());
}

} // namespace quarnex::test
