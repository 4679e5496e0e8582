#pragma once

#include "instrument/InstrumentType.h"
#include "platform/Prompter.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quarnex {

// An upgrade file is a byte-for-byte image of the instrument's whole flash (erased bytes 0xFF).
// Its length names the flash; the boot loader lives in an area of its own inside it, and the
// application is everything else. Each area ends with its program information block, whose last
// two bytes are the area's checksum.
struct FlashLayout {
    uint32_t size = 0;      // bytes; 0 for a length that is no flash
    int sizeKb = 0;         // 128, 256, 512 or 1024
    uint32_t bootStart = 0; // first byte of the boot-loader area
    uint32_t bootEnd = 0;   // last byte of the boot-loader area
    int bootEraseCode = 0;  // the erase code of the boot loader's sector

    bool InBootArea(uint32_t address) const { return address >= bootStart && address <= bootEnd; }
};

// The layout of a file of this many bytes; false (and an empty layout) for any other length.
bool FlashLayoutForLength(size_t length, FlashLayout& layout);

constexpr size_t kProgramInfoBytes = 46;
constexpr size_t kFlashBlockBytes = 128; // the unit of counting and of programming

// The program information block (46 bytes, numbers big-endian) at the end of each area, read from
// the file or from 23 registers of the instrument. Valid only when it is exactly 46 bytes long,
// byte 36 is 0 and the type code names an instrument of the family; an invalid block is cleared.
struct ProgramInfoBlock {
    int typeCode = 0; // raw code, 2001-2011
    InstrumentType type = itype::kUnknown;
    unsigned setupVersion = 0;     // Sv, meaningful in an application block only
    unsigned setupDataVersion = 0; // Sd, meaningful in an application block only
    std::string text1;             // bytes 6-15, up to the first zero
    std::string text2;             // bytes 16-27
    std::string text3;             // bytes 28-35
    unsigned checksum = 0;         // bytes 44-45
    bool valid = false;

    void Clear() { *this = ProgramInfoBlock(); }
};

// Parses a block; returns its validity (the block is cleared when it is not valid).
bool ParseProgramInfoBlock(std::span<const uint8_t> bytes, ProgramInfoBlock& block);
// The same from registers, high byte first; exactly 23 registers make a block.
bool ParseProgramInfoBlock(std::span<const uint16_t> registers, ProgramInfoBlock& block);

// The checksum rule of both areas: the unsigned sum of every byte of [first, last - 2], bytes of
// the boot-loader area counted as 0xFF when bootAsErased is given, plus 510 for the two checksum
// bytes taken as 0xFF; the low 16 bits. The range must lie inside bytes.
uint16_t AreaChecksum(std::span<const uint8_t> bytes, uint32_t first, uint32_t last,
                      const FlashLayout* bootAsErased);

// The lines of a program shown to the user, the same for a file and an instrument:
// "Application program: t1 (t2, t3, Chk=XXXX, Sv=n, Sd=n)" and
// "Boot loader program: t1 (t2, t3, Chk=XXXX)".
std::string ApplicationProgramLine(const ProgramInfoBlock& block);
std::string BootLoaderProgramLine(const ProgramInfoBlock& block);

// What the reading of an upgrade file found. Empty (Valid() false) until a file was read whole.
struct UpgradeImageInfo {
    bool hasApplication = false;
    bool hasBootLoader = false;
    uint32_t lastAddress = 0; // file length - 1
    FlashLayout layout;
    InstrumentType type = itype::kUnknown; // of the application block, else the boot loader's
    ProgramInfoBlock application;
    ProgramInfoBlock bootLoader;
    int usedBlocks = 0; // 128-byte blocks holding a byte other than 0xFF
    std::string summary;
};

// The upgrade image reader. Reads a whole image from memory (ReadBytes) or from a file
// (ReadFile), checks it and keeps the result together with the image bytes, which are what the
// upgrade then sends: a file changed on disk after the check is never sent unchecked.
class UpgradeImage {
public:
    // What a failed reading does to the earlier result: choosing a file clears it, the reading
    // again at the start of an upgrade leaves it as it was.
    enum class OnFailure { Clear, Keep };

    // Any length and any byte are safe. A length that is no flash is refused before anything
    // else is looked at. True when every step succeeded; only then is the result replaced.
    bool ReadBytes(std::span<const uint8_t> bytes, OnFailure onFailure);
    // Reads the file at path. A failure of the operating system is shown in an error box with its
    // reason; the caller shows the "not a valid upgrade file" message (10800) for every failure.
    bool ReadFile(const std::string& path, OnFailure onFailure, Prompter& owner);

    void Clear();
    bool Valid() const { return !bytes_.empty(); }
    const UpgradeImageInfo& Info() const { return info_; }
    const std::string& Summary() const { return info_.summary; }
    // The checked image, empty when nothing valid was read.
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    UpgradeImageInfo info_;
    std::vector<uint8_t> bytes_;
};

// Checks an image without keeping it: fills info and returns true when it is a valid upgrade
// file. info is unspecified on failure.
bool CheckUpgradeImage(std::span<const uint8_t> bytes, UpgradeImageInfo& info);

// Reads a whole upgrade file into bytes. The length is taken first and a file whose length is no
// flash layout is refused without reading it (and without a message: it is simply no upgrade
// file). An open, seek or read failure shows the system's reason in an error box. This is the
// program's thin file layer for the upgrade: open, seek, read, close.
bool LoadUpgradeFileBytes(const std::string& path, std::vector<uint8_t>& bytes, Prompter& owner);

} // namespace quarnex
