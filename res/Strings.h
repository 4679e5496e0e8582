#pragma once

#include <string>
#include <vector>

namespace quarnex {

// The program's string table: every text the user sees, by numeric ID. The entries live in one
// .inc file per subsystem (strings_<subsystem>.inc), all compiled into one table.
// Returns "" for an ID without text.
const std::string& Text(int id);
bool HasText(int id);

// Replaces %1, %2, ... with the arguments in order (the framework's message style).
std::string FormatText(const std::string& pattern, const std::vector<std::string>& args);

// IDs that appear twice in the table (a test keeps this empty).
std::vector<int> DuplicateTextIds();

// String IDs used by the bus layer.
namespace ids {
constexpr int kNoValidPort = 10000;
constexpr int kTransmitError = 10001;
constexpr int kReceiveError = 10002;
constexpr int kNoResponse = 10003;
constexpr int kChecksumError = 10004;
constexpr int kIllegalTransmitData = 10007;
constexpr int kException01 = 10020; // 10020-10027 for exceptions 01-08
constexpr int kIllegalExceptionCode = 10028;
constexpr int kCommunicationError = 10030;
constexpr int kCannotOpenPort = 10040;
constexpr int kCannotInitPort = 10041;
constexpr int kCannotInitTimer = 10042;
constexpr int kJoinDialoutHint = 10043;
constexpr int kUnknownStatus = 10044;
constexpr int kIntegerRangePrompt = 10045;
} // namespace ids

} // namespace quarnex
