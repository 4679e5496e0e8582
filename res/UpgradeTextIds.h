#pragma once

// String IDs of the software upgrade's texts (res/strings_upgrade.inc). "Instrument type:"
// (11000), "Communication error !" (10031) and "COMMUNICATION ERROR" (10030) are shared with the
// instrument model and the bus layer.

namespace quarnex::ids {

constexpr int kNotUpgradeFile = 10800;
constexpr int kApplicationProgram = 10801;
constexpr int kBootLoaderProgram = 10802;
constexpr int kNoInformationAvailable = 10803;
constexpr int kWrongDataReceived = 10804;
constexpr int kUpgradeFailed = 10805;
constexpr int kUpgradeSucceeded = 10806;
constexpr int kNoFileSelected = 10807;
constexpr int kUpgradeQuestion = 10808;
constexpr int kNotCompatible = 10809;
constexpr int kProgramMayBeCorrupt = 10810;
constexpr int kInitiatingUpgrade = 10811;
constexpr int kErasingFlash = 10812;
constexpr int kProgrammingApplication = 10813;
constexpr int kProgrammingBootLoader = 10814;
constexpr int kRestartingInstrument = 10815;
constexpr int kDefaultSetupQuestion = 10816;
constexpr int kDefaultSetupSucceeded = 10817;
constexpr int kDefaultSetupFailed = 10818;
constexpr int kProgramUnchanged = 10831;
constexpr int kEnterStateUnknown = 10832;
constexpr int kRestartStateUnknown = 10833;

// The dialog.
constexpr int kUpgradeTitle = 10820;
constexpr int kUpgradeFileLabel = 10821;
constexpr int kUpgradeFileInfoLabel = 10822;
constexpr int kUpgradeInstrumentInfoLabel = 10823;
constexpr int kUpgradeAddressLabel = 10824;
constexpr int kUpgradeSelectFile = 10825;
constexpr int kUpgradeGetInfo = 10826;
constexpr int kUpgradeStart = 10827;
constexpr int kUpgradeDefaultSetup = 10828;
constexpr int kUpgradeClose = 10829;
constexpr int kUpgradeFileType = 10830;

constexpr int kInstrumentTypeLabel = 11000;          // "Instrument type:"
constexpr int kInstrumentCommunicationError = 10031; // "Communication error !"

} // namespace quarnex::ids
