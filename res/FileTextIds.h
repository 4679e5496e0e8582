#pragma once

// String IDs of the set-up file layer's texts (res/strings_files.inc).

namespace quarnex::ids {

constexpr int kNoFileSelected = 10900;   // "No file selected !"
constexpr int kFileDataError = 10901;    // "File data error"
constexpr int kValueNotStorable = 10902; // a value the restore would refuse
constexpr int kTextNotStorable = 10903;  // a text with TAB or a line break
constexpr int kLineTooLong = 10904;      // a line longer than a set-up file line may be
constexpr int kBackupCopyFailed = 10905; // the previous file could not be kept as ".bak"
constexpr int kInfoTooLong = 10906;      // the information text needs more than eight lines
constexpr int kNotARegularFile = 10909;  // "%1 is %2, not a set-up file."
constexpr int kFileTooLarge = 10907;     // larger than any set-up file
constexpr int kFileInUse = 10908;        // another program holds the file
constexpr int kStillInRemoteRestore = 10916;
constexpr int kRestoreStateUnknown = 10917;
constexpr int kSaveStateUnknown = 10918;
constexpr int kBackupStopped = 10919;
constexpr int kActivityLabel = 10910;       // "Activity:"
constexpr int kRecipeLabel = 10911;         // "Recipe:"
constexpr int kRecipeLineLabel = 10912;     // "Line"
constexpr int kRecipeSetpointLabel = 10913; // "Setp:"

// Backup, restore and the viewer.
constexpr int kBackupFailed = 10920;
constexpr int kBackupSuccessful = 10921;
constexpr int kBackupWrongState = 10922;
constexpr int kPirNotSupported = 10923;
constexpr int kJovNotImplemented = 10924;
constexpr int kYaxNotSupported = 10925;
constexpr int kPirBackupCaption = 10926;
constexpr int kJovBackupCaption = 10927;
constexpr int kKelBackupCaption = 10928;
constexpr int kYaxBackupCaption = 10929;
constexpr int kUnknownBackupCaption = 10930;
constexpr int kInfoInstrumentType = 10931;
constexpr int kInfoInstrumentAddress = 10932;
constexpr int kPirFilter = 10933;
constexpr int kJovFilter = 10934;
constexpr int kKelFilter = 10935;
constexpr int kYaxFilter = 10936;
constexpr int kAllFilesFilter = 10937;
constexpr int kAllBackupFilesFilter = 10938;
constexpr int kRestoreFailed = 10940;
constexpr int kNoDataToRestore = 10941;
constexpr int kRestoreQuestion = 10942;
constexpr int kNotPir = 10943;
constexpr int kNotJov = 10944;
constexpr int kNotYax = 10945;
constexpr int kNotPirFile = 10946;
constexpr int kNotJovFile = 10947;
constexpr int kNotKelFile = 10948;
constexpr int kNotYaxFile = 10949;
constexpr int kVersionMismatch = 10950;
constexpr int kFileMismatch = 10951;
constexpr int kPreviousReconstructed = 10952;
constexpr int kRestoreSuccessful = 10953;
constexpr int kRestoreWarnings = 10954;
constexpr int kParametersInFile = 10955;
constexpr int kParametersInInstrument = 10956;
constexpr int kRestoredParameters = 10957;
constexpr int kSetToDefaultNote = 10958;
constexpr int kPirRestoreCaption = 10960;
constexpr int kJovRestoreCaption = 10961;
constexpr int kKelRestoreCaption = 10962;
constexpr int kYaxRestoreCaption = 10963;
constexpr int kUnknownRestoreCaption = 10964;
constexpr int kListInstrumentInformation = 10970;
constexpr int kListSetupData = 10971;
constexpr int kListBatchingData = 10972;
constexpr int kListRecipeData = 10973;
constexpr int kListStringData = 10974;
constexpr int kListOptionalInformation = 10975;
constexpr int kNoDataToPrint = 10976;
constexpr int kViewerCaption = 10977;
constexpr int kPrintFailed = 10978;
constexpr int kReadingSetup = 10980;
constexpr int kWritingSetup = 10981;
constexpr int kSelectFileButton = 10985;
constexpr int kStartBackupButton = 10986;
constexpr int kCancelButton = 10987;
constexpr int kOptionalInformation = 10988;
constexpr int kBackupFileGroup = 10989;
constexpr int kRestoreFileGroup = 10990;
constexpr int kRestoreSelection = 10991;
constexpr int kStartRestoreButton = 10992;
constexpr int kNormalSetupBox = 10993;
constexpr int kStringSetupBox = 10994;
constexpr int kBatchingSetupBox = 10995;
constexpr int kRecipeSetupBox = 10996;
constexpr int kPrintSelection = 10997;
constexpr int kPrintButton = 10998;
constexpr int kCloseButton = 10999;
constexpr int kSelectedFile = 10914;

// Reading a whole set-up file into memory and writing it back.
constexpr int kImageTooLarge = 21420;      // counts beyond the set-up model
constexpr int kImageStrayRegister = 21421; // a register outside its section's block
constexpr int kImageRepeatedRegister = 21422;
constexpr int kImageNoSuchNumber = 21423; // an activity or recipe number out of range
constexpr int kImageTextTooLong = 21424;
constexpr int kImageIncomplete = 21425; // refused write of a partial set-up

// Restoring another instrument's file: its address and serial number, and the port settings the
// master reaches the instrument through.
constexpr int kOtherInstrumentFile = 21860;
constexpr int kFileIdentity = 21861;
constexpr int kInstrumentIdentity = 21862;
constexpr int kKeepsLinkSettings = 21863;
constexpr int kTakesLinkSettings = 21864;
constexpr int kKeptLinkValue = 21865;
constexpr int kTookLinkValue = 21866;
constexpr int kTakeLinkSettingsBox = 21867;

} // namespace quarnex::ids
