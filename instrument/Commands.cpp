#include "instrument/Commands.h"

#include "comm/ModbusMaster.h"
#include "instrument/InstrumentTexts.h"
#include "instrument/ValueFormat.h"
#include "platform/Clock.h"
#include "res/InstrumentTextIds.h"
#include "res/Strings.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <locale.h>

namespace quarnex {

namespace {

// How long an instrument needs to leave "Wait for start state" after coil 16.
constexpr int kStartSettleMs = 500;

// Length of the decimal number at the start of text (sign, digits, point, exponent), or 0.
size_t DecimalNumberLength(const std::string& text, size_t pos) {
    const size_t start = pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        ++pos;
    size_t digits = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])))
        ++pos, ++digits;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])))
            ++pos, ++digits;
    }
    if (digits == 0)
        return 0;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        size_t e = pos + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-'))
            ++e;
        if (e < text.size() && std::isdigit(static_cast<unsigned char>(text[e]))) {
            while (e < text.size() && std::isdigit(static_cast<unsigned char>(text[e])))
                ++e;
            pos = e;
        }
    }
    return pos - start;
}

// Whether a well-formed decimal number that does not fit a double is too large for it rather
// than too small. strtod gives +-HUGE_VAL for the one and 0 or a denormal for the other; the
// "C" locale keeps the point the decimal separator whatever the user's locale says.
bool TooLargeForDouble(const char* first) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t{});
    return cLocale == locale_t{} || std::isinf(strtod_l(first, nullptr, cLocale));
}

bool ReadState(ModbusMaster& bus, int address, int stateRegister, Prompter* owner, int& state) {
    uint16_t value = 0;
    const CommStatus result = bus.ReadHoldingRegisters(
        address, stateRegister, 1, &value, {.retries = 3, .showRetryBox = true, .owner = owner});
    if (result != CommStatus::Ok) {
        bus.ReportLinkError(result, {}, false, owner);
        bus.ReportExceptionError(result, {}, owner);
        return false;
    }
    state = value;
    return true;
}

} // namespace

bool SendCommand(ModbusMaster& bus, int address, int coil, bool messages, const std::string& prefix,
                 const std::string& extra, Prompter* owner) {
    return SendCommandWithTimeout(bus, address, coil,
                                  {.retries = 3, .showRetryBox = messages, .owner = owner}, prefix,
                                  extra);
}

bool SendCommandWithTimeout(ModbusMaster& bus, int address, int coil,
                            const TransactionOptions& options, const std::string& prefix,
                            const std::string& extra) {
    const CommStatus result = bus.WriteSingleCoil(address, coil, true, options);
    return ReportCommandError(bus, address, result, options.showRetryBox, prefix, extra,
                              options.owner);
}

int ReadStateQuietly(ModbusMaster& bus, int address, int retries) {
    uint16_t state = 0;
    return bus.ReadHoldingRegisters(address, reg::kState, 1, &state, {.retries = retries}) ==
                   CommStatus::Ok
               ? state
               : -1;
}

ModeOutcome SendModeCommand(ModbusMaster& bus, int address, int coil,
                            const TransactionOptions& options, const std::string& prefix,
                            const std::string& extra, int* stateOut) {
    if (stateOut)
        *stateOut = -1;
    const CommStatus result = bus.WriteSingleCoil(address, coil, true, options);
    if (result == CommStatus::Ok)
        return ModeOutcome::Done;
    const int state = ReadStateQuietly(bus, address);
    if (stateOut)
        *stateOut = state;
    if (state < 0)
        return ModeOutcome::StateUnknown;
    const bool inRemote = state == state::kRemoteSetup || state == state::kRemoteRestore;
    bool done = false;
    switch (coil) {
    case coil::kEnterRemoteSetup:
        done = state == state::kRemoteSetup;
        break;
    case coil::kEnterRemoteRestore:
        done = state == state::kRemoteRestore;
        break;
    case coil::kLeaveAndSave:
    case coil::kLeaveWithoutSaving:
        done = !inRemote;
        break;
    default:
        break;
    }
    if (done)
        return ModeOutcome::Done;
    ReportCommandError(bus, address, result, options.showRetryBox, prefix, extra, options.owner);
    return ModeOutcome::NotDone;
}

bool WriteSetupFloat(ModbusMaster& bus, int address, int reg, float value, int extraTimeout,
                     Prompter* owner) {
    // A write that needs a long time-out makes the instrument work (storing a calibration
    // point); repeating it would do the work twice.
    const int retries = extraTimeout < 1000 ? 3 : 0;
    const CommStatus result = bus.WriteFloatRegisters(
        address, reg, 1, &value,
        {.retries = retries, .extraTimeout = extraTimeout, .showRetryBox = true, .owner = owner});
    return ReportCommandError(bus, address, result, true, {}, {}, owner);
}

bool WriteSetupText(ModbusMaster& bus, int address, int reg, int count, const std::string& text,
                    Prompter* owner) {
    return WriteTextRegisters(bus, address, reg, count, text, true, owner);
}

bool ParseEnteredValue(const std::string& text, Prompter& owner, double& value) {
    // Parsed by hand rather than with strtod: the windowing toolkit sets the user's locale, which
    // may expect a decimal comma, and strtod would also take "nan", "inf" and hexadecimal.
    size_t pos = 0;
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    value = 0.0;
    if (pos == text.size() && pos == 0)
        return true; // an empty field counts as 0
    const size_t length = DecimalNumberLength(text, pos);
    if (length == 0 || pos + length != text.size()) {
        owner.Error(Text(ids::kIllegalCharacter));
        return false;
    }
    const char* first = text.data() + pos;
    if (*first == '+')
        ++first;
    const char* last = text.data() + text.size();
    auto [end, error] = std::from_chars(first, last, value);
    if (error == std::errc::result_out_of_range && !TooLargeForDouble(first)) {
        // Too small for a double (1e-400): that is no overflow, the value is simply 0.
        value = 0.0;
        error = std::errc();
    }
    if (error != std::errc() || end != last || !std::isfinite(value) ||
        std::fabs(value) > kEnteredValueLimit) {
        value = 0.0;
        owner.Error(Text(ids::kValueOutOfRange));
        return false;
    }
    return true;
}

bool StartInstrumentIfWaiting(ModbusMaster& bus, int address, int stateRegister, bool ask,
                              Prompter* owner, int& state) {
    if (!ReadState(bus, address, stateRegister, owner, state))
        return false;
    if (state != state::kWaitForStart || !ask)
        return true;
    Prompter& box = owner ? *owner : bus.DefaultPrompter();
    if (!box.AskYesNo(Prompter::Icon::Exclamation, Text(ids::kStartQuestion)))
        return true;
    if (!SendCommand(bus, address, coil::kStart, true, {}, {}, owner))
        return false;
    Delay(kStartSettleMs);
    return ReadState(bus, address, stateRegister, owner, state);
}

} // namespace quarnex
