#include "upgrade/UpgradeImage.h"

#include "res/Strings.h"
#include "res/UpgradeTextIds.h"

#include "platform/FileAccess.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace quarnex {

namespace {

struct LayoutRow {
    uint32_t size;
    int kb;
    uint32_t bootStart;
    uint32_t bootEnd;
    int bootEraseCode;
};

constexpr LayoutRow kLayouts[] = {
    {0x20000, 128, 0x10000, 0x13FFF, 4},
    {0x40000, 256, 0x20000, 0x27FFF, 4},
    {0x80000, 512, 0x10000, 0x1FFFF, 1},
    {0x100000, 1024, 0x20000, 0x3FFFF, 1},
};

// A zero-terminated text inside its field. A field without a zero ends at the field's end: the
// text never runs on into the next field.
std::string FieldText(const uint8_t* field, size_t room) {
    size_t n = 0;
    while (n < room && field[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(field), n);
}

std::string Hex4(unsigned value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", value & 0xFFFFu);
    return buf;
}

// Checks one area: its checksum, then its block from the area's last 46 bytes.
bool CheckArea(std::span<const uint8_t> bytes, uint32_t first, uint32_t last,
               const FlashLayout* bootAsErased, ProgramInfoBlock& block) {
    if (last >= bytes.size() || last < first || last - first + 1 < kProgramInfoBytes)
        return false;
    const uint16_t stored = static_cast<uint16_t>(bytes[last - 1] << 8 | bytes[last]);
    if (AreaChecksum(bytes, first, last, bootAsErased) != stored)
        return false;
    return ParseProgramInfoBlock(bytes.subspan(last + 1 - kProgramInfoBytes, kProgramInfoBytes),
                                 block);
}

} // namespace

bool FlashLayoutForLength(size_t length, FlashLayout& layout) {
    layout = FlashLayout();
    for (const LayoutRow& row : kLayouts) {
        if (length == row.size) {
            layout = {row.size, row.kb, row.bootStart, row.bootEnd, row.bootEraseCode};
            return true;
        }
    }
    return false;
}

bool ParseProgramInfoBlock(std::span<const uint8_t> bytes, ProgramInfoBlock& block) {
    block.Clear();
    if (bytes.size() != kProgramInfoBytes || bytes[36] != 0)
        return false;
    const uint8_t* b = bytes.data();
    const int code = b[0] << 8 | b[1];
    const InstrumentType type = InstrumentTypeFromCode(code);
    std::string name;
    if (!InstrumentTypeName(type, name))
        return false;
    block.typeCode = code;
    block.type = type;
    block.setupVersion = static_cast<unsigned>(b[2] << 8 | b[3]);
    block.setupDataVersion = static_cast<unsigned>(b[4] << 8 | b[5]);
    block.text1 = FieldText(b + 6, 10);
    block.text2 = FieldText(b + 16, 12);
    block.text3 = FieldText(b + 28, 8);
    block.checksum = static_cast<unsigned>(b[44] << 8 | b[45]);
    block.valid = true;
    return true;
}

bool ParseProgramInfoBlock(std::span<const uint16_t> registers, ProgramInfoBlock& block) {
    if (registers.size() * 2 != kProgramInfoBytes) {
        block.Clear();
        return false;
    }
    uint8_t bytes[kProgramInfoBytes];
    for (size_t i = 0; i < registers.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(registers[i] >> 8);
        bytes[2 * i + 1] = static_cast<uint8_t>(registers[i]);
    }
    return ParseProgramInfoBlock(std::span<const uint8_t>(bytes, kProgramInfoBytes), block);
}

uint16_t AreaChecksum(std::span<const uint8_t> bytes, uint32_t first, uint32_t last,
                      const FlashLayout* bootAsErased) {
    // Two checksum bytes taken as 0xFF.
    uint32_t sum = 2 * 0xFF;
    if (last >= bytes.size() || last < first + 1)
        return static_cast<uint16_t>(sum);
    for (uint32_t i = first; i + 1 < last; ++i)
        sum += (bootAsErased && bootAsErased->InBootArea(i)) ? 0xFFu : bytes[i];
    return static_cast<uint16_t>(sum);
}

std::string ApplicationProgramLine(const ProgramInfoBlock& block) {
    return Text(ids::kApplicationProgram) + " " + block.text1 + " (" + block.text2 + ", " +
           block.text3 + ", Chk=" + Hex4(block.checksum) +
           ", Sv=" + std::to_string(block.setupVersion) +
           ", Sd=" + std::to_string(block.setupDataVersion) + ")";
}

std::string BootLoaderProgramLine(const ProgramInfoBlock& block) {
    return Text(ids::kBootLoaderProgram) + " " + block.text1 + " (" + block.text2 + ", " +
           block.text3 + ", Chk=" + Hex4(block.checksum) + ")";
}

bool CheckUpgradeImage(std::span<const uint8_t> bytes, UpgradeImageInfo& info) {
    info = UpgradeImageInfo();
    // The length first: nothing of a file that is no flash image is summed or parsed.
    if (!FlashLayoutForLength(bytes.size(), info.layout))
        return false;
    const FlashLayout& layout = info.layout;
    info.lastAddress = layout.size - 1;
    info.hasApplication = bytes[0] != 0xFF;
    info.hasBootLoader = bytes[layout.bootStart] != 0xFF;

    if (info.hasApplication && !CheckArea(bytes, 0, info.lastAddress, &layout, info.application))
        return false;
    if (info.hasBootLoader &&
        !CheckArea(bytes, layout.bootStart, layout.bootEnd, nullptr, info.bootLoader))
        return false;
    if (!info.hasApplication && !info.hasBootLoader)
        return false;
    if (info.hasApplication && info.hasBootLoader && info.application.type != info.bootLoader.type)
        return false;
    info.type = info.hasApplication ? info.application.type : info.bootLoader.type;

    for (size_t at = 0; at + kFlashBlockBytes <= bytes.size(); at += kFlashBlockBytes) {
        for (size_t i = at; i < at + kFlashBlockBytes; ++i) {
            if (bytes[i] != 0xFF) {
                ++info.usedBlocks;
                break;
            }
        }
    }

    info.summary = Text(ids::kInstrumentTypeLabel) + " " + InstrumentTypeName(info.type) + " (" +
                   std::to_string(layout.sizeKb) + "Kb)";
    if (info.hasApplication)
        info.summary += "\r\n" + ApplicationProgramLine(info.application);
    if (info.hasBootLoader)
        info.summary += "\r\n" + BootLoaderProgramLine(info.bootLoader);
    return true;
}

void UpgradeImage::Clear() {
    info_ = UpgradeImageInfo();
    bytes_.clear();
}

bool UpgradeImage::ReadBytes(std::span<const uint8_t> bytes, OnFailure onFailure) {
    UpgradeImageInfo info;
    if (!CheckUpgradeImage(bytes, info)) {
        if (onFailure == OnFailure::Clear)
            Clear();
        return false;
    }
    info_ = std::move(info);
    bytes_.assign(bytes.begin(), bytes.end());
    return true;
}

bool UpgradeImage::ReadFile(const std::string& path, OnFailure onFailure, Prompter& owner) {
    std::vector<uint8_t> bytes;
    if (!LoadUpgradeFileBytes(path, bytes, owner)) {
        if (onFailure == OnFailure::Clear)
            Clear();
        return false;
    }
    return ReadBytes(bytes, onFailure);
}

// The length is taken from the file system before the file is opened: a file of another length
// is no upgrade file and is never read. Only a regular file is opened at all: a FIFO or a terminal
// chosen by mistake would block the open or the reading and hang the program; it is refused with
// the reason the system gives for positioning one ("Illegal seek").
bool LoadUpgradeFileBytes(const std::string& path, std::vector<uint8_t>& bytes, Prompter& owner) {
    bytes.clear();
    struct stat st {};
    FlashLayout layout;
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            owner.Error(std::strerror(S_ISDIR(st.st_mode) ? EISDIR : ESPIPE));
            return false;
        }
        if (!FlashLayoutForLength(static_cast<size_t>(st.st_size), layout))
            return false;
    }
    // A missing or unreadable file: the open shows the system's reason.
    FileAccess file;
    if (!file.OpenExisting(path, true, owner))
        return false;
    if (layout.size == 0)
        return false;
    bytes.resize(layout.size);
    size_t got = 0;
    while (got < bytes.size()) {
        size_t n = 0;
        if (!file.Read(bytes.data() + got, bytes.size() - got, n, owner)) {
            bytes.clear();
            return false;
        }
        if (n == 0) // shorter than its length said: cut while being read
            break;
        got += n;
    }
    if (got != bytes.size()) {
        bytes.clear();
        return false;
    }
    return true;
}

} // namespace quarnex
