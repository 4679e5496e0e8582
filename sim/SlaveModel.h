#pragma once

#include <cstdint>
#include <vector>

namespace quarnex::sim {

// What a simulated device does with one request. exception != 0 answers with that Modbus
// exception code; silent answers nothing (as a device that is restarting or busy measuring);
// delayMs holds the answer back that long (a device that answers only once it has done the work).
struct SlaveResult {
    uint8_t exception = 0;
    bool silent = false;
    int delayMs = 0;
};

// One device on the simulated bus. The engine frames the bytes, checks the CRC, decodes the
// function and calls the model with zero-based protocol addresses (register 40001 is address 0,
// coil 1 is address 0); the model decides the answer. All calls come from the bus thread with the
// bus lock held, so tests may inspect and change a model through SimBus::WithModel.
class SlaveModel {
public:
    virtual ~SlaveModel() = default;

    // Brings the device's state up to the bus clock (milliseconds, monotonic) before a request.
    virtual void Advance(int64_t nowMs) { (void)nowMs; }

    // Function 3. out has count entries.
    virtual SlaveResult ReadHoldingRegisters(uint16_t address, uint16_t count, uint16_t* out) = 0;
    // Functions 6 (single) and 16.
    virtual SlaveResult WriteRegisters(uint16_t address, const uint16_t* values, uint16_t count,
                                       bool single) = 0;
    // Function 5.
    virtual SlaveResult WriteCoil(uint16_t address, bool on) = 0;
    // Asked after every request: a new slave address the device has taken on (for example when
    // a set-up with another "Instrument address:" was saved), or 0. The bus moves the device there.
    virtual int TakeAddressChange() { return 0; }
    // Any other function code: data is the request after the function code (CRC removed);
    // answer is the data after the function code. Refused with exception 01 unless overridden.
    virtual SlaveResult OtherFunction(uint8_t function, const std::vector<uint8_t>& data,
                                      std::vector<uint8_t>& answer) {
        (void)function;
        (void)data;
        (void)answer;
        return {1};
    }
};

} // namespace quarnex::sim
