#include "support/FaultSoak.h"

#include "platform/Clock.h"

#include <cstring>
#include <ostream>
#include <random>

namespace quarnex::test {

namespace {

using sim::Fault;
using sim::RegisterBank;

enum class Kind { Read, ReadFloat, WriteSingle, WriteMultiple, WriteFloat, Coil };
constexpr int kKinds = 6;

bool IsWrite(Kind k) {
    return k != Kind::Read && k != Kind::ReadFloat;
}

// A fault that says something about the master, for this kind of transaction: a changed echo is
// a write's fault (in a read answer the same bytes are data, and a device that sends other data
// with a good CRC is no fault the master could see); a wrong byte count is a read's.
bool Applies(Fault f, Kind k) {
    if (f == Fault::WrongEcho)
        return IsWrite(k);
    if (f == Fault::WrongByteCount)
        return !IsWrite(k);
    return true;
}

} // namespace

const char* FaultName(int kind) {
    static const char* const names[kFaultKinds] = {
        "silence",          "bad CRC",          "wrong address", "wrong function",
        "short answer",     "extra bytes",      "late bytes",    "garbage",
        "exception answer", "wrong byte count", "changed echo"};
    return kind >= 0 && kind < kFaultKinds ? names[kind] : "?";
}

SoakFigures RunFaultSoak(sim::SimBus& bus, ModbusMaster& master, const SoakOptions& options) {
    std::mt19937 random(options.seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    auto truth = [&](auto f) { return bus.WithModel<RegisterBank>(1, f); };
    const TransactionOptions txOptions{.retries = options.retries};

    SoakFigures fig;
    int lastFault = -1, lateFaults = 0;
    const int64_t start = MonotonicNs();
    for (int i = 0; i < options.transactions; ++i) {
        const Kind kind = static_cast<Kind>(pick(kKinds));
        int fault = -1;
        if (lastFault < 0 && pick(100) < options.faultPercent) {
            do
                fault = pick(kFaultKinds);
            while (!Applies(static_cast<Fault>(fault), kind));
            sim::FaultSpec injected{.kind = static_cast<Fault>(fault)};
            injected.exceptionCode = static_cast<uint8_t>(1 + pick(8));
            if (injected.kind == Fault::LateBytes)
                injected.lateMs = ++lateFaults % options.lateEvery == 0 ? 300 : 40;
            bus.InjectFault(1, injected);
            ++fig.injected[fault];
        }

        const int reg = 40001 + pick(90);
        bool wrong = false;
        CommStatus status = CommStatus::Ok;
        switch (kind) {
        case Kind::Read: {
            const int count = 1 + pick(10);
            uint16_t v[10];
            status = master.ReadHoldingRegisters(1, reg, count, v, txOptions);
            if (status == CommStatus::Ok)
                truth([&](RegisterBank& b) {
                    for (int k = 0; k < count; ++k)
                        wrong = wrong || b.Get(static_cast<uint16_t>(reg - 40001 + k)) != v[k];
                });
            break;
        }
        case Kind::ReadFloat: {
            const int count = 1 + pick(4);
            float v[4];
            status = master.ReadFloatRegisters(1, reg, count, v, txOptions);
            if (status == CommStatus::Ok)
                truth([&](RegisterBank& b) {
                    for (int k = 0; k < count; ++k) {
                        const float f = b.GetFloat(static_cast<uint16_t>(reg - 40001 + 2 * k));
                        wrong = wrong || std::memcmp(&f, &v[k], sizeof f) != 0;
                    }
                });
            break;
        }
        case Kind::WriteSingle: {
            const uint16_t value = static_cast<uint16_t>(random());
            status = master.WriteSingleRegister(1, reg, value, txOptions);
            if (status == CommStatus::Ok)
                wrong = truth([&](RegisterBank& b) { return b.Get(reg - 40001) != value; });
            break;
        }
        case Kind::WriteMultiple: {
            const int count = 1 + pick(10);
            uint16_t v[10];
            for (uint16_t& x : v)
                x = static_cast<uint16_t>(random());
            status = master.WriteMultipleRegisters(1, reg, count, v, txOptions);
            if (status == CommStatus::Ok)
                truth([&](RegisterBank& b) {
                    for (int k = 0; k < count; ++k)
                        wrong = wrong || b.Get(static_cast<uint16_t>(reg - 40001 + k)) != v[k];
                });
            break;
        }
        case Kind::WriteFloat: {
            const int count = 1 + pick(4);
            float v[4];
            for (float& x : v)
                x = static_cast<float>(static_cast<int32_t>(random())) / 1000.0f;
            status = master.WriteFloatRegisters(1, reg, count, v, txOptions);
            if (status == CommStatus::Ok)
                truth([&](RegisterBank& b) {
                    for (int k = 0; k < count; ++k)
                        wrong =
                            wrong || b.GetFloat(static_cast<uint16_t>(reg - 40001 + 2 * k)) != v[k];
                });
            break;
        }
        case Kind::Coil: {
            const int coil = 1 + pick(64);
            const bool on = pick(2) == 1;
            status = master.WriteSingleCoil(1, coil, on, txOptions);
            if (status == CommStatus::Ok)
                wrong = truth([&](RegisterBank& b) { return b.Coil(coil - 1) != on; });
            break;
        }
        }

        ++fig.transactions;
        fig.wrongValuesAccepted += wrong ? 1 : 0;
        if (status == CommStatus::Ok)
            ++fig.succeeded;
        else
            ++fig.failedByStatus[ToInt(status)];
        if (status == CommStatus::NoResponse)
            ++fig.timeouts;
        if (fault >= 0) {
            ++(status == CommStatus::Ok ? fig.curedByRetry : fig.failedTransaction)[fault];
        } else if (lastFault >= 0) {
            if (status == CommStatus::Ok)
                ++fig.inStepAfter[lastFault];
            else
                ++fig.outOfStep;
        }
        lastFault = fault;
    }
    fig.seconds = static_cast<double>(MonotonicNs() - start) / 1e9;
    return fig;
}

void PrintSoakFigures(std::ostream& out, const SoakFigures& f) {
    out << "transactions " << f.transactions << ", succeeded " << f.succeeded
        << ", wrong values accepted " << f.wrongValuesAccepted << ", time-outs (status 4) "
        << f.timeouts << ", out of step after a fault " << f.outOfStep << ", " << f.seconds
        << " s\nfailed by status:";
    for (const auto& [status, n] : f.failedByStatus)
        out << ' ' << status << ':' << n;
    out << "\nfault kind: injected / transaction still Ok / transaction failed / next clean one "
           "Ok\n";
    for (int k = 0; k < kFaultKinds; ++k)
        out << "  " << FaultName(k) << ": " << f.injected[k] << " / " << f.curedByRetry[k] << " / "
            << f.failedTransaction[k] << " / " << f.inStepAfter[k] << '\n';
}

} // namespace quarnex::test
