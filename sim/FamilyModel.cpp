#include "sim/FamilyModel.h"

#include "sim/Kel7Model.h"
#include "sim/Kel7Registers.h"

#include <cmath>
#include <cstring>
#include <ctime>

namespace quarnex::sim {

using namespace kel7;

namespace {

uint16_t FloatWord(float v, bool high) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return static_cast<uint16_t>(high ? bits >> 16 : bits);
}

const char* ShortName(int code) {
    switch (code) {
    case kCodePir7:
        return "PIR7";
    case kCodeJov7:
        return "JOV7";
    case kCodeYax7:
        return "YAX7";
    case kCodeFlin7:
        return "FLIN7";
    case kCodeZeb7:
        return "ZEB7";
    case kCodeHusk7:
        return "HUSK7";
    case kCodeLop7:
        return "LOP7";
    case kCodeVum7:
        return "VUM7";
    case kCodeTig7:
        return "TIG7";
    default:
        return "X7";
    }
}

} // namespace

FamilyModel::FamilyModel(int typeCode, uint32_t serialNumber, bool liveClock)
    : typeCode_(typeCode), serial_(serialNumber), liveClock_(liveClock) {
    // Each model has set-up versions of its own; none of them is the KEL 7's.
    setupVersion_ = typeCode == kCodePir7   ? 1200
                    : typeCode == kCodeJov7 ? 1100
                    : typeCode == kCodeYax7 ? 1400
                                            : 1000;
    const int kb = Weighing() ? 256 : 128;
    layout_ = LayoutForKb(kb);
    ProgramInfo app;
    app.typeCode = static_cast<uint16_t>(typeCode);
    app.setupVersion = static_cast<uint16_t>(setupVersion_);
    app.setupDataVersion = 1;
    app.text1 = std::string(ShortName(typeCode)) + "-" + std::to_string(typeCode + 5000);
    app.text2 = "V1.00";
    app.text3 = "250101";
    ProgramInfo boot = app;
    boot.setupVersion = boot.setupDataVersion = 0;
    boot.text1 = std::string(ShortName(typeCode)) + "-BL";
    flash_ = BuildFlashImage(kb, app, boot, true, true, 3000, 1000, serialNumber);
    if (liveClock_) { // its time runs from power-on, as the bus clock counts it
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        lastMs_ = int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1'000'000;
    }
}

bool FamilyModel::Weighing() const {
    return typeCode_ == kCodePir7 || typeCode_ == kCodeJov7 || typeCode_ == kCodeYax7;
}

int FamilyModel::DefaultSetupRegister() const {
    return (typeCode_ == kCodePir7 || typeCode_ == kCodeFlin7 || typeCode_ == kCodeTig7)
               ? kDefaultSetupAlt
               : kBootEnter;
}

void FamilyModel::Advance(int64_t nowMs) {
    if (!liveClock_)
        return;
    if (lastMs_ >= 0)
        timeMs_ += nowMs - lastMs_;
    lastMs_ = nowMs;
    if (Weighing()) // a slow swing, as of a tank that is filled and drawn off
        load_ = 250.0 + 200.0 * std::sin(static_cast<double>(timeMs_) / 9000.0);
}

