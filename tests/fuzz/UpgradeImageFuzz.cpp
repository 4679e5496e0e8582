// libFuzzer target for the upgrade image reader: any bytes, any length. The input is read as it
// stands, and also written over a valid image of each flash size at an offset taken from its
// first bytes, so that the mutations reach the checksums and the program information blocks.
// A broken rule stops the run.
#include "FuzzRequire.h"
#include "upgrade/UpgradeImage.h"
#include "upgrade/UpgradePlan.h"

#include "sim/FlashImage.h"

#include <cstdlib>

namespace {

using quarnex::UpgradeImage;

void Check(std::span<const uint8_t> bytes, const std::vector<uint8_t>& good) {
    UpgradeImage image;
    Require(image.ReadBytes(good, UpgradeImage::OnFailure::Clear));
    const std::string goodSummary = image.Summary();
    if (image.ReadBytes(bytes, UpgradeImage::OnFailure::Keep)) {
        Require(!image.Summary().empty() && image.Bytes().size() == bytes.size());
        for (const quarnex::ProgramBlock& b : quarnex::PlanBootLoaderProcedure(image).blocks)
            Require(b.address + 2 * b.words.size() <= bytes.size());
    } else {
        Require(image.Summary() == goodSummary && image.Bytes() == good);
        Require(!image.ReadBytes(bytes, UpgradeImage::OnFailure::Clear) && !image.Valid() &&
                image.Summary().empty() && image.Info().usedBlocks == 0);
    }
}

const std::vector<uint8_t>& Good(int kb) {
    static const quarnex::sim::ProgramInfo app{2003, 1310, 12, "KEL7-7311", "V1.05", "261201"};
    static const quarnex::sim::ProgramInfo boot{2003, 0, 0, "KEL7-BOOT", "V2.02", "261130"};
    static const std::vector<uint8_t> images[] = {quarnex::sim::BuildFlashImage(128, app, boot),
                                                  quarnex::sim::BuildFlashImage(256, app, boot),
                                                  quarnex::sim::BuildFlashImage(512, app, boot),
                                                  quarnex::sim::BuildFlashImage(1024, app, boot)};
    return images[kb == 128 ? 0 : kb == 256 ? 1 : kb == 512 ? 2 : 3];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Check(std::span<const uint8_t>(data, size), Good(128));
    if (size < 4)
        return 0;
    const int kb = 128 << (data[0] & 3);
    std::vector<uint8_t> patched = Good(kb);
    // Offsets near the ends of both areas are where the blocks and checksums are.
    const uint32_t raw = uint32_t{data[1]} << 16 | uint32_t{data[2]} << 8 | data[3];
    const uint32_t span = static_cast<uint32_t>(size - 4);
    const uint32_t at = (data[0] & 4) ? static_cast<uint32_t>(patched.size()) - 1 - raw % 4096
                                      : raw % static_cast<uint32_t>(patched.size());
    for (uint32_t i = 0; i < span && at + i < patched.size(); ++i)
        patched[at + i] = data[4 + i];
    Check(patched, Good(kb));
    return 0;
}
