// The boot loader and flash of the simulated KEL 7: the flash image with its two program
// information blocks, the keys that enter the boot loader, restore the default set-up, erase and
// restart, block programming, and the restart into whatever program the flash holds.

#include "sim/Kel7Model.h"

#include "sim/Kel7Internal.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace quarnex::sim {

using namespace kel7;

void Kel7Model::BuildFlash() {
    ProgramInfo app;
    app.typeCode = kCodeKel7;
    app.setupVersion = static_cast<uint16_t>(options_.setupVersion);
    app.setupDataVersion = static_cast<uint16_t>(options_.setupDataVersion);
    app.text1 = "KEL7-" + std::to_string(options_.programNumber);
    char version[32];
    std::snprintf(version, sizeof version, "V%d.%02d", options_.programVersion / 100,
                  options_.programVersion % 100);
    app.text2 = version;
    app.text3 = "261012";
    ProgramInfo boot;
    boot.typeCode = kCodeKel7;
    boot.text1 = "KEL7-BOOT";
    boot.text2 = "V2.01";
    boot.text3 = "250301";
    flash_ =
        BuildFlashImage(options_.flashKb, app, boot, true, true, 6000, 1500, options_.serialNumber);
    runningApp_ = ParseInfoBlock(&flash_[layout_.size - kInfoBlockBytes]);
}

uint16_t Kel7Model::ReadProgramInfo(int reg, int start) const {
    if (reg == kFlashSize)
        return static_cast<uint16_t>(options_.flashKb);
    // The two program information blocks overlap; a read is keyed by its start register.
    const bool app = start >= kAppInfo;
    const int base = app ? kAppInfo : kBootInfo;
    const int offset = reg - base;
    if (offset < 0 || offset >= kInfoRegisters)
        return 0;
    const uint32_t at = (app ? layout_.size : layout_.bootEnd + 1) - kInfoBlockBytes +
                        static_cast<uint32_t>(2 * offset);
    return static_cast<uint16_t>(flash_[at] << 8 | flash_[at + 1]);
}

