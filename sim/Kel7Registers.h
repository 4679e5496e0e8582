#pragma once

// The register and coil map of the simulated instruments, as the instrument itself lays it out.
// Registers are Modbus reference numbers (40001 = protocol address 0); coils are numbered from 1.
// This is the instrument's side of the bus: it is written from the instrument's documentation and
// deliberately shares nothing with the program's own constants, so that a wrong number on one side
// shows up as a failing test instead of hiding in a common header.

namespace quarnex::sim::kel7 {

// Live block (16-bit registers).
constexpr int kTypeCode = 40001;
constexpr int kSerialHigh = 40004;
constexpr int kSerialLow = 40005;
constexpr int kCommandError = 40007;
constexpr int kState = 40008;
constexpr int kError = 40009;
constexpr int kStatusBits = 40010;
constexpr int kIoStatus = 40011;
constexpr int kGrossWeight = 40012; // high, low, decimals
constexpr int kNetWeight = 40015;   // high, low, decimals
constexpr int kCalibFlags = 40020;  // 0x8000: the calibration point may be edited now
constexpr int kInputSignal = 40027; // mV/V: high, low, decimals
constexpr int kSetpoint1 = 40031;   // high, low, decimals
constexpr int kSetpoint2 = 40034;
constexpr int kLevelStatus = 40045; // bit n-1: level n active
constexpr int kLiveFirst = 40001;
constexpr int kLiveLast = 40060;

constexpr int kStatusZero = 0x0008;
constexpr int kStatusNet = 0x0040;
constexpr int kStatusMotion = 0x0080;
constexpr int kIoBusFaulty = 0x0004;
constexpr int kPointEditable = 0x8000;

// Identification block (two-register floats, high word first).
constexpr int kIdType = 40200;
constexpr int kIdProgramNumber = 40202;
constexpr int kIdProgramVersion = 40204;
constexpr int kIdSpare = 40206;
constexpr int kIdSerial = 40208;
constexpr int kIdFirstA = 40200;
constexpr int kIdLastA = 40209;
constexpr int kUnstoredPoints = 40368; // float: bit k-1 = calibration point k not stored
constexpr int kIdOptions = 40370;
constexpr int kIdFirstBatch = 40372;
constexpr int kIdBatchCount = 40374;
constexpr int kIdFirstString = 40376;
constexpr int kIdStringCount = 40378;
constexpr int kIdFirstNormal = 40380;
constexpr int kIdNormalCount = 40382;
constexpr int kIdFirstSpecial = 40384;
constexpr int kIdSpecialCount = 40386;
constexpr int kIdSetupVersion = 40394;
constexpr int kIdSetupDataVersion = 40396;
constexpr int kIdFirstB = 40368;
constexpr int kIdLastB = 40399;

constexpr int kOptionFlowRate = 2;
constexpr int kOptionBatching = 16;

// Set-up blocks. The special block sits 338 registers above the normal block (after room for
// 169 normal values); each special value has a 16-register descriptor 1000 registers above it,
// the descriptors overlapping one another and read by their start register.
constexpr int kFirstNormal = 41000;
constexpr int kFirstSpecial = 41338;
constexpr int kDescriptorOffset = 1000;
constexpr int kDescriptorLength = 16;
constexpr int kFirstString = 43100;
constexpr int kStringRegisters = 6;

// Batching and recipes: general values, an activity selector with its window, a recipe selector
// with its window.
constexpr int kBatchGeneral = 41400; // 5 floats
constexpr int kActivitySelector = 41410;
constexpr int kActivityWindow = 41412; // 25 floats
constexpr int kRecipeSelector = 41462;
constexpr int kRecipeWindow = 41464; // 60 floats
constexpr int kBatchLast = 41583;
constexpr int kGeneralValues = 5;
constexpr int kActivities = 24;
constexpr int kActivityValues = 25;
constexpr int kRecipes = 30;
constexpr int kRecipeValues = 60;

constexpr int kAdjustEnd1 = 41812; // float; writing ends the adjustment of analogue output 1
constexpr int kAdjustEnd2 = 41814;
constexpr int kLevelValues = 41826; // 8 floats
constexpr int kLevelsLive = 44039;  // 8 x (high, low, decimals)
constexpr int kName = 44696;        // 6 registers, 12 characters
constexpr int kBatchSetupFlag = 47820;

// Boot loader and program information.
constexpr int kFlashSize = 42995; // in KB
constexpr int kBootInfo = 42996;  // 23 registers
constexpr int kAppInfo = 42998;   // 23 registers
constexpr int kInfoRegisters = 23;
constexpr int kBootEnter = 48000;       // 4-word key (or the default set-up key)
constexpr int kBootErase = 48100;       // 3-word key + erase code
constexpr int kBootRestart = 48200;     // 3-word key + 99
constexpr int kBootProgram = 48500;     // address high, address low, up to 64 data words
constexpr int kDefaultSetupAlt = 41950; // default set-up key of PIR 7, FLIN 7 and TIG 7

// The keys of the boot-loader protocol (16-bit words, high byte first on the line).
constexpr unsigned short kEnterKey[4] = {0x424F, 0x4F54, 0x4C44, 0x5221};   // "BOOTLDR!"
constexpr unsigned short kDefaultKey[4] = {0x4445, 0x4641, 0x554C, 0x5421}; // "DEFAULT!"
constexpr unsigned short kEraseKey[3] = {0x4552, 0x4153, 0x4521};           // "ERASE!"
constexpr unsigned short kRestartKey[3] = {0x5253, 0x5452, 0x5421};         // "RSTRT!"
constexpr int kEraseStart = 99;
constexpr int kRestartCode = 99;

// Command coils.
constexpr int kCoilTare = 7;
constexpr int kCoilZero = 8;
constexpr int kCoilGross = 9;
constexpr int kCoilNet = 10;
constexpr int kCoilShuntOff = 11;
constexpr int kCoilShuntOn = 12;
constexpr int kCoilStart = 16;
constexpr int kCoilBatchEnter = 17;
constexpr int kCoilBatchLeave = 18;
constexpr int kCoilRemoteSetup = 100;
constexpr int kCoilRemoteRestore = 101;
constexpr int kCoilSave = 102;
constexpr int kCoilDiscard = 103;
constexpr int kCoilCheck = 105;

// States (register 40008).
constexpr int kStateStartingUp = 0;
constexpr int kStateWaitForStart = 1;
constexpr int kStateNormal = 2;
constexpr int kStateLocalSetup = 3;
constexpr int kStateRemoteSetup = 4;
constexpr int kStateRemoteRestore = 5;
constexpr int kStateError = 6;
constexpr int kStateFatal = 7;
constexpr int kStateTest = 8;
constexpr int kStateWarmingUp = 9;
constexpr int kStateBoot = 99;

// Instrument errors (register 40009).
constexpr int kErrRemoteSetup = 1;
constexpr int kErrOverload = 4;
constexpr int kErrOverRange = 5;
constexpr int kErrUnderload = 6;
constexpr int kErrUnderRange = 7;
constexpr int kErrShuntConnected = 19;

// Command errors (register 40007).
constexpr int kCeWrongState = 100;
constexpr int kCeOverrange = 101;
constexpr int kCeUnderrange = 102;
constexpr int kCeIllegalStart = 103;
constexpr int kCeIllegalCount = 104;
constexpr int kCeIllegalValue = 105;
constexpr int kCeChoice = 106;
constexpr int kCeUnstable = 120;
constexpr int kCeNegativeGross = 121;
constexpr int kCeNetMode = 122;
constexpr int kCeZeroLimits = 123;
constexpr int kCeNoTare = 126;
constexpr int kCeNotNormal = 127;
constexpr int kCeEnterSetup = 130;
constexpr int kCeExitSetup = 131;
constexpr int kCeOptionDisabled = 134;
constexpr int kCeBatchState = 135;
constexpr int kCeNotNow = 140;
constexpr int kCeCalibTimeout = 162;
constexpr int kCeSaveNotAllowed = 163;
constexpr int kCeIllegalRegister = 164;
constexpr int kCeCapacityDigits = 165;
constexpr int kCeSetToDefault = 166;
constexpr int kCeCalibDirection = 167;
constexpr int kCeUnstoredPoints = 168;
constexpr int kCeZeroOffsetLocked = 169;
constexpr int kCeZeroSetRange = 170;
constexpr int kCeExitCapacityDigits = 188;
constexpr int kCeExitAnalogRange = 192;
constexpr int kCeExitSameIoUnit = 199;
constexpr int kCeActivityNumber = 225;
constexpr int kCeRecipeNumber = 226;

// Modbus exception codes the instrument answers with.
constexpr int kExIllegalFunction = 1; // a function the instrument does not have
constexpr int kExIllegalAddress = 2;  // a register or coil outside the instrument's map
constexpr int kExIllegalValue = 3;    // a value or quantity refused (reason in 40007)
constexpr int kExRefused = 7;         // a command that cannot be done now (reason in 40007)

// Normal set-up parameters (index into the normal block: register 41001 + 2 i).
constexpr int kParStartMode = 1; // 0 Command, 1 Auto
constexpr int kParResolution = 15;
constexpr int kParCapacity = 16;
constexpr int kParFilterType = 18;
constexpr int kParFilterTime = 19;
constexpr int kParMotionWindow = 21;
constexpr int kParNoMotionDelay = 22; // s
constexpr int kParWarmUpTime = 25;    // min
constexpr int kParOverloadCheck = 26; // 0 Off, 1 Unipolar, 2 Bipolar
constexpr int kParOverloadLimit = 27;
constexpr int kParCalibrationType = 32;
constexpr int kParConversionFactor = 33;
constexpr int kParRatedLoad = 35;
constexpr int kParRatedOutput1 = 36;
constexpr int kParCalibPoints = 40;
constexpr int kParPointValue1 = 41;  // to 46: the value in calibration point 1-6
constexpr int kParPointSignal1 = 47; // to 52: the signal measured there
constexpr int kParShuntForce = 53;
constexpr int kParShuntSignal = 54;
constexpr int kParSetZero = 55;
constexpr int kParZeroOffset = 56;
constexpr int kParAddress = 57;
constexpr int kParCom2Mode = 61;
constexpr int kParCom3Mode = 64;
constexpr int kParCom3Position = 67;
constexpr int kParCom4Mode = 68;
constexpr int kParCom4Position = 71;
constexpr int kParLevel1Source = 79;     // level n: 79 + 3 (n-1)
constexpr int kParLevel1OutputConf = 80; // level n: 80 + 3 (n-1); 1 = active below
constexpr int kParLevelStride = 3;
constexpr int kParOutput1Source = 141; // range low and high 2 and 3 after it
constexpr int kParOutput2Source = 148;
constexpr int kParAutoDerivationTime = 155;
constexpr int kParFlowRateResolution = 156;
constexpr int kParDerivationTime = 158;
constexpr int kParameterTableRows = 159; // values the parameter table describes
constexpr int kMaxNormal = 169;          // room in the normal block
constexpr int kMaxSpecial = 20;

// "Calibration type:" choices.
constexpr int kCalibDataSheet = 0;
constexpr int kCalibDeadweight = 1;
constexpr int kCalibShunt = 3;
// "COM2: Mode:" choice that puts COM3 and COM4 on the I/O bus.
constexpr int kComModeIoBus = 7;
// Level sources ("LEVEL n, Source:").
constexpr int kLevelNotInUse = 0;
constexpr int kLevelNet = 1;
constexpr int kLevelGross = 2;
constexpr int kLevelDisplayed = 3;
constexpr int kLevelFlowRate = 4;
constexpr int kLevelAbsNet = 5;
constexpr int kLevelAbsGross = 6;
constexpr int kLevelAbsDisplayed = 7;
constexpr int kLevelAbsFlowRate = 8;
constexpr int kLevelSpecial = 9;
constexpr int kLevelOffsetLevel1 = 10;

// Type codes of the family.
constexpr int kCodePir7 = 2001;
constexpr int kCodeJov7 = 2002;
constexpr int kCodeKel7 = 2003;
constexpr int kCodeYax7 = 2004;
constexpr int kCodeFlin7 = 2006;
constexpr int kCodeZeb7 = 2007;
constexpr int kCodeHusk7 = 2008;
constexpr int kCodeLop7 = 2009;
constexpr int kCodeVum7 = 2010;
constexpr int kCodeTig7 = 2011;

} // namespace quarnex::sim::kel7
