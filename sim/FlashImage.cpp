#include "sim/FlashImage.h"

#include <algorithm>
#include <cstring>

namespace quarnex::sim {

FlashLayout LayoutForKb(int kb) {
    switch (kb) {
    case 128:
        return {0x20000, 0x10000, 0x13FFF, 4};
    case 256:
        return {0x40000, 0x20000, 0x27FFF, 4};
    case 512:
        return {0x80000, 0x10000, 0x1FFFF, 1};
    case 1024:
        return {0x100000, 0x20000, 0x3FFFF, 1};
    default:
        return {};
    }
}

namespace {

void PutText(const std::string& text, size_t room, uint8_t* out) {
    // Zero-terminated inside its field: one byte is always left for the terminator.
    std::memset(out, 0, room);
    std::memcpy(out, text.data(), std::min(text.size(), room - 1));
}

std::string GetText(const uint8_t* in, size_t room) {
    size_t n = 0;
    while (n < room && in[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(in), n);
}

} // namespace

ProgramInfo ParseInfoBlock(const uint8_t* b) {
    ProgramInfo info;
    info.typeCode = static_cast<uint16_t>(b[0] << 8 | b[1]);
    info.setupVersion = static_cast<uint16_t>(b[2] << 8 | b[3]);
    info.setupDataVersion = static_cast<uint16_t>(b[4] << 8 | b[5]);
    info.text1 = GetText(b + 6, 10);
    info.text2 = GetText(b + 16, 12);
    info.text3 = GetText(b + 28, 8);
    info.checksum = static_cast<uint16_t>(b[44] << 8 | b[45]);
    return info;
}

void WriteInfoBlock(const ProgramInfo& info, uint8_t* b) {
    std::memset(b, 0, kInfoBlockBytes);
    b[0] = static_cast<uint8_t>(info.typeCode >> 8);
    b[1] = static_cast<uint8_t>(info.typeCode);
    b[2] = static_cast<uint8_t>(info.setupVersion >> 8);
    b[3] = static_cast<uint8_t>(info.setupVersion);
    b[4] = static_cast<uint8_t>(info.setupDataVersion >> 8);
    b[5] = static_cast<uint8_t>(info.setupDataVersion);
    PutText(info.text1, 10, b + 6);
    PutText(info.text2, 12, b + 16);
    PutText(info.text3, 8, b + 28);
    b[44] = static_cast<uint8_t>(info.checksum >> 8);
    b[45] = static_cast<uint8_t>(info.checksum);
}

uint16_t ApplicationChecksum(const std::vector<uint8_t>& image, const FlashLayout& layout) {
    if (layout.size == 0 || image.size() != layout.size)
        return 0;
    uint32_t sum = 510;
    for (uint32_t i = 0; i + 2 < layout.size; ++i)
        sum += (i >= layout.bootStart && i <= layout.bootEnd) ? 0xFF : image[i];
    return static_cast<uint16_t>(sum);
}

uint16_t BootChecksum(const std::vector<uint8_t>& image, const FlashLayout& layout) {
    if (layout.size == 0 || image.size() != layout.size)
        return 0;
    uint32_t sum = 510;
    for (uint32_t i = layout.bootStart; i + 1 < layout.bootEnd; ++i)
        sum += image[i];
    return static_cast<uint16_t>(sum);
}

bool ApplicationValid(const std::vector<uint8_t>& image, const FlashLayout& layout) {
    if (layout.size == 0 || image.size() != layout.size || image[0] == 0xFF)
        return false;
    const uint16_t stored =
        static_cast<uint16_t>(image[layout.size - 2] << 8 | image[layout.size - 1]);
    return stored == ApplicationChecksum(image, layout);
}

bool BootValid(const std::vector<uint8_t>& image, const FlashLayout& layout) {
    if (layout.size == 0 || image.size() != layout.size || image[layout.bootStart] == 0xFF)
        return false;
    const uint16_t stored =
        static_cast<uint16_t>(image[layout.bootEnd - 1] << 8 | image[layout.bootEnd]);
    return stored == BootChecksum(image, layout);
}

std::vector<uint8_t> BuildFlashImage(int kb, const ProgramInfo& app, const ProgramInfo& boot,
                                     bool withApplication, bool withBoot, uint32_t codeBytes,
                                     uint32_t bootCodeBytes, uint32_t seed) {
    const FlashLayout layout = LayoutForKb(kb);
    if (layout.size == 0)
        return {};
    std::vector<uint8_t> image(layout.size, 0xFF);
    uint32_t x = seed * 2654435761u + 12345;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return static_cast<uint8_t>(x);
    };
    if (withApplication) {
        const uint32_t room = layout.bootStart; // code lies below the boot loader
        for (uint32_t i = 0; i < std::min(codeBytes, room); ++i)
            image[i] = next();
        std::memcpy(image.data(), kResetVector, sizeof kResetVector);
        ProgramInfo info = app;
        info.checksum = 0;
        WriteInfoBlock(info, &image[layout.size - kInfoBlockBytes]);
        const uint16_t sum = ApplicationChecksum(image, layout);
        image[layout.size - 2] = static_cast<uint8_t>(sum >> 8);
        image[layout.size - 1] = static_cast<uint8_t>(sum);
    }
    if (withBoot) {
        const uint32_t room = layout.bootEnd - layout.bootStart + 1 - kInfoBlockBytes;
        for (uint32_t i = 0; i < std::min(bootCodeBytes, room); ++i)
            image[layout.bootStart + i] = next();
        if (image[layout.bootStart] == 0xFF)
            image[layout.bootStart] = 0x02;
        ProgramInfo info = boot;
        info.checksum = 0;
        WriteInfoBlock(info, &image[layout.bootEnd + 1 - kInfoBlockBytes]);
        const uint16_t sum = BootChecksum(image, layout);
        image[layout.bootEnd - 1] = static_cast<uint8_t>(sum >> 8);
        image[layout.bootEnd] = static_cast<uint8_t>(sum);
    }
    return image;
}

} // namespace quarnex::sim
