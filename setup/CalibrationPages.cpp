#include "setup/CalibrationPages.h"

#include "comm/ModbusMaster.h"
#include "edit/SetupSource.h"
#include "instrument/Commands.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/Registers.h"
#include "instrument/ValueFormat.h"
#include "instrument/ValueHelpers.h"
#include "res/SetupTextIds.h"
#include "res/Strings.h"

namespace quarnex {

namespace {

// ----- Calib param (parameters 14-31) --------------------------------------------------------

constexpr int kCalibParamFirst = 14;
constexpr int kCalibParamLast = 31;
constexpr int kFilterType = 18;
constexpr int kFilterTime = 19;
constexpr int kFilterSpecial = 3;
constexpr int kOverloadCheck = 26;
constexpr int kOverloadLimit = 27;
constexpr int kZeroTracking = 28;
constexpr int kZeroTrackingRate = 29;

bool IsCalibParamChoice(int n) {
    switch (n) {
    case 14: // measurement unit
    case 15: // resolution
    case 17: // mains frequency
    case kFilterType:
    case 23: // motion check
    case kOverloadCheck:
    case kZeroTracking:
    case 30: // excitation
    case 31: // tare correction mode
        return true;
    default:
        return false;
    }
}

RowState CalibParamRule(int parameter, const InstrumentSetup& setup) {
    switch (parameter) {
    case kFilterTime: {
        // The other filter types have a time the instrument fixes: shown, never entered.
        return {.button = ChoiceAt(setup, kFilterType) == kFilterSpecial};
    }
    case kOverloadLimit:
        return ChoiceAt(setup, kOverloadCheck) != 0 ? kRowOn : kRowOff;
    case kZeroTrackingRate:
        return ChoiceAt(setup, kZeroTracking) != 0 ? kRowOn : kRowOff;
    default:
        return kRowOn;
    }
}

PageDescriptor MakeCalibParam() {
    PageDescriptor page{.title = ids::kPageCalibParam, .rule = CalibParamRule};
    for (int n = kCalibParamFirst; n <= kCalibParamLast; ++n)
        page.rows.push_back({n, IsCalibParamChoice(n) ? EditorKind::Choice : EditorKind::Number});
    return page;
}

// ----- Calibration (parameters 32-56) --------------------------------------------------------

constexpr int kCalibrationLast = 56;
constexpr int kShuntForce = 53;
constexpr int kConversionFactor = 33;
constexpr int kMaxTransducers = 4;
constexpr int kMinPoints = 2;

bool IsPointValue(int n) {
    return n >= calib::kPointValue1 && n < calib::kPointValue1 + calib::kMaxPoints;
}
bool IsPointSignal(int n) {
    return n >= calib::kPointSignal1 && n < calib::kPointSignal1 + calib::kMaxPoints;
}

// Which of the rows 33-56 a calibration type uses.
bool UsedBy(int type, int n) {
    const bool zeroRows = n >= calib::kShuntSignal && n <= kCalibrationLast; // 54-56
    switch (type) {
    case calib::kDataSheet:
        return (n >= kConversionFactor && n <= calib::kRatedOutput1 + kMaxTransducers - 1) ||
               zeroRows;
    case calib::kDeadweight:
    case calib::kTable:
        return (n >= calib::kPoints && n <= calib::kPointSignal1 + calib::kMaxPoints - 1) ||
               zeroRows;
    case calib::kShunt:
        return n == kConversionFactor || n == kShuntForce || zeroRows;
    default:
        return false;
    }
}

// A count that enables rows up to it; outside its range every row stays enabled, as the page is
// before any count has been read.
bool WithinCount(int index, int count, int least, int most) {
    return count < least || count > most || index < count;
}

RowState CalibrationRule(int parameter, const InstrumentSetup& setup) {
    if (parameter == calib::kType)
        return kRowOn;
    const int type = ChoiceAt(setup, calib::kType);
    // An unread or damaged type shows only the type row, from which a calibration can start.
    if (!UsedBy(type, parameter))
        return kRowHidden;
    RowState state;
    if (type == calib::kDataSheet && parameter >= calib::kRatedOutput1 &&
        parameter < calib::kRatedOutput1 + kMaxTransducers)
        state.enabled = WithinCount(parameter - calib::kRatedOutput1,
                                    ChoiceAt(setup, calib::kTransducers), 1, kMaxTransducers);
    if (type == calib::kDeadweight || type == calib::kTable) {
        const int points = ChoiceAt(setup, calib::kPoints);
        if (IsPointValue(parameter))
            state.enabled =
                WithinCount(parameter - calib::kPointValue1, points, kMinPoints, calib::kMaxPoints);
        if (IsPointSignal(parameter)) {
            state.enabled = WithinCount(parameter - calib::kPointSignal1, points, kMinPoints,
                                        calib::kMaxPoints);
            // A deadweight calibration measures the signal of each point itself.
            state.button = type != calib::kDeadweight;
        }
    }
    return state;
}

PageDescriptor MakeCalibration() {
    PageDescriptor page{.title = ids::kPageCalibration, .rule = CalibrationRule};
    page.rows.push_back({calib::kType, EditorKind::Choice});
    for (int n = kConversionFactor; n <= kCalibrationLast; ++n)
        page.rows.push_back({n, EditorKind::Number});
    return page;
}

// A live value of the measurement block (high word, low word, decimals).
bool LiveText(const uint16_t* value, std::string& text) {
    return FormatLiveValue(value[0], value[1], value[2], text);
}

constexpr int kErrorRemoteSetup = 1;
constexpr int kErrorShuntConnected = 19;
constexpr uint16_t kPointEditBit = 0x8000;
constexpr uint16_t kPointBits = (1u << calib::kMaxPoints) - 1;

} // namespace

const PageDescriptor& CalibParamPage() {
    static const PageDescriptor page = MakeCalibParam();
    return page;
}

const PageDescriptor& CalibrationPage() {
    static const PageDescriptor page = MakeCalibration();
    return page;
}

// ----- CalibrationLive -----------------------------------------------------------------------

CalibrationLive::CalibrationLive(SetupSource& source, bool editMode)
    : KelSetUpPage(source, CalibrationPage(), editMode), setup_(source.Setup()),
      gross_(placeholder::kSetupValue), signal_(placeholder::kSetupValue) {}

int CalibrationLive::Activate() {
    if (editMode_) {
        Update(false);
        return kEditPeriodMs;
    }
    gross_ = signal_ = placeholder::kSetupValue;
    KelSetUpPage::Activate();
    return kShowPeriodMs;
}

int CalibrationLive::Tick() {
    return editMode_ ? EditTick() : ShowTick();
}

int CalibrationLive::EditTick() {
    uint16_t live[kLiveCount] = {};
    pointEdit_ = false;
    if (!source_.CanMeasure()) {
        Update(false);
        return kEditPeriodMs;
    }
    if (!source_.ReadMeasured(reg::kLiveBlock, kLiveCount, live)) {
        gross_ = signal_ = placeholder::kSetupValue;
    } else {
        const int error = live[reg::LiveOffset(reg::kError)];
        if (error == kErrorRemoteSetup) {
            const bool grossValid = LiveText(&live[reg::LiveOffset(reg::kGrossWeight)], gross_);
            LiveText(&live[reg::LiveOffset(reg::kInputSignal)], signal_);
            if (grossValid) {
                countdown_ = 0;
                pointEdit_ = (live[reg::LiveOffset(reg::kCalibFlags)] & kPointEditBit) != 0;
            }
        } else {
            gross_ = signal_ = placeholder::kSetupValue;
            // A shunt resistor left connected (no shunt dialog is open while this timer runs)
            // falsifies every measurement: take it off at once and again every eleventh tick
            // while the instrument still reports it.
            if (error == kErrorShuntConnected && countdown_ <= 0) {
                source_.SendMeasuringCommand(coil::kShuntDisconnect);
                countdown_ = kShuntRepeatTicks;
            } else if (countdown_ > 0) {
                --countdown_;
            }
        }
        ReadMask();
    }
    Update(false);
    return kEditPeriodMs;
}

// One read a tick, as every page in show mode: the tick after a good refresh of the rows reads
// the unstored points instead of the next refresh step.
int CalibrationLive::ShowTick() {
    gross_ = signal_ = placeholder::kSetupValue;
    if (maskDue_) {
        maskDue_ = false;
        if (ReadMask())
            Update(false);
    } else if (model_.Tick()) {
        maskDue_ = !model_.Failed();
        Update(model_.Failed());
    }
    return kShowPeriodMs;
}

bool CalibrationLive::ReadMask() {
    float value = 0.0f;
    if (!source_.ReadMeasuredFloat(reg::kUnstoredPoints, value))
        return false;
    mask_ = static_cast<uint16_t>(FloatBits(value) & 0xFFFF);
    return true;
}

void CalibrationLive::Update(bool failed) {
    KelSetUpPage::Update(failed);
    if (failed)
        return;
    const bool deadweight = ChoiceAt(setup_, calib::kType) == calib::kDeadweight;
    for (size_t i = 0; i < rows_.size(); ++i) {
        RowDisplay& row = rows_[i];
        const int n = current_[i].parameter;
        if (!row.state.shown)
            continue;
        if (n == calib::kSetZero) {
            row.value = editMode_ ? gross_ : placeholder::kSetupValue;
            // The instrument takes its weight as zero.
            row.editEnabled = row.editEnabled && source_.CanMeasure();
        }
        if (n == calib::kShuntSignal && !source_.CanMeasure())
            row.editEnabled = false; // measured with the resistor connected
        if (!deadweight)
            continue;
        // A deadweight point is entered with its weight on the scale: only while the instrument
        // says it can measure one.
        if (n == calib::kPoints || (IsPointValue(n) && row.state.enabled))
            row.editEnabled = pointEdit_;
        if (IsPointValue(n) && (mask_ & (1u << (n - calib::kPointValue1))))
            row.label = "* " + row.label;
    }
    info_ = deadweight && (mask_ & kPointBits) ? Text(ids::kPointNotStoredInfo) : std::string();
}

EditRequest CalibrationLive::EditRequestFor(size_t row) const {
    const int n = current_.at(row).parameter;
    EditRequest request = KelSetUpPage::EditRequestFor(row);
    if (n == calib::kType) {
        request.confirmation = Text(ids::kNewCalibrationWarning);
    } else if (n == calib::kShuntSignal) {
        request.editor = EditorKind::Shunt;
    } else if (n == calib::kSetZero) {
        // The instrument sets the current weight to the value entered, normally zero.
        request.currentText = "0.0";
        request.extraTimeout = kMeasuringTimeoutMs;
    } else if (IsPointValue(n) && ChoiceAt(setup_, calib::kType) == calib::kDeadweight) {
        request.extraTimeout = kMeasuringTimeoutMs;
    }
    return request;
}

} // namespace quarnex
