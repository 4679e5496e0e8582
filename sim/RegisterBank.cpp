#include "sim/RegisterBank.h"

#include <cstring>

namespace quarnex::sim {

void RegisterBank::SetFloat(uint16_t address, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    std::lock_guard<std::mutex> lock(mutex_);
    registers_[address] = static_cast<uint16_t>(bits >> 16);
    registers_[static_cast<uint16_t>(address + 1)] = static_cast<uint16_t>(bits);
}

float RegisterBank::GetFloat(uint16_t address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t bits =
        uint32_t{registers_[address]} << 16 | registers_[static_cast<uint16_t>(address + 1)];
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

bool RegisterBank::InBlocks(uint32_t first, uint32_t count) const {
    if (first + count > 65536)
        return false;
    if (blocks_.empty())
        return true;
    // Every register of the request must fall inside some block.
    for (uint32_t a = first; a < first + count;) {
        bool found = false;
        for (const auto& [b, e] : blocks_)
            if (a >= b && a < e) {
                a = e;
                found = true;
                break;
            }
        if (!found)
            return false;
    }
    return true;
}

SlaveResult RegisterBank::ReadHoldingRegisters(uint16_t address, uint16_t count, uint16_t* out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!InBlocks(address, count))
        return {2};
    for (uint16_t i = 0; i < count; ++i)
        out[i] = registers_[address + i];
    return {};
}

SlaveResult RegisterBank::WriteRegisters(uint16_t address, const uint16_t* values, uint16_t count,
                                         bool) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!InBlocks(address, count))
        return {2};
    for (uint16_t i = 0; i < count; ++i)
        registers_[address + i] = values[i];
    return {};
}

SlaveResult RegisterBank::WriteCoil(uint16_t address, bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    coils_[address] = on;
    coilWrites_.push_back({address, on});
    return {};
}

} // namespace quarnex::sim
