#pragma once

// The program's side of the KEL 7 register and coil map. Holding registers are named by their
// Modbus reference number (40001-49999), coils by their 1-based number. The simulator keeps its
// own copy of these numbers on purpose: a typo here must not be hidden by the same typo there.

namespace quarnex {

namespace reg {
// Live block, read as 17 registers from 40001.
constexpr int kLiveBlock = 40001;
constexpr int kLiveBlockCount = 17;
constexpr int kTypeCode = 40001;
constexpr int kCommandError = 40007;
constexpr int kState = 40008;
constexpr int kError = 40009;
constexpr int kStatusBits = 40010;
constexpr int kIoStatus = 40011;
constexpr int kGrossWeight = 40012;      // high word, low word, decimals
constexpr int kNetWeight = 40015;        // high word, low word, decimals
constexpr int kSerialNumberHigh = 40004; // high word, low word
// Beyond the live block, read with it where a window needs them.
constexpr int kCalibFlags = 40020;  // bit value 0x8000: a calibration point may be entered now
constexpr int kInputSignal = 40027; // mV/V: high word, low word, decimals
constexpr int kSetpoints = 40031;   // 2 x (high word, low word, decimals)
constexpr int kLevelStatus = 40045;
// The index of a register in a read that starts at the live block. DecodeLiveBlock names the
// live block's own fields; this is for the registers it does not decode.
constexpr int LiveOffset(int reg) {
    return reg - kLiveBlock;
}

// The program information block; the program's 8-character text lies at 43001-43004.
constexpr int kProgramInfo = 42998;
constexpr int kProgramInfoCount = 23;
constexpr int kProgramText = 43001;
constexpr int kProgramTextRegisters = 4;
// The levels: 8 x (high word, low word, decimals) live, the values as set-up parameters.
constexpr int kLevelsLive = 44039;
constexpr int kLevelValues = 41826;
// The instrument's name, 12 characters.
constexpr int kInstrumentName = 44696;
constexpr int kInstrumentNameRegisters = 6;

// Identification block: 5 floats from 40200, 15 floats from 40370.
constexpr int kIdentBlock = 40200;
constexpr int kIdentBlockFloats = 5;
constexpr int kIdentTypeCode = 40200;
constexpr int kProgramNumber = 40202;
constexpr int kProgramVersion = 40204;
constexpr int kIdentUnused = 40206; // read with the block, never used
constexpr int kSerialNumber = 40208;
constexpr int kUnstoredPoints = 40368; // float: bit k-1 set = calibration point k not stored
constexpr int kIdentExtension = 40370;
constexpr int kIdentExtensionFloats = 15;
constexpr int kOptions = 40370;
constexpr int kFirstBatchRegister = 40372;
constexpr int kBatchCount = 40374;
constexpr int kFirstStringRegister = 40376;
constexpr int kStringCount = 40378;
constexpr int kFirstNormalRegister = 40380;
constexpr int kNormalCount = 40382;
constexpr int kFirstSpecialRegister = 40384;
constexpr int kSpecialCount = 40386;
constexpr int kSetupVersion = 40394;
constexpr int kSetupDataVersion = 40396;

// A special parameter's descriptor lies this far above its value register (16 registers).
constexpr int kDescriptorOffset = 1000;
constexpr int kDescriptorRegisters = 16;

// Batching: general values, then one activity at a time through the selector window.
constexpr int kBatchGeneral = 41400;
constexpr int kActivitySelector = 41410;
constexpr int kActivityWindow = 41412;
// Recipes: one recipe at a time through the selector window.
constexpr int kRecipeSelector = 41462;
constexpr int kRecipeWindow = 41464;
} // namespace reg

namespace coil {
constexpr int kTare = 7;
constexpr int kZero = 8;
constexpr int kGross = 9;
constexpr int kNet = 10;
constexpr int kShuntDisconnect = 11;
constexpr int kShuntConnect = 12;
constexpr int kStart = 16;
constexpr int kEnterBatchSetup = 17;
constexpr int kLeaveBatchSetup = 18;
constexpr int kEnterRemoteSetup = 100;
constexpr int kEnterRemoteRestore = 101;
constexpr int kLeaveAndSave = 102;
constexpr int kLeaveWithoutSaving = 103;
constexpr int kCheckSetup = 105;
} // namespace coil

// Instrument states (register 40008).
namespace state {
constexpr int kStartingUp = 0;
constexpr int kWaitForStart = 1;
constexpr int kNormal = 2;
constexpr int kLocalSetup = 3;
constexpr int kRemoteSetup = 4;
constexpr int kRemoteRestore = 5;
constexpr int kError = 6;
constexpr int kFatalError = 7;
constexpr int kTest = 8;
constexpr int kWarmingUp = 9;
constexpr int kBoot = 99;
} // namespace state

// Bits of the status register 40010 and the I/O status register 40011.
namespace bits {
constexpr int kZero = 0x0008;
constexpr int kNetMode = 0x0040;
constexpr int kMotion = 0x0080;
constexpr int kIoBusFaulty = 0x0004;
constexpr int kBatchingOption = 0x0010; // enabled software options (40370)
} // namespace bits

namespace reg {
// Index of reg in a block of count entries step registers apart from first; -1 outside it.
inline int IndexIn(int reg, int first, int count, int step) {
    if (count <= 0 || reg < first || (reg - first) % step != 0)
        return -1;
    const int i = (reg - first) / step;
    return i < count ? i : -1;
}

// A selector's value as an activity or recipe number: a whole number from 1 to last; else 0
// (NaN included).
inline int SelectedNumber(float value, int last) {
    if (!(value >= 1.0f && value <= static_cast<float>(last)))
        return 0;
    const int number = static_cast<int>(value);
    return static_cast<float>(number) == value ? number : 0;
}
} // namespace reg

} // namespace quarnex
