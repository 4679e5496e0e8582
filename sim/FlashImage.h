#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarnex::sim {

// The flash memory of an instrument, byte for byte as an upgrade file carries it: erased bytes are
// 0xFF, the boot loader has an area of its own, and each area ends with a 46-byte program
// information block whose last two bytes are the area's checksum.
struct FlashLayout {
    uint32_t size = 0;      // bytes
    uint32_t bootStart = 0; // first byte of the boot-loader area
    uint32_t bootEnd = 0;   // last byte of the boot-loader area
    int bootEraseCode = 0;  // the erase code of the boot-loader sector
};

// The layout of a flash of 128, 256, 512 or 1024 KB; size 0 for any other size.
FlashLayout LayoutForKb(int kb);

// What a program information block holds (46 bytes, numbers big-endian).
struct ProgramInfo {
    uint16_t typeCode = 0;
    uint16_t setupVersion = 0;     // application blocks only
    uint16_t setupDataVersion = 0; // application blocks only
    std::string text1;             // up to 9 characters
    std::string text2;             // up to 11 characters
    std::string text3;             // up to 7 characters
    uint16_t checksum = 0;         // filled in when the image is built
};

constexpr int kInfoBlockBytes = 46;

// The first four bytes of the flash are the reset vector, which belongs to the boot loader: it
// always starts the boot loader, which then runs the application when its checksum is right. An
// upgrade never sends them (the block at address 0 goes from address 4), an erase leaves them, and
// every image carries these same four bytes so that its checksum holds inside the instrument.
constexpr uint8_t kResetVector[4] = {0x02, 0x00, 0x20, 0x00};

// Reads a block from 46 bytes (no validity check beyond the length).
ProgramInfo ParseInfoBlock(const uint8_t* bytes);
void WriteInfoBlock(const ProgramInfo& info, uint8_t* bytes);

// The checksum rule of both areas: the sum of every byte of the area except its last two (bytes of
// the boot-loader area counted as 0xFF when the application area is summed), plus 510.
uint16_t ApplicationChecksum(const std::vector<uint8_t>& image, const FlashLayout& layout);
uint16_t BootChecksum(const std::vector<uint8_t>& image, const FlashLayout& layout);
// True when the area's last two bytes (high byte first) hold its checksum.
bool ApplicationValid(const std::vector<uint8_t>& image, const FlashLayout& layout);
bool BootValid(const std::vector<uint8_t>& image, const FlashLayout& layout);

// Builds a flash image of kb KB: codeBytes bytes of program code at the start of the application
// area (a pattern derived from seed, never 0xFF in the first byte), the application block at the
// end of the image, a boot loader of bootCodeBytes at the start of its area and its block at the
// end of the area, with both checksums right. withApplication / withBoot false leave that area
// erased (0xFF), as in an upgrade file that carries only one of them. Tests of the upgrade path use
// this to make upgrade files; the simulated instrument starts with such an image in its flash.
std::vector<uint8_t> BuildFlashImage(int kb, const ProgramInfo& app, const ProgramInfo& boot,
                                     bool withApplication = true, bool withBoot = true,
                                     uint32_t codeBytes = 6000, uint32_t bootCodeBytes = 1500,
                                     uint32_t seed = 1);

} // namespace quarnex::sim
