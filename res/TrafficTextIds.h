#pragma once

// String IDs of the bus traffic monitor: its window, the decoded fields and the timing warnings
// (res/strings_traffic.inc).

namespace quarnex::ids {

constexpr int kTrafficCaption = 36000; // window title
constexpr int kTrafficPrompt = 36001;
constexpr int kTrafficPause = 36002;
constexpr int kTrafficResume = 36003;
constexpr int kTrafficClear = 36004;
constexpr int kTrafficSaveCsv = 36005;
constexpr int kTrafficSaveText = 36006;
constexpr int kTrafficAddressFilter = 36007;
constexpr int kTrafficAllAddresses = 36008;
constexpr int kTrafficClose = 36009;
constexpr int kTrafficCsvFiles = 36010;
constexpr int kTrafficTextFiles = 36011;
constexpr int kTrafficCommand = 36012; // the View-menu command

// Column headings of the table, in order.
constexpr int kTrafficColTime = 36020;
constexpr int kTrafficColAttempt = 36021;
constexpr int kTrafficColAddress = 36022;
constexpr int kTrafficColFunction = 36023;
constexpr int kTrafficColRegister = 36024;
constexpr int kTrafficColCount = 36025;
constexpr int kTrafficColStatus = 36026;
constexpr int kTrafficColResponse = 36027;
constexpr int kTrafficColGap = 36028;
constexpr int kTrafficColRequest = 36029;
constexpr int kTrafficColAnswer = 36030;
constexpr int kTrafficColWarning = 36031;

// Decoded fields.
constexpr int kTrafficFnRead = 36040;
constexpr int kTrafficFnWriteCoil = 36041;
constexpr int kTrafficFnWriteRegister = 36042;
constexpr int kTrafficFnWriteRegisters = 36043;
constexpr int kTrafficFnReadWrite = 36044;
constexpr int kTrafficFnOther = 36045;
constexpr int kTrafficStatusOk = 36046;
constexpr int kTrafficTimedOut = 36047;

// Timing warnings and the summary line.
constexpr int kTrafficShortGap = 36060;
constexpr int kTrafficSilence = 36061;
constexpr int kTrafficSummary = 36062;
constexpr int kTrafficFailures = 36063;
constexpr int kTrafficAddressTimes = 36064;
constexpr int kTrafficAddressSilent = 36065;
constexpr int kTrafficNothing = 36066;

} // namespace quarnex::ids
