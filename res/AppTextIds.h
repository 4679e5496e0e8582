#pragma once

// String IDs of the application's windows: main frame, menu, settings dialog, About box,
// start-up and the progress window (res/strings_app.inc).

namespace quarnex::ids {

constexpr int kAppName = 129; // "Quarnex": window titles and the display name
constexpr int kUpgradeInProgress = 117;
constexpr int kBusWorkCaption = 17080; // the progress window of a long read
constexpr int kRequestsDone = 17081;   // "%1 requests"
constexpr int kReadingTheSetup = 17082;

// Menu titles and commands.
constexpr int kMenuFile = 17000;
constexpr int kCmdExit = 17001;
constexpr int kMenuView = 17002;
constexpr int kCmdToolbar = 17003;
constexpr int kCmdStatusBar = 17004;
constexpr int kCmdInstruments = 17005;
constexpr int kMenuOptions = 17006;
constexpr int kCmdCommParams = 17007;
constexpr int kMenuInstrument = 17008;
constexpr int kCmdSelectInstrument = 17009;
constexpr int kCmdSetupFiles = 17010;
constexpr int kCmdCommTester = 17011;
constexpr int kCmdUpgrade = 17012;
constexpr int kMenuHelp = 17013;
constexpr int kCmdAbout = 17014;

// Status-bar prompts (the tooltip after the line break).
constexpr int kPromptExit = 17020;
constexpr int kPromptToolbar = 17021;
constexpr int kPromptStatusBar = 17022;
constexpr int kPromptInstruments = 17023;
constexpr int kPromptCommParams = 17024;
constexpr int kPromptSelectInstrument = 17025;
constexpr int kPromptSetupFiles = 17026;
constexpr int kPromptAbout = 17027;
constexpr int kReady = 17028;

// The "Communication set-up" dialog.
constexpr int kCommSetupCaption = 17040;
constexpr int kBaudRateLabel = 17041;
constexpr int kParityLabel = 17042;
constexpr int kParityNone = 17043;
constexpr int kParityEven = 17044;
constexpr int kParityOdd = 17045;
constexpr int kStopBitsLabel = 17046;
constexpr int kDataBitsLabel = 17048;
constexpr int kDataBitsValue = 17049;
constexpr int kComPortLabel = 17050;
constexpr int kAdditionalTimeoutLabel = 17051;
constexpr int kMilliseconds = 17052;
constexpr int kAdditionalTimeoutNote = 17053;
constexpr int kAppOk = 17054;
constexpr int kAppCancel = 17055;
constexpr int kComPortName = 17056; // "COM%1"
constexpr int kDeviceLabel = 17057;

// About box.
constexpr int kAboutCaption = 17060;
constexpr int kVersionLabel = 17061;
constexpr int kUnknownVersion = 17062;

// Start-up.
constexpr int kCannotStartDemoBus = 17071;
constexpr int kUsage = 17072;
constexpr int kUnknownOption = 17073;

} // namespace quarnex::ids
