// The register map of the simulated KEL 7: one area per register block, each naming the part of
// the instrument that reads it and the one that writes it. A request must lie inside one area;
// anything else is exception 02.

#include "sim/Kel7Model.h"

#include "sim/Kel7Internal.h"

#include <algorithm>

namespace quarnex::sim {

using namespace kel7;

void Kel7Model::BuildRegisterMap() {
    const int normals = options_.normalCount, specials = options_.specialCount;
    const int strings = options_.stringCount;
    map_ = {
        {kLiveFirst, kLiveLast, &Kel7Model::ReadLive},
        {kIdFirstA, kIdLastA, &Kel7Model::ReadIdentification},
        {kIdFirstB, kIdLastB, &Kel7Model::ReadIdentificationB},
        {kFirstNormal, kFirstNormal + 2 * normals - 1, &Kel7Model::ReadNormal,
         &Kel7Model::WriteFloats, &Kel7Model::WriteNormalValue},
        {kBatchGeneral, kBatchLast, &Kel7Model::ReadBatching, &Kel7Model::WriteFloats,
         &Kel7Model::WriteBatchingValue},
        {kAdjustEnd1, kAdjustEnd2 + 1, &Kel7Model::ReadAdjustEnd, &Kel7Model::WriteFloats,
         &Kel7Model::WriteAdjustEnd},
        {kLevelValues, kLevelValues + 15, &Kel7Model::ReadLevelValue, &Kel7Model::WriteFloats,
         &Kel7Model::WriteLevelValue},
        {kFlashSize, kAppInfo + kInfoRegisters - 1, &Kel7Model::ReadProgramInfo},
        {kLevelsLive, kLevelsLive + 23, &Kel7Model::ReadLevelLive},
        {kName, kName + 5, &Kel7Model::ReadName, &Kel7Model::WriteTexts},
        {kBatchSetupFlag, kBatchSetupFlag, &Kel7Model::ReadBatchSetupFlag},
        {kBootEnter, kBootEnter + 3, nullptr, &Kel7Model::BootWrite},
        {kBootErase, kBootErase + 3, nullptr, &Kel7Model::BootWrite},
        {kBootRestart, kBootRestart + 3, nullptr, &Kel7Model::BootWrite},
        {kBootProgram, kBootProgram + 65, nullptr, &Kel7Model::BootWrite},
    };
    if (specials > 0) {
        map_.push_back({kFirstSpecial, kFirstSpecial + 2 * specials - 1, &Kel7Model::ReadSpecial,
                        &Kel7Model::WriteFloats, &Kel7Model::WriteSpecialValue});
        // The descriptors overlap one another; the last one ends 16 registers after its start.
        map_.push_back({kDescriptorBase,
                        kDescriptorBase + 2 * (specials - 1) + kDescriptorLength - 1,
                        &Kel7Model::ReadDescriptor});
    }
    if (strings > 0)
        map_.push_back({kFirstString, kFirstString + kStringRegisters * strings - 1,
                        &Kel7Model::ReadText, &Kel7Model::WriteTexts});
    std::sort(map_.begin(), map_.end(),
              [](const Area& a, const Area& b) { return a.first < b.first; });
}

const Kel7Model::Area* Kel7Model::FindArea(int first, int count) const {
    // The areas are sorted and do not overlap: the one that may hold the request is the last
    // that starts at or before its first register.
    auto it = std::upper_bound(map_.begin(), map_.end(), first,
                               [](int reg, const Area& a) { return reg < a.first; });
    if (it == map_.begin())
        return nullptr;
    --it;
    return first + count - 1 <= it->last ? &*it : nullptr;
}

uint16_t Kel7Model::RegisterValue(int reg, int start) const {
    if (const auto it = pinned_.find(reg); it != pinned_.end())
        return it->second;
    const Area* area = FindArea(reg, 1);
    return area && area->read ? (this->*area->read)(reg, start) : 0;
}

int Kel7Model::WriteValues(int reg, const uint16_t* values, int count, bool single,
                           SlaveResult& result) {
    const Area* area = FindArea(reg, count);
    if (!area) {
        result.exception = kExIllegalAddress;
        return 0;
    }
    if (!area->write)
        return Refuse(kCeIllegalRegister, kExIllegalValue, result);
    return (this->*area->write)(*area, reg, values, count, single, result);
}

int Kel7Model::WriteFloats(const Area& area, int reg, const uint16_t* values, int count,
                           bool single, SlaveResult& result) {
    // Two-register floats: a write starts on a value's first register and carries whole values.
    if ((reg - area.first) % 2 != 0)
        return Refuse(kCeIllegalStart, kExIllegalValue, result);
    if (single || count % 2 != 0)
        return Refuse(kCeIllegalCount, kExIllegalValue, result);
    // One value after the other, as the instrument takes them: a selector written inside a block
    // selects the window for the values after it. The first refusal ends the write.
    int delay = 0;
    for (int i = 0; i < count; i += 2) {
        SlaveResult one;
        const int code = (this->*area.writeValue)(reg + i, ToFloat(values[i], values[i + 1]), one);
        delay = std::max(delay, one.delayMs);
        if (code != 0) {
            result = one;
            return code;
        }
    }
    result.delayMs = delay;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Identification (two-register floats)

uint16_t Kel7Model::ReadIdentification(int reg, int start) const {
    (void)start;
    const float values[5] = {static_cast<float>(kCodeKel7),
                             static_cast<float>(options_.programNumber),
                             static_cast<float>(options_.programVersion), 0.0f,
                             static_cast<float>(options_.serialNumber)};
    return FloatAt(reg - kIdFirstA, values[(reg - kIdFirstA) / 2]);
}

uint16_t Kel7Model::ReadIdentificationB(int reg, int start) const {
    (void)start;
    float v = 0;
    switch (reg & ~1) {
    case kUnstoredPoints:
        v = setup_.unstored;
        break;
    case kIdOptions:
        v = static_cast<float>((options_.batchingOption ? kOptionBatching : 0) |
                               (options_.flowRateOption ? kOptionFlowRate : 0));
        break;
    case kIdFirstBatch:
        v = kBatchGeneral;
        break;
    case kIdBatchCount:
        v = kGeneralValues + kActivities * kActivityValues;
        break;
    case kIdFirstString:
        v = kFirstString;
        break;
    case kIdStringCount:
        v = static_cast<float>(options_.stringCount);
        break;
    case kIdFirstNormal:
        v = kFirstNormal;
        break;
    case kIdNormalCount:
        v = static_cast<float>(options_.normalCount);
        break;
    case kIdFirstSpecial:
        v = kFirstSpecial;
        break;
    case kIdSpecialCount:
        v = static_cast<float>(options_.specialCount);
        break;
    case kIdSetupVersion:
        v = runningApp_.setupVersion;
        break;
    case kIdSetupDataVersion:
        v = runningApp_.setupDataVersion;
        break;
    default:
        break;
    }
    return FloatAt(reg - kIdFirstB, v);
}

} // namespace quarnex::sim
