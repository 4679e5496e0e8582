#pragma once

// String IDs of the set-up sheet and its pages (res/strings_setup.inc).

namespace quarnex::ids {

// Tab texts: 17500 + the page's position in the sheet's full tab order (0 General ... 12 Special
// menu), so the pages still to come keep their numbers free.
constexpr int kPageGeneral = 17500;
constexpr int kPageCalibParam = 17501;
constexpr int kPageCalibration = 17502;
constexpr int kPageCommunication = 17503;
constexpr int kPageLevelSupervision = 17504;
constexpr int kPageInputs = 17505;
constexpr int kPageOutputs = 17506;
constexpr int kPageAnalogueOutputs = 17507;
constexpr int kPageSpecialMenu = 17512;

constexpr int kAnalogueOutput1Group = 17520;
constexpr int kAnalogueOutput2Group = 17521;

constexpr int kMaskedCode = 17530; // "* * * *"

constexpr int kCurrentGrossLabel = 17550; // "Current grossweight:"
constexpr int kInputSignalOpen = 17551;   // "(Input signal:"
constexpr int kInputSignalClose = 17552;  // "mV/V)"
constexpr int kNewCalibrationWarning = 10656;
constexpr int kPointNotStoredInfo = 10694;

constexpr int kSheetCaption = 109; // "KEL set-up, address"
constexpr int kShowSetupMode = 10657;
constexpr int kEditSetupMode = 10658;
constexpr int kShowBatchingMode = 10659;
constexpr int kEditBatchingMode = 10660;
constexpr int kShowRecipesMode = 10663;
constexpr int kEditRecipesMode = 10664;
constexpr int kExitWithoutSaveQuestion = 10690;
constexpr int kSaveAndExitQuestion = 10691;

} // namespace quarnex::ids
