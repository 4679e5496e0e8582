#pragma once

// String IDs of the main view, the "Instruments to view" sheet and the bus search
// (res/strings_monitor.inc).

namespace quarnex::ids {

constexpr int kInstrumentsToViewCaption = 103;
constexpr int kAddressPage1 = 16000; // "1 - 100"
constexpr int kAddressPage2 = 16001;
constexpr int kAddressPage3 = 16002;
constexpr int kSearchPageTitle = 16003;
constexpr int kSearchButton = 16004;
constexpr int kFoundCountLabel = 16005;
constexpr int kSearchCaption = 16010;
constexpr int kSearchPleaseWait = 16011;
constexpr int kSearchingAddressLabel = 16012;
constexpr int kFoundNumberLabel = 16013;
constexpr int kStop = 16014;
constexpr int kMonitorCancel = 16015;
constexpr int kMonitorOk = 16016;

constexpr int kColumnInstrument = 10050;
constexpr int kColumnAddress = 10051;
constexpr int kColumnValue = 10052;

constexpr int kProfileNotWritten = 16020;
constexpr int kDevicePathControlCharacter = 16021;
constexpr int kFindSettings = 16022;
constexpr int kFindSettingsProgress = 16023;
constexpr int kTakeSettingsQuestion = 16024;
constexpr int kFindSettingsSerialOnly = 16025;
constexpr int kFindSettingsStopped = 16026;
constexpr int kOtherSettingsNotTried = 16027;
constexpr int kOtherSettingsNotTriedCli = 16028;
constexpr int kFindSettingsLongest = 16029;

} // namespace quarnex::ids