int Kel7Model::BootWrite(const Area& area, int reg, const uint16_t* values, int count, bool single,
                         SlaveResult& result) {
    (void)area;
    (void)single;
    auto keyMatches = [values](const unsigned short* key, int n) {
        for (int i = 0; i < n; ++i)
            if (values[i] != key[i])
                return false;
        return true;
    };
    if (reg == kBootEnter) {
        if (count != 4)
            return Refuse(kCeIllegalCount, kExIllegalValue, result);
        if (keyMatches(kEnterKey, 4)) {
            if (SetupWritable() || state_ == kStateStartingUp)
                return Refuse(kCeWrongState, kExRefused, result);
            state_ = kStateBoot;
            stateUntilMs_ = -1;
            eraseStarted_ = bootErased_ = false;
            netMode_ = false;
            shunt_ = false;
            batchSetup_ = false;
            return 0;
        }
        if (keyMatches(kDefaultKey, 4)) {
            if (!(state_ == kStateWaitForStart || state_ == kStateNormal || state_ == kStateError ||
                  state_ == kStateWarmingUp))
                return Refuse(kCeWrongState, kExRefused, result);
            // The instrument stays at the address it answers at: its set-up must keep saying so,
            // or a later save (and every backup) would carry an address it does not listen on.
            const float address = setup_.normal[kParAddress];
            FactoryReset();
            setup_.normal[kParAddress] = address;
            result.delayMs = options_.saveMs;
            return 0;
        }
        return Refuse(kCeIllegalValue, kExIllegalValue, result);
    }
    if (reg == kBootErase || reg == kBootRestart) {
        if (count != 4)
            return Refuse(kCeIllegalCount, kExIllegalValue, result);
        if (!keyMatches(reg == kBootErase ? kEraseKey : kRestartKey, 3))
            return Refuse(kCeIllegalValue, kExIllegalValue, result);
        const int code = values[3];
        if (reg == kBootRestart) {
            if (code != kRestartCode)
                return Refuse(kCeIllegalValue, kExIllegalValue, result);
            Restart();
            return 0;
        }
        if (state_ != kStateBoot)
            return Refuse(kCeWrongState, kExRefused, result);
        auto erase = [this](uint32_t from, uint32_t to, bool keepBoot) {
            for (uint32_t a = from; a <= to && a < layout_.size; ++a)
                if (!keepBoot || a < layout_.bootStart || a > layout_.bootEnd)
                    flash_[a] = 0xFF;
        };
        if (code == kEraseStart) {
            erase(0, layout_.size - 1, true); // the whole application area
            std::memcpy(flash_.data(), kResetVector, sizeof kResetVector);
            eraseStarted_ = true;
        } else if (code >= 1 && code <= 7) {
            // The boot-loader sector may be erased on its own (an upgrade that carries only a
            // boot loader leaves the application in place); the application sectors follow the
            // erase start.
            if (!eraseStarted_ && code != layout_.bootEraseCode)
                return Refuse(kCeNotNow, kExRefused, result);
            if (code == layout_.bootEraseCode) {
                erase(layout_.bootStart, layout_.bootEnd, false);
                bootErased_ = true;
            } else {
                // The sectors: eighths of the flash, sector 1 taking the first two.
                const uint32_t unit = layout_.size / 8;
                const uint32_t from = code == 1 ? 4 : unit * static_cast<uint32_t>(code);
                erase(from, unit * static_cast<uint32_t>(code + 1) - 1, true);
            }
        } else {
            return Refuse(kCeIllegalValue, kExIllegalValue, result);
        }
        result.delayMs = options_.eraseMs;
        return 0;
    }
    if (reg == kBootProgram) {
        if (count < 3 || count > 66)
            return Refuse(kCeIllegalCount, kExIllegalValue, result);
        if (state_ != kStateBoot)
            return Refuse(kCeWrongState, kExRefused, result);
        if (!eraseStarted_ && !bootErased_)
            return Refuse(kCeNotNow, kExRefused, result);
        const uint32_t at = uint32_t{values[0]} << 16 | values[1];
        const uint32_t bytes = 2u * static_cast<uint32_t>(count - 2);
        if (at % 2 != 0 || at + bytes > layout_.size)
            return Refuse(kCeIllegalValue, kExIllegalValue, result);
        // Flash programming only clears bits; a block over unerased bytes is corrupted as on a
        // real part.
        for (int i = 0; i < count - 2; ++i) {
            flash_[at + 2 * i] &= static_cast<uint8_t>(values[2 + i] >> 8);
            flash_[at + 2 * i + 1] &= static_cast<uint8_t>(values[2 + i]);
        }
        return 0;
    }
    return Refuse(kCeIllegalStart, kExIllegalValue, result);
}

ProgramInfo Kel7Model::ApplicationInfo() const {
    return ParseInfoBlock(&flash_[layout_.size - kInfoBlockBytes]);
}

ProgramInfo Kel7Model::BootInfo() const {
    return ParseInfoBlock(&flash_[layout_.bootEnd + 1 - kInfoBlockBytes]);
}

void Kel7Model::Restart() {
    // Power-on: whatever was not saved is gone.
    if (haveSaved_)
        setup_ = saved_;
    haveSaved_ = false;
    shunt_ = false;
    batchSetup_ = false;
    netMode_ = false;
    tare_ = 0;
    zero_ = 0;
    eraseStarted_ = bootErased_ = false;
    const ProgramInfo app = ApplicationInfo();
    if (!ApplicationValid(flash_, layout_) || app.typeCode != kCodeKel7) {
        state_ = kStateBoot; // the boot loader finds no program to run
        stateUntilMs_ = -1;
        silent_ = false;
        return;
    }
    runningApp_ = app;
    // The identification follows the program: "KEL7-<number>" and "V<major>.<minor>".
    if (const auto dash = app.text1.find('-'); dash != std::string::npos) {
        const std::string digits = app.text1.substr(dash + 1);
        if (!digits.empty() && std::all_of(digits.begin(), digits.end(), ::isdigit))
            options_.programNumber = std::stoi(digits);
    }
    std::string version;
    for (char c : app.text2)
        if (std::isdigit(static_cast<unsigned char>(c)))
            version += c;
    if (!version.empty() && version.size() <= 6)
        options_.programVersion = std::stoi(version);
    state_ = kStateStartingUp;
    silent_ = options_.restartMs > 0;
    stateUntilMs_ = timeMs_ + (silent_ ? options_.restartMs : options_.startUpMs);
    if (options_.startUpMs == 0 && !silent_)
        stateUntilMs_ = timeMs_;
    UpdateRunState();
}

} // namespace quarnex::sim
