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
constexpr int kPageFlowRate = 17508;
constexpr int kPageActivities1 = 17509;
constexpr int kPageActivities2 = 17510;
constexpr int kPageRecipes = 17511;
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

// The batching activity and recipe dialogs.
constexpr int kActivityDialogTitle = 17540; // "Batching activity no"
constexpr int kRecipeDialogTitle = 17541;   // "Recipe no"
constexpr int kLines16To30 = 17542;
constexpr int kLines1To15 = 17543;
constexpr int kRecipeNameLabel = 17544;
constexpr int kSetpointLabel = 17545; // "Setp:"
constexpr int kLine = 17546;
constexpr int kLineActivity = 17547;      // "Activity:"
constexpr int kDialogOk = 17548;          // "&Ok"
constexpr int kSheetStateUnknown = 17590; // a mode command's outcome could not be read back
constexpr int kRecipeLine = 40001;
constexpr int kSetpoint = 40002;
constexpr int kActivity = 40004;
constexpr int kRecipe = 40007;

} // namespace quarnex::ids
