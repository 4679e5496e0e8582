#pragma once

// String IDs of the serial-device choice in the "Communication set-up" dialog and of the main
// view's note when no instrument answers (res/strings_ports.inc).

namespace quarnex::ids {

constexpr int kNoDevicesFound = 20410;
constexpr int kNoSuchDevice = 20411;
constexpr int kStableDeviceName = 20412;
constexpr int kNothingAnswers = 20413;

} // namespace quarnex::ids
