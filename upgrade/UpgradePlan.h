#pragma once

#include "upgrade/UpgradeImage.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quarnex {

// What the upgrade sends, worked out from a checked image before the first byte goes out: the
// erase codes, the program blocks and the progress positions. The procedure that talks to the
// boot loader walks the plan's steps in order and stops at the first failure.

// One write to the program register: the address, then the data words (high byte first).
struct ProgramBlock {
    uint32_t address = 0;
    std::vector<uint16_t> words; // 64, or 62 for the block at address 0
};

// The application's blocks: every full 128-byte block outside the boot-loader area that holds a
// word other than 0xFFFF. The first four bytes of the flash are the instrument's reset vector,
// which belongs to the boot loader: the block at address 0 goes from address 4 with 62 words.
std::vector<ProgramBlock> ApplicationBlocks(std::span<const uint8_t> image,
                                            const FlashLayout& layout);
// The boot loader's blocks: every full non-empty 128-byte block of its area.
std::vector<ProgramBlock> BootLoaderBlocks(std::span<const uint8_t> image,
                                           const FlashLayout& layout);

// The erase codes before the application is programmed: 99, then the sectors 1-7 except the
// boot loader's own. Empty when the image has no application.
std::vector<int> ApplicationEraseCodes(const UpgradeImageInfo& info);

// The words written to a boot-loader register: the key, then the code when there is one.
std::vector<uint16_t> EraseCommand(int code);
std::vector<uint16_t> RestartCommand();
std::vector<uint16_t> EnterBootLoaderCommand();
std::vector<uint16_t> DefaultSetupCommand();
// The words written to the program register for one block.
std::vector<uint16_t> ProgramCommand(const ProgramBlock& block);

struct BootLoaderStep {
    enum class Kind {
        Message,  // text: the progress window's whole message from now on
        Position, // value: the progress bar's position
        Enter,    // the enter key to the enter register
        Wait,     // value: milliseconds
        Erase,    // value: the erase code
        Program,  // block: index into BootLoaderPlan::blocks
        Restart,  // the restart key to the restart register
    };
    Kind kind = Kind::Message;
    int value = 0;
    size_t block = 0;
    std::string text;
};

struct BootLoaderPlan {
    int rangeLow = 0;
    int rangeHigh = 0; // N + N / 10, N the image's used blocks
    int step = 5;
    std::vector<ProgramBlock> blocks; // the application's first, then the boot loader's
    std::vector<BootLoaderStep> steps;
};

constexpr int kEnterBootLoaderWaitMs = 3000;

// The whole procedure for a valid image: enter the boot loader; with an application, erase (99,
// then the sectors) and program it; with a boot loader, erase its sector and program it last (an
// interruption before then leaves the old boot loader in place to try again); restart. Empty for
// an image that is not valid.
BootLoaderPlan PlanBootLoaderProcedure(const UpgradeImage& image);

// The instrument's side, read from its program information registers.
struct InstrumentProgramInfo {
    int flashKb = 0;
    ProgramInfoBlock application;
    ProgramInfoBlock bootLoader;
    std::string text;
};

// Parses what the instrument reported and builds its text. False when the boot-loader block is
// not valid (the instrument's answer makes no sense then); the application block may be invalid
// (no application in the flash), which the text says.
bool ParseInstrumentProgramInfo(int flashKb, std::span<const uint16_t> applicationRegisters,
                                std::span<const uint16_t> bootLoaderRegisters,
                                InstrumentProgramInfo& info);

// May this image go into this instrument? The same family member as the instrument's boot loader
// and the same flash size.
bool IsCompatible(const UpgradeImage& image, const InstrumentProgramInfo& instrument);

// The register that takes the default set-up key: 41950 for PIR 7, FLIN 7 and TIG 7, the enter
// register for every other type.
int DefaultSetupRegister(InstrumentType type);

} // namespace quarnex
