#include "instrument/Commands.h"
#include "instrument/InstrumentTexts.h"
#include "instrument/InstrumentType.h"
#include "res/Strings.h"
#include "support/ScriptedPrompter.h"

#include <gtest/gtest.h>

namespace quarnex {
namespace {

TEST(InstrumentTypes, RawCodesMapToTheFamilyWithGapsAndTheDerivedBatcher) {
    EXPECT_EQ(InstrumentTypeFromCode(2001), itype::kPir7);
    EXPECT_EQ(InstrumentTypeFromCode(2003), itype::kKel7);
    EXPECT_EQ(InstrumentTypeFromCode(2004), itype::kYax7); // 10, not 4
    EXPECT_EQ(InstrumentTypeFromCode(2005), itype::kUnknown);
    EXPECT_EQ(InstrumentTypeFromCode(2006), itype::kFlin7);
    EXPECT_EQ(InstrumentTypeFromCode(2011), itype::kTig7);
    EXPECT_EQ(InstrumentTypeFromCode(2000), itype::kUnknown);
    EXPECT_EQ(InstrumentTypeFromCode(2012), itype::kUnknown);
    EXPECT_EQ(InstrumentTypeFromCode(-2003), itype::kUnknown);

    EXPECT_EQ(InstrumentTypeWithVersion(2003, 1310), itype::kKel7RecipeBatcher);
    EXPECT_EQ(InstrumentTypeWithVersion(2003, 1300), itype::kKel7);
    EXPECT_EQ(InstrumentTypeWithVersion(2001, 1310), itype::kPir7);

    std::string name;
    EXPECT_TRUE(InstrumentTypeName(itype::kKel7RecipeBatcher, name));
    EXPECT_EQ(name, "KEL 7 Recipe Batcher");
    EXPECT_EQ(InstrumentTypeName(InstrumentTypeWithVersion(2003, 1300)), "KEL 7");
    EXPECT_EQ(InstrumentTypeName(itype::kJov7), "JOV 7");
    EXPECT_EQ(InstrumentTypeName(itype::kYax7), "YAX 7");
    EXPECT_EQ(InstrumentTypeName(itype::kHusk7), "HUSK 7");
    for (int bad : {0, 12, -1}) {
        EXPECT_FALSE(InstrumentTypeName(bad, name));
        EXPECT_EQ(name, "??????");
    }
}

TEST(InstrumentTypes, SerialNumbersKeepSixDigitsAndTheDash) {
    EXPECT_EQ(FormatSerialNumber(12345.0), "01-2345");
    EXPECT_EQ(FormatSerialNumber(9876543.0), "987-6543");
    EXPECT_EQ(FormatSerialNumber(42.0), "00-0042");
    EXPECT_EQ(FormatSerialNumber(0.0), "00-0000");
    EXPECT_EQ(FormatSerialNumber(uint16_t{0x0001}, uint16_t{0xE240}), "12-3456");
    // The register form is unsigned: the top bit is not a sign.
    EXPECT_EQ(FormatSerialNumber(uint16_t{0xFFFF}, uint16_t{0xFFFF}), "429496-7295");
}

TEST(InstrumentTypes, BackupRefusalsNameTheModel) {
    EXPECT_EQ(BackupRefusalText(itype::kPir7), "PIR 7 is not supported in this program !");
    EXPECT_EQ(BackupRefusalText(itype::kJov7), "JOV 7 not implemented yet !!!");
    EXPECT_EQ(BackupRefusalText(itype::kYax7), "YAX 7 is not supported in this program !");
    EXPECT_EQ(BackupRefusalText(itype::kKel7), "");
}

TEST(CodeTexts, StatesAtTheirEdges) {
    EXPECT_EQ(StateText(0), "Starting up state");
    EXPECT_EQ(StateText(1), "Wait for start state");
    EXPECT_EQ(StateText(9), "Warming up state");
    EXPECT_EQ(StateText(99), "Boot state");
    EXPECT_EQ(StateText(10), "Instrument state no. 10!");
    EXPECT_EQ(StateText(12), "Instrument state no. 12!");
    EXPECT_EQ(StateText(98), "Instrument state no. 98!");
    EXPECT_EQ(StateText(-1), "Instrument state no. -1!");
}

TEST(CodeTexts, InstrumentErrorsAtTheirEdges) {
    EXPECT_EQ(InstrumentErrorText(0), "No errors");
    EXPECT_EQ(InstrumentErrorText(1), "Instrument in REMOTE set-up state (Err. 001)");
    EXPECT_EQ(InstrumentErrorText(2), "Instrument error (Err. 2)!");
    EXPECT_EQ(InstrumentErrorText(19), "Calibration resistor connected (Err. 019)");
    EXPECT_EQ(InstrumentErrorText(83), "Invalid factory calibration (Err. 083-085)");
    EXPECT_EQ(InstrumentErrorText(84), InstrumentErrorText(83));
    EXPECT_EQ(InstrumentErrorText(85), InstrumentErrorText(83));
    EXPECT_EQ(InstrumentErrorText(86), "Batching parameters error (Err. 086)");
    EXPECT_EQ(InstrumentErrorText(87), "Instrument error (Err. 87)!");
    EXPECT_EQ(InstrumentErrorText(96), "FRAM memory error (Err.  096)");
    EXPECT_EQ(InstrumentErrorText(99), "Watchdog error (Err. 099)");
    EXPECT_EQ(InstrumentErrorText(230), "Recipe parameters error (Err. 230)");
    EXPECT_EQ(InstrumentErrorText(37), "Instrument error (Err. 37)!"); // its ID would be 10287
}

TEST(CodeTexts, CommandErrorsWithAndWithoutTheExitPrefix) {
    const std::string exit = "Exit set-up/restore not allowed,\n ";
    EXPECT_EQ(CommandErrorText(41234), exit + "value out of range in modbus register: 41234");
    EXPECT_EQ(CommandErrorText(41000), exit + "value out of range in modbus register: 41000");
    EXPECT_EQ(CommandErrorText(41798), exit + "value out of range in modbus register: 41798");
    EXPECT_EQ(CommandErrorText(40999), "Command error (Err. 40999)!");
    EXPECT_EQ(CommandErrorText(41799), "Command error (Err. 41799)!");
    EXPECT_EQ(CommandErrorText(0), "No command error (Err. 0)");
    EXPECT_EQ(CommandErrorText(100),
              "Instrument in wrong state (command can not be performed, err 100)");
    EXPECT_EQ(CommandErrorText(106), "Choice not available (Err. 106)");
    EXPECT_EQ(CommandErrorText(107), "Command error (Err. 107)!");
    EXPECT_EQ(CommandErrorText(127),
              "Remote operation not allowed (instrument NOT in normal display mode, err. 127)");
    EXPECT_EQ(CommandErrorText(140), "Command not allowed at the moment (Err. 140)");
    EXPECT_EQ(CommandErrorText(168), "Command error (Err. 168)!");
    EXPECT_EQ(CommandErrorText(170), "Zero setting out of range (legal weighing limits, err. 170)");
    EXPECT_EQ(CommandErrorText(179), exit + "bandwidth mismatch (Err. 179)");
    EXPECT_EQ(CommandErrorText(192), exit + "illegal analog range high/low (Err. 192)");
    EXPECT_EQ(CommandErrorText(199),
              exit + "serial port COM3 and COM4 on same I/O unit (Err. 199)");
    EXPECT_EQ(CommandErrorText(211), "ZEB 7 unit number 1 faulty  (Err. 211)");
    EXPECT_EQ(CommandErrorText(214), "ZEB 7 unit number 4 faulty  (Err. 214)");
    EXPECT_EQ(CommandErrorText(226), "Illegal recipe number (Err. 226)");
    EXPECT_EQ(CommandErrorText(245), exit + "activity data faulty (Err. 245)");
    EXPECT_EQ(CommandErrorText(246), exit + "recipe data faulty (Err. 245)");
    EXPECT_EQ(CommandErrorText(1001),
              "In-/Output used in activity 1 not defined as \"Batch activity\" (Err. 1001)");
    EXPECT_EQ(CommandErrorText(1024),
              "In-/Output used in activity 24 not defined as \"Batch activity\" (Err. 1024)");
    EXPECT_EQ(CommandErrorText(1101), exit + "In-/Output used in activity 1 not defined as "
                                             "\"Batch activity\" (Err. 1101)");
    EXPECT_EQ(CommandErrorText(1124), exit + "In-/Output used in activity 24 not defined as "
                                             "\"Batch activity\" (Err. 1124)");
    for (int generic : {1000, 1025, 1100, 1125, 210, 215 + 1000})
        EXPECT_EQ(CommandErrorText(generic),
                  "Command error (Err. " + std::to_string(generic) + ")!");
}

TEST(CodeTexts, SaveWarningsNameTheDetail) {
    EXPECT_EQ(SaveWarningText(168),
              "WARNING !  \nCalibration not finished (all calibration points not stored, err. "
              "168) ! \n\nDo you still want to save the set-up ?");
    EXPECT_EQ(SaveWarningText(177), "WARNING !  \nFlow rate derivation time is changed by the "
                                    "instrument (Err. 177) ! \n\nDo you still want to save the "
                                    "set-up ?");
    EXPECT_EQ(SaveWarningText(166),
              "WARNING !  Command error (Err. 166)! \n\nDo you still want to save the set-up ?");
}

TEST(CodeTexts, LiveBlockDecodesBitsAndWeights) {
    uint16_t regs[17] = {2003,   0,      0,      0,      0, 0, 127, 2, 0,
                         0x00C8, 0x0004, 0xFFFF, 0xFF9C, 2, 0, 100, 1};
    const LiveBlock b = DecodeLiveBlock(regs);
    EXPECT_EQ(b.rawTypeCode, 2003);
    EXPECT_EQ(b.commandError, 127);
    EXPECT_EQ(b.state, 2);
    EXPECT_TRUE(b.Zero());
    EXPECT_TRUE(b.NetMode());
    EXPECT_TRUE(b.Motion());
    EXPECT_EQ(IoWarningText(b), "WARNING!   I/O-bus faulty.");
    EXPECT_EQ(b.gross[1], 0xFF9C);
    EXPECT_EQ(b.net[2], 1);
    regs[10] = 0x0003;
    regs[9] = 0x0030;
    const LiveBlock quiet = DecodeLiveBlock(regs);
    EXPECT_FALSE(quiet.Zero() || quiet.NetMode() || quiet.Motion());
    EXPECT_EQ(IoWarningText(quiet), "");
}

TEST(EnteredValues, WholeDecimalNumbersWithinTheLimit) {
    ScriptedPrompter prompter;
    double v = -1;
    EXPECT_TRUE(ParseEnteredValue("99999999.9999999", prompter, v));
    EXPECT_DOUBLE_EQ(v, 99999999.9999999);
    EXPECT_TRUE(ParseEnteredValue("-99999999.9999999", prompter, v));
    EXPECT_TRUE(ParseEnteredValue("", prompter, v));
    EXPECT_EQ(v, 0.0);
    EXPECT_TRUE(ParseEnteredValue("  12.5", prompter, v));
    EXPECT_EQ(v, 12.5);
    EXPECT_TRUE(ParseEnteredValue("+1e3", prompter, v));
    EXPECT_EQ(v, 1000.0);
    EXPECT_TRUE(ParseEnteredValue("-.5", prompter, v));
    EXPECT_EQ(v, -0.5);
    EXPECT_TRUE(ParseEnteredValue("5.", prompter, v));
    EXPECT_EQ(v, 5.0);
    // Too small for a double is no overflow: such a number is 0, not out of range.
    for (const char* tiny : {"1e-400", "-1e-400", "0.1e-330"}) {
        v = -1;
        EXPECT_TRUE(ParseEnteredValue(tiny, prompter, v)) << tiny;
        EXPECT_EQ(v, 0.0) << tiny;
    }
    EXPECT_TRUE(prompter.Boxes().empty());
}

TEST(EnteredValues, RefusalsSayWhy) {
    const std::string illegal = "Illegal character in entered value.";
    const std::string range = "Entered value out of range.";
    const std::pair<const char*, std::string> cases[] = {
        {"100000000", range}, {"-100000000", range}, {"1e400", range},  {"1e8", range},
        {"12a", illegal},     {"12 ", illegal},      {"a12", illegal},  {"   ", illegal},
        {"nan", illegal},     {"inf", illegal},      {"0x10", illegal}, {".", illegal},
        {"-", illegal},       {"1e", illegal},       {"1,5", illegal},  {"--1", illegal},
    };
    for (const auto& [text, expected] : cases) {
        ScriptedPrompter prompter;
        double v = 0;
        EXPECT_FALSE(ParseEnteredValue(text, prompter, v)) << text;
        ASSERT_EQ(prompter.Boxes().size(), 1u) << text;
        EXPECT_EQ(prompter.LastText(), expected) << text;
        EXPECT_EQ(prompter.Boxes()[0].icon, Prompter::Icon::Error);
        EXPECT_EQ(prompter.Boxes()[0].caption, "");
    }
}

TEST(InstrumentStrings, TableHasNoDuplicateIds) {
    EXPECT_TRUE(DuplicateTextIds().empty());
}

} // namespace
} // namespace quarnex
