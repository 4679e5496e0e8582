#pragma once

#include "sim/FlashImage.h"
#include "sim/SlaveModel.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quarnex::sim {

// The other members of the family, as far as a service tool meets them on a bus: the weighing
// transmitters PIR 7, JOV 7 and YAX 7 (a live block with a weight, the identification block and
// their own set-up versions) and the I/O modules FLIN 7, ZEB 7, HUSK 7, LOP 7, VUM 7 and TIG 7
// (a live block without weight). All of them answer their type code in 40001 and as a float in
// 40200, their program information at 42995-43020, and take the default set-up key: PIR 7,
// FLIN 7 and TIG 7 at 41950, the others at 48000. Their own set-up is not simulated; a request
// outside these blocks gets exception 02 like any other unknown register.
class FamilyModel : public SlaveModel {
public:
    FamilyModel(int typeCode, uint32_t serialNumber, bool liveClock);

    void Advance(int64_t nowMs) override;
    SlaveResult ReadHoldingRegisters(uint16_t address, uint16_t count, uint16_t* out) override;
    SlaveResult WriteRegisters(uint16_t address, const uint16_t* values, uint16_t count,
                               bool single) override;
    SlaveResult WriteCoil(uint16_t address, bool on) override;

    int TypeCode() const { return typeCode_; }
    bool Weighing() const;
    int DefaultSetupRegister() const;
    int DefaultSetups() const { return defaultSetups_; } // how often the key was accepted
    void SetLoad(double load) { load_ = load; }
    void SetState(int state) { state_ = state; }
    int SetupVersion() const { return setupVersion_; }

private:
    uint16_t RegisterValue(int reg, int start) const;

    int typeCode_;
    uint32_t serial_;
    bool liveClock_;
    int setupVersion_ = 0;
    int state_ = 2;
    int commandError_ = 0;
    double load_ = 0;
    int64_t lastMs_ = -1;
    int64_t timeMs_ = 0;
    int defaultSetups_ = 0;
    std::vector<uint8_t> flash_;
    FlashLayout layout_;
};

// The model of a family member by its type code (any code of the family but 2003 gives a
// FamilyModel; 2003 gives a KEL 7 with default options).
std::shared_ptr<SlaveModel> MakeFamilyModel(int typeCode, uint32_t serialNumber = 100000,
                                            bool liveClock = false);

} // namespace quarnex::sim
