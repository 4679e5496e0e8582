#pragma once

#include "sim/SlaveModel.h"

#include <mutex>
#include <utility>
#include <vector>

namespace quarnex::sim {

// A plain Modbus slave: 65536 holding registers and coils. With blocks declared, a request that
// reaches outside every block is refused with exception 02; registers inside a block that were
// never written read as 0. Without blocks every address is valid. A test sets and reads the
// registers from its own thread while the bus thread serves them, so every access takes the
// bank's lock.
class RegisterBank : public SlaveModel {
public:
    RegisterBank() : registers_(65536, 0), coils_(65536, false) {}

    // Declares registers [first, first + count) as existing (zero-based addresses).
    void AddBlock(uint16_t first, uint32_t count) {
        std::lock_guard<std::mutex> lock(mutex_);
        blocks_.push_back({first, first + count});
    }

    void Set(uint16_t address, uint16_t value) {
        std::lock_guard<std::mutex> lock(mutex_);
        registers_[address] = value;
    }
    uint16_t Get(uint16_t address) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return registers_[address];
    }
    void SetFloat(uint16_t address, float value); // high word first
    float GetFloat(uint16_t address) const;
    bool Coil(uint16_t address) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return coils_[address];
    }
    // Coil writes received, in order: (address, on). A copy: the bus thread may add to them.
    std::vector<std::pair<uint16_t, bool>> CoilWrites() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return coilWrites_;
    }

    SlaveResult ReadHoldingRegisters(uint16_t address, uint16_t count, uint16_t* out) override;
    SlaveResult WriteRegisters(uint16_t address, const uint16_t* values, uint16_t count,
                               bool single) override;
    SlaveResult WriteCoil(uint16_t address, bool on) override;

protected:
    // Called with mutex_ held.
    bool InBlocks(uint32_t first, uint32_t count) const;

    mutable std::mutex mutex_;
    std::vector<uint16_t> registers_;
    std::vector<bool> coils_;
    std::vector<std::pair<uint32_t, uint32_t>> blocks_;
    std::vector<std::pair<uint16_t, bool>> coilWrites_;
};

} // namespace quarnex::sim
