#include "upgrade/UpgradePlan.h"

#include "res/Strings.h"
#include "res/UpgradeTextIds.h"
#include "upgrade/BootLoaderRegisters.h"

namespace quarnex {

namespace {

// The reset vector at the start of the flash is never written by an upgrade.
constexpr uint32_t kResetVectorBytes = 4;

// Appends the block [from, from + 128) as words when one of them is not 0xFFFF.
void AddBlock(std::span<const uint8_t> image, uint32_t from, std::vector<ProgramBlock>& out) {
    ProgramBlock block;
    const uint32_t start = from == 0 ? kResetVectorBytes : from;
    block.address = start;
    bool empty = true;
    for (uint32_t i = start; i + 1 < from + kFlashBlockBytes; i += 2) {
        const uint16_t word = static_cast<uint16_t>(image[i] << 8 | image[i + 1]);
        empty = empty && word == 0xFFFF;
        block.words.push_back(word);
    }
    if (!empty)
        out.push_back(std::move(block));
}

std::vector<uint16_t> KeyWithCode(const uint16_t (&key)[3], int code) {
    return {key[0], key[1], key[2], static_cast<uint16_t>(code)};
}

} // namespace

std::vector<ProgramBlock> ApplicationBlocks(std::span<const uint8_t> image,
                                            const FlashLayout& layout) {
    std::vector<ProgramBlock> blocks;
    if (layout.size == 0 || image.size() != layout.size)
        return blocks;
    for (uint32_t at = 0; at + kFlashBlockBytes <= layout.size; at += kFlashBlockBytes)
        if (!layout.InBootArea(at))
            AddBlock(image, at, blocks);
    return blocks;
}

std::vector<ProgramBlock> BootLoaderBlocks(std::span<const uint8_t> image,
                                           const FlashLayout& layout) {
    std::vector<ProgramBlock> blocks;
    if (layout.size == 0 || image.size() != layout.size)
        return blocks;
    for (uint32_t at = layout.bootStart; at + kFlashBlockBytes <= layout.bootEnd + 1;
         at += kFlashBlockBytes)
        AddBlock(image, at, blocks);
    return blocks;
}

std::vector<int> ApplicationEraseCodes(const UpgradeImageInfo& info) {
    std::vector<int> codes;
    if (!info.hasApplication)
        return codes;
    codes.push_back(bootreg::kEraseAll);
    for (int code = bootreg::kFirstSector; code <= bootreg::kLastSector; ++code)
        if (code != info.layout.bootEraseCode)
            codes.push_back(code);
    return codes;
}

std::vector<uint16_t> EraseCommand(int code) {
    return KeyWithCode(bootreg::kEraseKey, code);
}

std::vector<uint16_t> RestartCommand() {
    return KeyWithCode(bootreg::kRestartKey, bootreg::kRestartCode);
}

std::vector<uint16_t> EnterBootLoaderCommand() {
    return {std::begin(bootreg::kEnterKey), std::end(bootreg::kEnterKey)};
}

std::vector<uint16_t> DefaultSetupCommand() {
    return {std::begin(bootreg::kDefaultKey), std::end(bootreg::kDefaultKey)};
}

std::vector<uint16_t> ProgramCommand(const ProgramBlock& block) {
    std::vector<uint16_t> words = {static_cast<uint16_t>(block.address >> 16),
                                   static_cast<uint16_t>(block.address)};
    words.insert(words.end(), block.words.begin(), block.words.end());
    return words;
}

BootLoaderPlan PlanBootLoaderProcedure(const UpgradeImage& image) {
    BootLoaderPlan plan;
    if (!image.Valid())
        return plan;
    const UpgradeImageInfo& info = image.Info();
    const int n = info.usedBlocks;
    plan.rangeHigh = n + n / 10;

    using Kind = BootLoaderStep::Kind;
    std::string message;
    int position = 0;
    auto say = [&](int id) {
        message = message.empty() ? Text(id) : message + "\n" + Text(id);
        plan.steps.push_back({Kind::Message, 0, 0, message});
    };
    auto show = [&] { plan.steps.push_back({Kind::Position, position, 0, {}}); };
    auto step = [&](Kind kind, int value = 0) { plan.steps.push_back({kind, value, 0, {}}); };
    // Programs the blocks, showing the position after every showEvery-th block sent.
    auto program = [&](std::vector<ProgramBlock> blocks, int showEvery) {
        int sent = 0;
        for (ProgramBlock& block : blocks) {
            plan.steps.push_back({Kind::Program, 0, plan.blocks.size(), {}});
            plan.blocks.push_back(std::move(block));
            ++position;
            if (++sent % showEvery == 0)
                show();
        }
    };

    say(ids::kInitiatingUpgrade);
    position = n / 50;
    show();
    step(Kind::Enter);
    step(Kind::Wait, kEnterBootLoaderWaitMs);

    if (info.hasApplication) {
        say(ids::kErasingFlash);
        position += n / 100;
        show();
        for (int code : ApplicationEraseCodes(info)) {
            if (code != bootreg::kEraseAll) {
                position += n / 100;
                show();
            }
            step(Kind::Erase, code);
        }
        say(ids::kProgrammingApplication);
        program(ApplicationBlocks(image.Bytes(), info.layout), 10);
    }

    if (info.hasBootLoader) {
        say(ids::kProgrammingBootLoader);
        position += (n / 10) / 10;
        if (!info.hasApplication)
            position += (n / 10) / 2;
        show();
        step(Kind::Erase, info.layout.bootEraseCode);
        program(BootLoaderBlocks(image.Bytes(), info.layout), 4);
    }

    say(ids::kRestartingInstrument);
    step(Kind::Restart);
    return plan;
}

bool ParseInstrumentProgramInfo(int flashKb, std::span<const uint16_t> applicationRegisters,
                                std::span<const uint16_t> bootLoaderRegisters,
                                InstrumentProgramInfo& info) {
    info = InstrumentProgramInfo();
    info.flashKb = flashKb;
    ParseProgramInfoBlock(applicationRegisters, info.application);
    if (!ParseProgramInfoBlock(bootLoaderRegisters, info.bootLoader))
        return false;
    info.text = Text(ids::kInstrumentTypeLabel) + " " + InstrumentTypeName(info.bootLoader.type) +
                " (" + std::to_string(flashKb) + "Kb)\r\n";
    info.text += info.application.valid ? ApplicationProgramLine(info.application)
                                        : Text(ids::kNoInformationAvailable);
    info.text += "\r\n" + BootLoaderProgramLine(info.bootLoader);
    return true;
}

bool IsCompatible(const UpgradeImage& image, const InstrumentProgramInfo& instrument) {
    return image.Valid() && instrument.bootLoader.valid &&
           image.Info().type == instrument.bootLoader.type &&
           image.Info().layout.sizeKb == instrument.flashKb;
}

int DefaultSetupRegister(InstrumentType type) {
    switch (type) {
    case itype::kPir7:
    case itype::kFlin7:
    case itype::kTig7:
        return bootreg::kDefaultSetupAlt;
    default:
        return bootreg::kEnter;
    }
}

} // namespace quarnex
