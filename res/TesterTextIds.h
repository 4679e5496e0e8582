#pragma once

// String IDs of the communication tester (res/strings_tester.inc).

namespace quarnex::ids {

constexpr int kTesterRegister1 = 30000;
constexpr int kTesterRegister2 = 30001;
constexpr int kTesterRegister3 = 30002;
constexpr int kTesterRegister1Hex = 30003;
constexpr int kTesterRegister1Bin = 30004;
constexpr int kTesterInteger = 30005;
constexpr int kTesterDecimals = 30006;
constexpr int kTesterFloat = 30007;
constexpr int kTesterModiconFloat = 30008;

constexpr int kTesterTitle = 30010;
constexpr int kTesterDataType = 30011;
constexpr int kTesterDataTypeFirst = 30012; // the five data types in order
constexpr int kTesterAddress = 30017;
constexpr int kTesterCoil = 30018;
constexpr int kTesterSendGroup = 30019;
constexpr int kTesterGetGroup = 30020;
constexpr int kTesterStartRegister = 30021;
constexpr int kTesterSendButton = 30022;
constexpr int kTesterGetButton = 30023;
constexpr int kTesterSetCoil = 30024;
constexpr int kTesterClearCoil = 30025;
constexpr int kTesterClose = 30026;

constexpr int kEnterInteger = 30030; // "Please enter an integer."

} // namespace quarnex::ids
