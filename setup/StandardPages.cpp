#include "setup/StandardPages.h"

#include "instrument/InstrumentSetup.h"
#include "instrument/InstrumentType.h"
#include "instrument/SetupParameterTable.h"
#include "res/SetupTextIds.h"
#include "setup/BatchingPages.h"
#include "setup/CalibrationPages.h"

namespace quarnex {

namespace {

constexpr int kFlowRateOption = 0x0002; // software options (40370)

RowState OnWhen(bool on) {
    return on ? kRowOn : kRowOff;
}

// ----- General (parameters 0-13) -------------------------------------------------------------

constexpr int kOperatorLock = 10;
constexpr int kOperatorCode = 11;
constexpr int kSetupLock = 12;
constexpr int kSetupCode = 13;
constexpr int kLockOn = 1;

// A lock code is offered (and shown masked) only while its lock is On.
RowState GeneralRule(int parameter, const InstrumentSetup& setup) {
    if (parameter == kOperatorCode)
        return OnWhen(ChoiceAt(setup, kOperatorLock) == kLockOn);
    if (parameter == kSetupCode)
        return OnWhen(ChoiceAt(setup, kSetupLock) == kLockOn);
    return kRowOn;
}

PageDescriptor MakeGeneral() {
    PageDescriptor page{.title = ids::kPageGeneral, .rule = GeneralRule};
    for (int n = 0; n <= kSetupCode; ++n)
        page.rows.push_back(
            {n, n == kOperatorCode || n == kSetupCode ? EditorKind::Code : EditorKind::Choice});
    return page;
}

// ----- Communication (parameters 57-78) ------------------------------------------------------

constexpr int kInstrumentAddress = 57;
constexpr int kCom1Mode = 58;
constexpr int kCom2Mode = 61;
constexpr int kCom3Mode = 64;
constexpr int kCom4Mode = 68;
constexpr int kExtDisplayMode = 72;
constexpr int kExtDisplayFormat = 73;
constexpr int kPrinterFirst = 74; // printer positions 1-4 and linefeeds
constexpr int kPrinterLast = 78;

namespace mode {
constexpr int kNotInUse = 0;
constexpr int kModbus = 1;
constexpr int kModbusAuto = 2;
constexpr int kExternalDisplay = 3;
constexpr int kPrinter = 4;
constexpr int kPrinter850 = 5;
constexpr int kSpecial = 6;
constexpr int kIoBus = 7; // COM2 only
} // namespace mode

// A port mode whose baud rate and data format the instrument uses ("Modbus auto" finds them
// itself, "I/O bus" has its own fixed format).
bool SetsLine(int m) {
    return m == mode::kModbus || (m >= mode::kExternalDisplay && m <= mode::kSpecial);
}

struct ComModes {
    int m[4];
};

// COM3 and COM4 sit on an I/O unit on the COM2 bus: without "I/O bus" on COM2 they do not exist,
// whatever modes the instrument still holds for them.
ComModes ModesOf(const InstrumentSetup& setup) {
    const int m2 = ChoiceAt(setup, kCom2Mode);
    const bool ioBus = m2 == mode::kIoBus;
    return {{ChoiceAt(setup, kCom1Mode), m2, ioBus ? ChoiceAt(setup, kCom3Mode) : mode::kNotInUse,
             ioBus ? ChoiceAt(setup, kCom4Mode) : mode::kNotInUse}};
}

bool AnyMode(const ComModes& modes, std::initializer_list<int> wanted) {
    for (int m : modes.m)
        for (int w : wanted)
            if (m == w)
                return true;
    return false;
}

// COM3 and COM4: baud rate, data format, position (mode m).
RowState IoUnitPortRule(int offset, int m) {
    if (offset == 3) // position
        return OnWhen(SetsLine(m) || m == mode::kModbusAuto);
    return OnWhen(SetsLine(m));
}

RowState CommunicationRule(int parameter, const InstrumentSetup& setup) {
    const ComModes modes = ModesOf(setup);
    const int m1 = modes.m[0], m2 = modes.m[1];
    switch (parameter) {
    case kInstrumentAddress:
    case kCom1Mode:
        return kRowOn;
    case kCom1Mode + 1: // baud rate
    case kCom1Mode + 2: // data format
        return OnWhen(SetsLine(m1));
    case kCom2Mode + 1:
        return OnWhen(SetsLine(m2) || m2 == mode::kIoBus);
    case kCom2Mode + 2:
        return OnWhen(SetsLine(m2));
    case kCom3Mode:
    case kCom4Mode:
        return OnWhen(m2 == mode::kIoBus);
    case kExtDisplayMode:
    case kExtDisplayFormat:
        return OnWhen(AnyMode(modes, {mode::kExternalDisplay, mode::kSpecial}));
    default:
        break;
    }
    if (parameter > kCom3Mode && parameter <= kCom3Mode + 3)
        return IoUnitPortRule(parameter - kCom3Mode, modes.m[2]);
    if (parameter > kCom4Mode && parameter <= kCom4Mode + 3)
        return IoUnitPortRule(parameter - kCom4Mode, modes.m[3]);
    if (parameter >= kPrinterFirst && parameter <= kPrinterLast)
        return OnWhen(AnyMode(modes, {mode::kPrinter, mode::kPrinter850, mode::kSpecial}));
    return kRowOn;
}

PageDescriptor MakeCommunication() {
    PageDescriptor page{.title = ids::kPageCommunication, .rule = CommunicationRule};
    page.rows.push_back({kInstrumentAddress, EditorKind::Number});
    for (int n = kCom1Mode; n <= kPrinterLast; ++n)
        page.rows.push_back({n, EditorKind::Choice});
    return page;
}

// ----- Level supervision (parameters 79-104) -------------------------------------------------

constexpr int kLevel1Source =
    79; // LEVEL n: source 79 + 3 (n - 1), output configuration, hysteresis
constexpr int kLevels = 8;
constexpr int kLevelLast = kLevel1Source + 3 * kLevels - 1; // 102
constexpr int kSetpoint2Source = 104;
constexpr int kSourceNotInUse = 0;
constexpr int kSourceOffsetLevel1 = 10; // levels 2-8: the level follows level 1

RowState LevelRule(int parameter, const InstrumentSetup& setup) {
    if (parameter < kLevel1Source || parameter > kLevelLast)
        return kRowOn; // the set-point sources
    const int level = (parameter - kLevel1Source) / 3 + 1;
    const int sourceParameter = kLevel1Source + 3 * (level - 1);
    if (parameter == sourceParameter)
        return kRowOn;
    const int source = ChoiceAt(setup, sourceParameter);
    if (source == kSourceNotInUse)
        return kRowOff;
    // An offset from level 1 means nothing while level 1 supervises nothing.
    if (level > 1 && source == kSourceOffsetLevel1 &&
        ChoiceAt(setup, kLevel1Source) == kSourceNotInUse)
        return kRowOff;
    return kRowOn;
}

PageDescriptor MakeLevelSupervision() {
    PageDescriptor page{.title = ids::kPageLevelSupervision, .rule = LevelRule};
    for (int n = kLevel1Source; n <= kSetpoint2Source; ++n) {
        const bool hysteresis = n <= kLevelLast && (n - kLevel1Source) % 3 == 2;
        page.rows.push_back({n, hysteresis ? EditorKind::Number : EditorKind::Choice});
    }
    return page;
}

// ----- Inputs (105-122) and Outputs (123-140): no rules --------------------------------------

PageDescriptor MakeChoiceRows(int title, int first, int last) {
    PageDescriptor page{.title = title};
    for (int n = first; n <= last; ++n)
        page.rows.push_back({n, EditorKind::Choice});
    return page;
}

// ----- Analogue outputs (141-154) -------------------------------------------------------------

constexpr int kAnalogue1Source = 141; // output 1: 141-147, output 2: 148-154
constexpr int kAnalogue2Source = 148;
constexpr int kAnalogueRows = 7;
// The adjust-end registers: writing 0 ends the adjustment of output 1 or 2.
constexpr int kAnalogue1AdjustEnd = 41812;
constexpr int kAnalogue2AdjustEnd = 41814;

RowState AnalogueRule(int parameter, const InstrumentSetup& setup) {
    const int source = parameter < kAnalogue2Source ? kAnalogue1Source : kAnalogue2Source;
    if (parameter == source || parameter < kAnalogue1Source ||
        parameter >= kAnalogue2Source + kAnalogueRows)
        return kRowOn;
    return OnWhen(ChoiceAt(setup, source) != 0);
}

PageDescriptor MakeAnalogueOutputs() {
    PageDescriptor page{.title = ids::kPageAnalogueOutputs, .rule = AnalogueRule};
    const int sources[] = {kAnalogue1Source, kAnalogue2Source};
    const int ends[] = {kAnalogue1AdjustEnd, kAnalogue2AdjustEnd};
    const int groups[] = {ids::kAnalogueOutput1Group, ids::kAnalogueOutput2Group};
    for (int output = 0; output < 2; ++output) {
        const int s = sources[output];
        page.groups.push_back({groups[output], page.rows.size(), kAnalogueRows});
        page.rows.push_back({s, EditorKind::Choice});     // source
        page.rows.push_back({s + 1, EditorKind::Choice}); // type
        page.rows.push_back({s + 2, EditorKind::Number}); // range low
        page.rows.push_back({s + 3, EditorKind::Number}); // range high
        page.rows.push_back({s + 4, EditorKind::Adjust, ends[output]});
        page.rows.push_back({s + 5, EditorKind::Adjust, ends[output]});
        page.rows.push_back({s + 6, EditorKind::Choice}); // filter constant
    }
    return page;
}

// ----- Special menu (169-188) -----------------------------------------------------------------

int SpecialCount(const InstrumentSetup& setup) {
    const int c = setup.Info().specialCount;
    return c < 0 ? 0
                 : (c > SetupParameterTable::kSpecialRows ? SetupParameterTable::kSpecialRows : c);
}

// Only the special parameters the instrument reports exist; the others are not on the page.
RowState SpecialRule(int parameter, const InstrumentSetup& setup) {
    return {.shown = parameter - SetupParameterTable::kSpecialFirst < SpecialCount(setup)};
}

PageDescriptor MakeSpecialMenu() {
    PageDescriptor page{.title = ids::kPageSpecialMenu, .rule = SpecialRule};
    for (int j = 0; j < SetupParameterTable::kSpecialRows; ++j)
        page.rows.push_back({SetupParameterTable::kSpecialFirst + j, EditorKind::Special});
    return page;
}

} // namespace

const PageDescriptor& SetupPage(PageId id) {
    static const PageDescriptor general = MakeGeneral();
    static const PageDescriptor communication = MakeCommunication();
    static const PageDescriptor level = MakeLevelSupervision();
    static const PageDescriptor inputs = MakeChoiceRows(ids::kPageInputs, 105, 122);
    static const PageDescriptor outputs = MakeChoiceRows(ids::kPageOutputs, 123, 140);
    static const PageDescriptor analogue = MakeAnalogueOutputs();
    static const PageDescriptor special = MakeSpecialMenu();
    switch (id) {
    case PageId::General:
        return general;
    case PageId::CalibParam:
        return CalibParamPage();
    case PageId::Calibration:
        return CalibrationPage();
    case PageId::Communication:
        return communication;
    case PageId::LevelSupervision:
        return level;
    case PageId::Inputs:
        return inputs;
    case PageId::Outputs:
        return outputs;
    case PageId::AnalogueOutputs:
        return analogue;
    case PageId::FlowRate:
        return FlowRatePage();
    case PageId::Activities1:
        return ActivitiesPage(1);
    case PageId::Activities2:
        return ActivitiesPage(2);
    case PageId::Recipes:
        return RecipesPage();
    case PageId::SpecialMenu:
        break;
    }
    return special;
}

std::vector<PageId> SheetPages(SheetMode mode, const InstrumentInfo& info) {
    // The sheet's tab order is General, Calib param, Calibration, Communication, Level
    // supervision, Inputs, Outputs, Analogue outputs, Flow rate, Activities1, Activities2,
    // Recipes, Special menu. Flow rate goes without the flow-rate option (bit value 2), the
    // batching pages without the batching option (bit value 16). A batching sheet shows only
    // Activities1, Activities2 and Recipes, a recipe sheet only Recipes.
    if (mode == SheetMode::EditRecipes)
        return {PageId::Recipes};
    if (mode == SheetMode::EditBatching)
        return {PageId::Activities1, PageId::Activities2, PageId::Recipes};
    std::vector<PageId> pages = {
        PageId::General,          PageId::CalibParam, PageId::Calibration, PageId::Communication,
        PageId::LevelSupervision, PageId::Inputs,     PageId::Outputs,     PageId::AnalogueOutputs};
    if ((info.options & kFlowRateOption) != 0)
        pages.push_back(PageId::FlowRate);
    if (info.BatchingEnabled())
        pages.insert(pages.end(), {PageId::Activities1, PageId::Activities2, PageId::Recipes});
    if (info.specialCount > 0)
        pages.push_back(PageId::SpecialMenu);
    return pages;
}

} // namespace quarnex
