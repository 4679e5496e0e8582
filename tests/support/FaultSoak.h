#pragma once

#include "comm/ModbusMaster.h"
#include "sim/RegisterBank.h"
#include "sim/SimBus.h"

#include <array>
#include <cstdint>
#include <iosfwd>
#include <map>

namespace quarnex::test {

// A run of mixed transactions (register reads, float reads, single and multiple register writes,
// float writes, coils) against a register bank on the simulated bus, with faults of every kind
// injected into a share of them. Every value the master accepts is checked against the bank
// itself; the transaction after each fault is a clean one and must succeed (the master is in
// step again).
constexpr int kFaultKinds = static_cast<int>(sim::Fault::WrongEcho) + 1;

struct SoakFigures {
    int transactions = 0;
    int succeeded = 0;
    int wrongValuesAccepted = 0; // an Ok whose values differ from the instrument's
    int timeouts = 0;            // transactions ending with "No responce from slave"
    int outOfStep = 0;           // clean transactions after a fault that failed
    std::map<int, int> failedByStatus;
    std::array<int, kFaultKinds> injected{};
    std::array<int, kFaultKinds> curedByRetry{};      // the faulted transaction still succeeded
    std::array<int, kFaultKinds> failedTransaction{}; // the faulted transaction failed
    std::array<int, kFaultKinds> inStepAfter{};       // the next clean transaction succeeded
    double seconds = 0;
};

struct SoakOptions {
    int transactions = 2000;
    int faultPercent = 10;
    unsigned seed = 1;
    int retries = 1;
    // Every lateEvery-th late fault pauses longer than the master waits between two bytes (the
    // others only slow the answer down).
    int lateEvery = 3;
};

// bank sits at address 1 of bus with registers 40001-40100; master is open on bus.
SoakFigures RunFaultSoak(sim::SimBus& bus, ModbusMaster& master, const SoakOptions& options);

const char* FaultName(int kind);
void PrintSoakFigures(std::ostream& out, const SoakFigures& figures);

} // namespace quarnex::test
