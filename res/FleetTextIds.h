#pragma once

// Texts of the plant's history window, by ID (strings_fleet.inc).
namespace quarnex::ids {
constexpr int kHistoryCaption = 24600;       // the window's title
constexpr int kHistoryButton = 24601;        // the viewer's button that opens a history folder
constexpr int kHistoryFolder = 24602;        // the folder group
constexpr int kHistoryInstruments = 24603;   // the instruments list's heading
constexpr int kHistoryVersions = 24604;      // the versions list's heading
constexpr int kHistoryCompare = 24605;       // compare two versions, or one with the one before
constexpr int kHistorySave = 24606;          // a version written out as a set-up file
constexpr int kHistorySaveCaption = 24607;   // the save chooser's caption
constexpr int kHistorySaved = 24608;         // "%1 saved: restore it with Restore on the panel"
constexpr int kHistoryNotOpened = 24609;     // "%1 cannot be opened as a history:\n%2"
constexpr int kHistoryColumnVersion = 24610; // the versions list's columns
constexpr int kHistoryColumnDate = 24611;
constexpr int kHistoryColumnCommit = 24612;
constexpr int kHistoryColumnChange = 24613;
constexpr int kHistoryFailed = 24614; // "The version could not be read:\n%1"
} // namespace quarnex::ids