uint16_t FamilyModel::RegisterValue(int reg, int start) const {
    auto floatAt = [](int offset, float v) { return FloatWord(v, offset % 2 == 0); };
    if (reg >= kLiveFirst && reg <= kLiveLast) {
        const auto weight = static_cast<uint32_t>(static_cast<int32_t>(std::lround(load_ * 10)));
        switch (reg) {
        case kTypeCode:
            return static_cast<uint16_t>(typeCode_);
        case kSerialHigh:
            return static_cast<uint16_t>(serial_ >> 16);
        case kSerialLow:
            return static_cast<uint16_t>(serial_);
        case kCommandError:
            return static_cast<uint16_t>(commandError_);
        case kState:
            return static_cast<uint16_t>(state_);
        default:
            break;
        }
        if (Weighing() && (reg == kGrossWeight || reg == kNetWeight))
            return static_cast<uint16_t>(weight >> 16);
        if (Weighing() && (reg == kGrossWeight + 1 || reg == kNetWeight + 1))
            return static_cast<uint16_t>(weight);
        if (Weighing() && (reg == kGrossWeight + 2 || reg == kNetWeight + 2))
            return 1;
        return 0;
    }
    if (reg >= kIdFirstA && reg <= kIdLastA) {
        const float values[5] = {static_cast<float>(typeCode_),
                                 static_cast<float>(typeCode_ + 5000), 100.0f, 0.0f,
                                 static_cast<float>(serial_)};
        return floatAt(reg - kIdFirstA, values[(reg - kIdFirstA) / 2]);
    }
    if (reg >= kIdFirstB && reg <= kIdLastB) {
        float v = 0;
        switch (reg & ~1) {
        case kIdFirstNormal:
            v = kFirstNormal;
            break;
        case kIdNormalCount:
            v = Weighing() ? 120.0f : 40.0f;
            break;
        case kIdFirstSpecial:
            v = kFirstSpecial;
            break;
        case kIdSetupVersion:
            v = static_cast<float>(setupVersion_);
            break;
        case kIdSetupDataVersion:
            v = 1.0f;
            break;
        default:
            break;
        }
        return floatAt(reg - kIdFirstB, v);
    }
    if (reg >= kFlashSize && reg < kAppInfo + kInfoRegisters) {
        if (reg == kFlashSize)
            return static_cast<uint16_t>(layout_.size / 1024);
        const bool app = start >= kAppInfo;
        const int offset = reg - (app ? kAppInfo : kBootInfo);
        if (offset < 0 || offset >= kInfoRegisters)
            return 0;
        const uint32_t at = (app ? layout_.size : layout_.bootEnd + 1) - kInfoBlockBytes +
                            static_cast<uint32_t>(2 * offset);
        return static_cast<uint16_t>(flash_[at] << 8 | flash_[at + 1]);
    }
    return 0;
}

SlaveResult FamilyModel::ReadHoldingRegisters(uint16_t address, uint16_t count, uint16_t* out) {
    const int start = address + 40001, last = start + count - 1;
    const bool inside = (start >= kLiveFirst && last <= kLiveLast) ||
                        (start >= kIdFirstA && last <= kIdLastA) ||
                        (start >= kIdFirstB && last <= kIdLastB) ||
                        (start >= kFlashSize && last < kAppInfo + kInfoRegisters);
    if (!inside)
        return {kExIllegalAddress};
    for (int i = 0; i < count; ++i)
        out[i] = RegisterValue(start + i, start);
    return {};
}

SlaveResult FamilyModel::WriteRegisters(uint16_t address, const uint16_t* values, uint16_t count,
                                        bool single) {
    (void)single;
    const int reg = address + 40001;
    if (reg != DefaultSetupRegister() || count != 4)
        return {kExIllegalAddress};
    for (int i = 0; i < 4; ++i)
        if (values[i] != kDefaultKey[i]) {
            commandError_ = kCeIllegalValue;
            return {kExIllegalValue};
        }
    ++defaultSetups_;
    return {};
}

SlaveResult FamilyModel::WriteCoil(uint16_t address, bool on) {
    (void)address;
    (void)on;
    return {kExIllegalAddress}; // commands of these models are not simulated
}

std::shared_ptr<SlaveModel> MakeFamilyModel(int typeCode, uint32_t serialNumber, bool liveClock) {
    if (typeCode == kCodeKel7) {
        Kel7Options options;
        options.serialNumber = serialNumber;
        if (liveClock) {
            options.clock = Kel7Clock::Bus;
            options.demoLoad = true;
        }
        return MakeKel7(options);
    }
    return std::make_shared<FamilyModel>(typeCode, serialNumber, liveClock);
}

} // namespace quarnex::sim
