#pragma once

// String IDs of the instrument model's texts (res/strings_instrument.inc). Ranges whose members
// are reached by arithmetic (states, errors, choice lists) name only their first entry.

namespace quarnex::ids {

constexpr int kTypeNameFirst = 200;     // 200-210, see InstrumentTypeName for the order
constexpr int kRecipeBatcherName = 210; // the longest name a list shows

constexpr int kIllegalCharacter = 4000;
constexpr int kValueOutOfRange = 4001;

constexpr int kCommunicationErrorShort = 10031; // "Communication error !"

constexpr int kStateFirst = 10200; // states 0-9
constexpr int kStateBoot = 10210;
constexpr int kStateGeneric = 10211;
constexpr int kIoBusFaulty = 10220;

constexpr int kErrorFirst = 10250; // codes 0-19 at 10250 + n, codes 80-99 at 10200 + n
constexpr int kErrorRecipe = 10287;
constexpr int kErrorGeneric = 10493;

constexpr int kCommandErrorNone = 10300;
constexpr int kSaveCalibrationNotFinished = 10368;
constexpr int kSaveDerivationTimeChanged = 10377;
constexpr int kCommandErrorRegister = 10490;
constexpr int kExitRefusedPrefix = 10491;
constexpr int kCommandErrorGeneric = 10492;

constexpr int kNotValidSetupFile = 10630;
constexpr int kStartQuestion = 10654;
constexpr int kNotCompatible = 10655;
constexpr int kNotKel7 = 10671;
constexpr int kNotSupportedInstrument = 10673; // "Select instrument" with an unknown type
constexpr int kPanelNotSupported = 10680;
constexpr int kJov7NotImplemented = 10681;
constexpr int kPir7NotSupported = 10682;
constexpr int kYax7NotSupported = 10683;
constexpr int kSaveWarning = 10695;
constexpr int kSaveQuestion = 10696;

constexpr int kInfoLabelFirst = 11000; // 11000-11014

constexpr int kDisplayedUnitFirst = 14021; // "g" ... "pls" for "Measurement unit:" 1-21

} // namespace quarnex::ids
