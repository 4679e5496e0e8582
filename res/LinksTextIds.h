#pragma once

// String IDs of the links to the bus: the network links, the kernel's RS-485 mode and their part
// of the "Communication set-up" dialog (res/strings_links.inc).

namespace quarnex::ids {

constexpr int kRs485Refused = 20620;
constexpr int kCannotConnect = 20621;
constexpr int kNothingAnswersNetwork = 20622;
constexpr int kLinkLabel = 20630;
constexpr int kLinkSerial = 20631;
constexpr int kLinkRtuOverTcp = 20632;
constexpr int kLinkModbusTcp = 20633;
constexpr int kHostLabel = 20634;
constexpr int kTcpPortLabel = 20635;
constexpr int kResponseTimeoutLabel = 20636;
constexpr int kRs485Label = 20637;
constexpr int kRs485BeforeLabel = 20638;
constexpr int kRs485AfterLabel = 20639;
constexpr int kRs485Hint = 20640;
constexpr int kHostMissing = 20641;
constexpr int kGatewayNoAnswer = 20623;
constexpr int kNotModbusTcp = 20624;
constexpr int kNotRtuOverTcp = 20625;
constexpr int kMbapFrameCut = 20626;
constexpr int kAnswerTooLate = 20627;
constexpr int kSilentGatewaySearch = 20628;
constexpr int kLateAnswerDropped = 20629;
constexpr int kDeviceRemoved = 20642;
constexpr int kDeviceBack = 20643;

} // namespace quarnex::ids
