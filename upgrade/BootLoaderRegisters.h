#pragma once

#include <cstdint>

// The instrument's boot-loader protocol and its program information registers. The keys are the
// instrument's own constants: a boot loader that sees any other words refuses the command, so a
// stray write can never start an erase.
namespace quarnex::bootreg {

constexpr int kFlashSize = 42995;  // the instrument's flash size in KB, one register
constexpr int kBootInfo = 42996;   // the boot loader's program information block
constexpr int kAppInfo = 42998;    // the application's program information block
constexpr int kInfoRegisters = 23; // one block: 46 bytes, high byte of each register first

constexpr int kEnter = 48000;   // 4-word enter key (or the 4-word default set-up key)
constexpr int kErase = 48100;   // 3-word erase key, then the erase code
constexpr int kRestart = 48200; // 3-word restart key, then kRestartCode
constexpr int kProgram = 48500; // address high word, address low word, up to 64 data words
// PIR 7, FLIN 7 and TIG 7 take their default set-up key here instead of at kEnter.
constexpr int kDefaultSetupAlt = 41950;

constexpr uint16_t kEnterKey[4] = {0x424F, 0x4F54, 0x4C44, 0x5221};   // "BOOTLDR!"
constexpr uint16_t kDefaultKey[4] = {0x4445, 0x4641, 0x554C, 0x5421}; // "DEFAULT!"
constexpr uint16_t kEraseKey[3] = {0x4552, 0x4153, 0x4521};           // "ERASE!"
constexpr uint16_t kRestartKey[3] = {0x5253, 0x5452, 0x5421};         // "RSTRT!"

constexpr int kEraseAll = 99; // first erase code: prepares the application sectors
constexpr int kRestartCode = 99;
constexpr int kFirstSector = 1; // sector erase codes 1-7
constexpr int kLastSector = 7;

constexpr int kMaxProgramWords = 64; // one 128-byte block

} // namespace quarnex::bootreg
