#pragma once

// String IDs of the comparison of set-ups (res/strings_offline.inc).

namespace quarnex::ids {

constexpr int kDiffIdentification = 21400; // the first group of a comparison
constexpr int kDiffOtherValues = 21401;    // set-up values that no page shows
constexpr int kDiffNotInSetup = 21402;     // the side that does not have the value
constexpr int kDiffActivityLine = 21403;   // "Activity %1: %2"
constexpr int kDiffRecipeLine = 21404;     // "Recipe %1: %2"
constexpr int kDiffRegister = 21405;       // "Register %1"
constexpr int kDiffNoDifferences = 21406;  // the whole result of equal set-ups
constexpr int kDiffDifferences = 21407;    // "%1 differences"
constexpr int kDiffOneDifference = 21408;  // "1 difference"
constexpr int kDiffCompared = 21409;       // "Compared:"
constexpr int kDiffWith = 21410;           // "with:"
constexpr int kDiffInstrument = 21411;     // "Instrument at address %1"
constexpr int kDiffReadFailed = 21412;     // "Compare failed !"
constexpr int kFleetReference = 21413;     // "Reference:"
constexpr int kFleetNoFiles = 21414;       // no set-up files in the folder
constexpr int kFleetUnreadable = 21415;    // a file of the folder that did not load
constexpr int kFleetEqual = 21416;         // "equal"
constexpr int kFleetDiffers = 21417;       // "%1 rows differ"
constexpr int kFleetRow = 21418;           // the row column's heading
constexpr int kDiffSerialNumber = 21419;   // "serial number"
constexpr int kDiffNotLoaded = 21427;      // "%1: the set-up could not be loaded"

} // namespace quarnex::ids
