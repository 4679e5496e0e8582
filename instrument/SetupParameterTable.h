#pragma once

#include <string>

namespace quarnex {

// How a set-up value is shown and edited.
namespace kind {
// 0-7: number with that many decimals.
constexpr int kWeight = 8;        // weight decimals
constexpr int kWeightPlusOne = 9; // weight decimals + 1
constexpr int kLevel1 = 12;       // 12-19: follow the source of LEVEL 1-8
constexpr int kLevel8 = 19;
constexpr int kAnalogue1 = 20; // follow analogue output 1's source
constexpr int kAnalogue2 = 21; // follow analogue output 2's source
constexpr int kSixSignificant = 22;
constexpr int kBatchFine = 23;     // the activity's fine value
constexpr int kBatchInflight = 24; // the activity's inflight value
constexpr int kChoice = 25;        // index into the string range first ... final
constexpr int kSpecial = 26;       // label, unit and decimals from the descriptor
constexpr int kReserved = 27;      // no label; also the end rows
} // namespace kind

// Unit string IDs: plain units are loaded as they are, the special indications are resolved
// against other set-up values when shown.
namespace unit {
constexpr int kNone = 0;          // end rows
constexpr int kDisplayed = 19020; // the displayed (weight) unit
constexpr int kLevel1 = 19021;    // 19021-19028: LEVEL 1-8's unit
constexpr int kLevel8 = 19028;
constexpr int kAnalogue1 = 19029;     // analogue output 1's range unit
constexpr int kAnalogue2 = 19030;     // analogue output 2's range unit
constexpr int kBatchFine = 19035;     // the activity's fine value unit
constexpr int kBatchInflight = 19036; // the activity's inflight value unit
constexpr int kNoUnit = 19100;
constexpr int kHz = 19101;
constexpr int kMvPerV = 19102;
constexpr int kMa = 19103;
constexpr int kVolt = 19104;
constexpr int kMs = 19105;
constexpr int kSeconds = 19106;
constexpr int kMinutes = 19107;
constexpr int kPerSecond = 19108;
constexpr int kPerMinute = 19109;
constexpr int kPerHour = 19110;
constexpr int kThousandPerMinute = 19111;
constexpr int kThousandPerHour = 19112;
constexpr int kPercent = 19113;
} // namespace unit

// One row of the table: what a set-up value is called, how it is shown, its unit.
struct SetupParameterRow {
    int label;       // string ID, 0 for reserved and end rows
    int kind;        // kind::...
    int firstChoice; // string IDs of the choice list (kind 25), else 0
    int finalChoice;
    int unit; // unit string ID or special indication
};

// The constant table of set-up parameters. Rows 0-188 describe the values of InstrumentSetup
// (0-158 normal, 159-168 reserved, 169-188 special 0-19), row 189 ends them; rows 190-794
// describe the batch values (row 190 + b for batch value b), row 795 ends them.
class SetupParameterTable {
public:
    static constexpr int kNormalRows = 159;
    static constexpr int kReservedFirst = 159;
    static constexpr int kSpecialFirst = 169;
    static constexpr int kSpecialRows = 20;
    static constexpr int kValueRows = 189;
    static constexpr int kValueEndRow = 189;
    static constexpr int kBatchFirst = 190;
    static constexpr int kBatchValues = 605;
    static constexpr int kBatchEndRow = 795;
    static constexpr int kRows = 796;
    static constexpr int kGeneralBatchValues = 5;
    static constexpr int kActivities = 24;
    static constexpr int kActivityValues = 25;
    static constexpr int kTexts = 54;
    static constexpr int kTextLength = 12;

    // Row 0-795; any other number gives a reserved row.
    static const SetupParameterRow& Row(int row);
    // Label string ID of text k (0-53): 13300-13353.
    static int TextLabel(int k);
    // The row of batch value b.
    static int BatchRow(int b) { return kBatchFirst + b; }
    // The activity (1-24) of batch value b, 0 for the five general values.
    static int ActivityOfBatchValue(int b);
};

// Activity parameters (j = batch value - 5 - 25 (k - 1)) that the display rules look up.
namespace activity {
constexpr int kType = 0;
constexpr int kDecimals = 22;
constexpr int kUnit = 23;
constexpr int kPulseBatching = 10; // "Activity type:" choice
} // namespace activity

// Normal parameters that the display rules look up.
namespace param {
constexpr int kOperatorCode = 11;
constexpr int kSetupCode = 13;
constexpr int kMeasurementUnit = 14;
constexpr int kResolution = 15;
constexpr int kCalibrationType = 32;
constexpr int kAddress = 57;      // the instrument's slave address on the bus
constexpr int kCom1Mode = 58;     // COM n: mode, baud rate and data format at 58 + 3 (n - 1), but
                                  // COM4's at 68 (67 is COM3's printer position)
constexpr int kLevel1Source = 79; // LEVEL n's source is 79 + 3 (n - 1)
constexpr int kAnalogue1Source = 141;
constexpr int kAnalogue2Source = 148;
constexpr int kFlowRateResolution = 156;
constexpr int kFlowRateUnit = 157;
} // namespace param

} // namespace quarnex
