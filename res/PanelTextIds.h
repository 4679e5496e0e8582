#pragma once

// String IDs of the instrument panel, its side windows and the value-entry dialogs
// (res/strings_panel.inc).

namespace quarnex::ids {

constexpr int kGross = 300;
constexpr int kNet = 301;
constexpr int kZeroIndication = 302;
constexpr int kMotion = 303;
constexpr int kInstrumentNameCaption = 400;
constexpr int kLevelCaptionBase = 10119; // level n: 10119 + n
constexpr int kBatchEditWrongState = 10661;
constexpr int kRecipeEditWrongState = 10662;
constexpr int kWeightSignalNotValid = 10675;
constexpr int kEnterSetupQuestion = 10692;
constexpr int kEnterRemoteWrongState = 10330; // instrument text table

constexpr int kPanelCaption = 18000;
constexpr int kPanelNameLabel = 18001;
constexpr int kPanelDisplayedLabel = 18002;
constexpr int kPanelGrossLabel = 18003;
constexpr int kPanelNetLabel = 18004;
constexpr int kPanelStateLabel = 18005;
constexpr int kPanelStatusLabel = 18006;
constexpr int kPanelMessageLabel = 18007;
constexpr int kTareButton = 18008;
constexpr int kGrossNetButton = 18009;
constexpr int kZeroButton = 18010;
constexpr int kEditSetupButton = 18011;
constexpr int kShowSetupButton = 18012;
constexpr int kEditBatchingButton = 18013;
constexpr int kEditRecipesButton = 18014;
constexpr int kLevelsButton = 18015;
constexpr int kInfoButton = 18016;
constexpr int kStartButton = 18017;
constexpr int kBackupButton = 18018;
constexpr int kRestoreButton = 18019;
constexpr int kCloseButton = 18020;
constexpr int kHelpButton = 18021;
constexpr int kNotAvailable = 18022;

constexpr int kInfoCaption = 18030;
constexpr int kSerialLabel = 18031;
constexpr int kProgramLabel = 18032;
constexpr int kInputSignalLabel = 18033;
constexpr int kMillivoltPerVolt = 18034;
constexpr int kEditButton = 18035; // ">>"

constexpr int kLevelsCaption = 18040;
constexpr int kLevelLabelFirst = 18041; // "Level 1:" ... "Level 8:"
constexpr int kSetpoint1Label = 18049;
constexpr int kSetpoint2Label = 18050;
constexpr int kLevelStatusLabel = 18051;

constexpr int kHeaderCaption = 18060;
constexpr int kNewValueLabel = 18061;
constexpr int kOk = 18062;
constexpr int kCancel = 18063;
constexpr int kClose = 18064;
constexpr int kApplyNow = 18065;
constexpr int kConnectShunt = 18066;
constexpr int kChoiceCaption = 18067;
constexpr int kSelectInstrumentCaption = 18068;
constexpr int kEnterAddressLabel = 18069;
constexpr int kNoActivity = 18070;
constexpr int kSelectFromList = 18071;
constexpr int kTextTooLong = 18072;
constexpr int kNotASetupRegister = 18073; // a write to a set-up copy that no value of it takes
constexpr int kTooManyDecimals = 18074;   // a value typed with more decimals than it shows

} // namespace quarnex::ids
