#pragma once

#include <cstddef>
#include <cstdint>

namespace quarnex {

// CRC-16/MODBUS: reflected polynomial 0xA001, initial value 0xFFFF, no final XOR. On the wire the
// low byte goes first.
uint16_t Crc16Modbus(const uint8_t* data, size_t n);

} // namespace quarnex
