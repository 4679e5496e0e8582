#include "instrument/InstrumentTexts.h"

#include "instrument/Registers.h"
#include "res/InstrumentTextIds.h"
#include "res/Strings.h"

#include <cstdio>

namespace quarnex {

namespace {

// Codes whose refusal text says that leaving remote set-up or restore was refused: the
// instrument checks the whole set-up on exit and names the first thing it objects to.
bool IsExitRefusal(int code) {
    return code == 179 || (code >= 187 && code <= 192) || code == 199 || code == 245 ||
           code == 246 || (code >= 1101 && code <= 1124) || (code >= 41000 && code <= 41798);
}

std::string GenericCommandError(int code) {
    return Text(ids::kCommandErrorGeneric) + " " + std::to_string(code) + ")!";
}

// The text of a command-error code without the exit prefix; 0 when the code has none.
int CommandErrorId(int code) {
    if (code == 0)
        return ids::kCommandErrorNone;
    if (code >= 100 && code <= 106)
        return ids::kCommandErrorNone + 1 + (code - 100);
    if (code >= 120 && code <= 127)
        return 10200 + code;
    if (code >= 130 && code <= 140)
        return 10200 + code;
    if ((code >= 160 && code <= 167) || code == 169 || code == 170 || code == 179 ||
        (code >= 187 && code <= 192) || code == 199)
        return 10200 + code;
    if (code >= 211 && code <= 214)
        return 10460 + (code - 211);
    switch (code) {
    case 215:
        return 10464;
    case 216:
        return 10465;
    case 217:
        return 10466;
    case 225:
        return 10467;
    case 226:
        return 10468;
    case 245:
        return 10469;
    case 246:
        return 10470; // the instrument's own text names err. 245 here too
    default:
        break;
    }
    if (code >= 1001 && code <= 1024)
        return 10400 + (code - 1000);
    if (code >= 1101 && code <= 1124)
        return 10430 + (code - 1100);
    return 0;
}

} // namespace

std::string StateText(int state) {
    if ((state >= 0 && state <= 9) || state == state::kBoot)
        return Text(state == state::kBoot ? ids::kStateBoot : ids::kStateFirst + state);
    return Text(ids::kStateGeneric) + " " + std::to_string(state) + "!";
}

std::string InstrumentErrorText(int code) {
    switch (code) {
    case 0:
    case 1:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
    case 19:
    case 80:
    case 81:
    case 82:
    case 83:
    case 86:
    case 96:
    case 97:
    case 98:
    case 99:
        // The texts of codes 0-19 start at 10250, those of 80-99 at 10280.
        return Text(code < 80 ? ids::kErrorFirst + code : ids::kErrorFirst + 30 + code - 80);
    case 84:
    case 85:
        return InstrumentErrorText(83); // one text for the three factory-calibration codes
    case 230:
        return Text(ids::kErrorRecipe);
    default:
        return Text(ids::kErrorGeneric) + " " + std::to_string(code) + ")!";
    }
}

std::string CommandErrorText(int code) {
    std::string text;
    if (code >= 41000 && code <= 41798) {
        // The instrument names the set-up register whose value it refuses.
        char number[16];
        std::snprintf(number, sizeof number, "%6d", code);
        text = Text(ids::kCommandErrorRegister) + number;
    } else {
        const int id = CommandErrorId(code);
        if (id == 0)
            return GenericCommandError(code);
        text = Text(id);
    }
    return IsExitRefusal(code) ? Text(ids::kExitRefusedPrefix) + text : text;
}

std::string SaveWarningText(int code) {
    std::string detail;
    if (code == 168)
        detail = Text(ids::kSaveCalibrationNotFinished);
    else if (code == 177)
        detail = Text(ids::kSaveDerivationTimeChanged);
    else
        detail = GenericCommandError(code);
    return Text(ids::kSaveWarning) + " " + detail + " " + Text(ids::kSaveQuestion);
}

bool ReportCommandError(ModbusMaster& bus, int address, CommStatus result, bool messages,
                        const std::string& prefix, const std::string& extra, Prompter* owner) {
    if (result == CommStatus::Ok)
        return true;
    if (!messages)
        return false;
    Prompter& box = owner ? *owner : bus.DefaultPrompter();
    if (result == CommStatus::IllegalDataValue || result == CommStatus::NegativeAcknowledge) {
        // The instrument refused the request and left the reason in its command-error register.
        uint16_t code = 0;
        if (bus.ReadHoldingRegisters(address, reg::kCommandError, 1, &code,
                                     {.retries = 3, .showRetryBox = true, .owner = owner}) ==
            CommStatus::Ok) {
            box.Error(prefix + CommandErrorText(code));
            return false;
        }
    }
    // The retry box has already offered receive, no-answer and checksum failures.
    bus.ReportLinkError(result, {}, true, owner);
    bus.ReportExceptionError(result, {}, owner);
    if (!extra.empty())
        box.Error(extra);
    return false;
}

LiveBlock DecodeLiveBlock(const uint16_t registers[17]) {
    LiveBlock b;
    b.rawTypeCode = registers[reg::kTypeCode - reg::kLiveBlock];
    b.commandError = registers[reg::kCommandError - reg::kLiveBlock];
    b.state = registers[reg::kState - reg::kLiveBlock];
    b.error = registers[reg::kError - reg::kLiveBlock];
    b.statusBits = registers[reg::kStatusBits - reg::kLiveBlock];
    b.ioStatus = registers[reg::kIoStatus - reg::kLiveBlock];
    for (int i = 0; i < 3; ++i) {
        b.gross[i] = registers[reg::kGrossWeight - reg::kLiveBlock + i];
        b.net[i] = registers[reg::kNetWeight - reg::kLiveBlock + i];
    }
    return b;
}

std::string IoWarningText(const LiveBlock& block) {
    return block.IoBusFaulty() ? Text(ids::kIoBusFaulty) : std::string();
}

} // namespace quarnex
