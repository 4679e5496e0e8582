#pragma once

#include "platform/Prompter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quarnex {

class ModbusMaster;
class InstrumentSetup;

// What kind of instrument answers at an address: the raw type code (register 40001, or the float
// at 40200) mapped to a small integer. 0 is unknown; 11 is never reported by an instrument but
// derived for a KEL 7 with the set-up version this program supports.
using InstrumentType = int;
namespace itype {
constexpr InstrumentType kUnknown = 0;
constexpr InstrumentType kPir7 = 1;
constexpr InstrumentType kJov7 = 2;
constexpr InstrumentType kKel7 = 3;
constexpr InstrumentType kFlin7 = 4;
constexpr InstrumentType kZeb7 = 5;
constexpr InstrumentType kHusk7 = 6;
constexpr InstrumentType kLop7 = 7;
constexpr InstrumentType kVum7 = 8;
constexpr InstrumentType kTig7 = 9;
constexpr InstrumentType kYax7 = 10;
constexpr InstrumentType kKel7RecipeBatcher = 11;
} // namespace itype

// The limits of this program's set-up model: instruments beyond them are refused.
constexpr int kSupportedSetupVersion = 1310;
constexpr int kMaxStringSetupValues = 54;
constexpr int kMaxNormalSetupValues = 159;
constexpr int kMaxSpecialSetupValues = 20;

// Raw code (2001-2011) to type; anything else is 0.
InstrumentType InstrumentTypeFromCode(int rawCode);
// The type the lists show: a KEL 7 running set-up version 1310 becomes "KEL 7 Recipe Batcher".
InstrumentType InstrumentTypeWithVersion(int rawCode, int setupVersion);
// The model name; "??????" and false for 0 or anything outside 1-11.
bool InstrumentTypeName(InstrumentType type, std::string& name);
std::string InstrumentTypeName(InstrumentType type);

// The identification block (registers 40200-40208 and 40370-40396). The first four entries are
// kept as floats, the others truncated to integers. All zero when cleared.
struct InstrumentInfo {
    float rawTypeCode = 0.0f;
    InstrumentType type = itype::kUnknown;
    float programNumber = 0.0f;
    float programVersion = 0.0f;
    float serialNumber = 0.0f;
    int options = 0;
    int firstBatchRegister = 0;
    int batchCount = 0;
    int firstStringRegister = 0;
    int stringCount = 0;
    int firstNormalRegister = 0;
    int normalCount = 0;
    int firstSpecialRegister = 0;
    int specialCount = 0;
    int setupVersion = 0;
    int setupDataVersion = 0;

    void Clear() { *this = InstrumentInfo(); }
    bool BatchingEnabled() const { return (options & 0x10) != 0; } // option bit 4
};

// One line of the identification block as it is listed to the user and written to a backup file,
// in that order: type, program number, program version, serial number, options, batch, string,
// normal, special, set-up version, set-up data version.
struct InstrumentInfoLine {
    int reg;           // 40200 ... 40396
    int labelId;       // 11000 ... 11014
    double value;      // the value as it travels (the raw code for the type)
    std::string label; // "Instrument type:", ...
    std::string text;  // the value as shown: type name, "%.0f", serial-number format, "%d"
};
std::vector<InstrumentInfoLine> InstrumentInfoLines(const InstrumentInfo& info);

// Reads register 40001 (3 retries, retry box on). On a bus failure shows it, sets type 0 and
// returns false; otherwise true with the mapped type (which may be 0).
bool ReadInstrumentType(ModbusMaster& bus, int address, Prompter* owner, InstrumentType& type);

// Clears info, reads 5 floats from 40200 and 15 from 40370 (2 retries, retry box on). An unknown
// type stops after the first read and still succeeds. A bus failure is shown and gives false.
bool ReadInstrumentInfo(ModbusMaster& bus, int address, Prompter* owner, InstrumentInfo& info);

// Where LoadInstrumentInfoFromRecords takes its records from: the identification section of a
// set-up file. Results are set-up file status codes (0 success, 11 end line of the section, 9 not
// a valid set-up file, others are the file's own failures).
class SetupRecordReader {
public:
    static constexpr int kOk = 0;
    static constexpr int kNotValidFile = 9;
    static constexpr int kEndOfSection = 11;
    static constexpr int kIdentificationSection = 3; // "INSTR_ID"

    virtual ~SetupRecordReader() = default;
    // Positions the reader after the marker line of the section.
    virtual int FindSection(int sectionId, Prompter* owner) = 0;
    // The next value line of the current section: its register and value.
    virtual int ReadRegisterValue(int& reg, float& value, Prompter* owner) = 0;
    virtual std::string FileName() const = 0;
};

// Fills info from the identification section. Returns 0, 9 for content that is not a valid
// identification block (unknown type, a required register missing or repeated), or the reader's
// own failure. On failure with showMessages: "Selected file is not a valid set-up file\n(<file>)".
int LoadInstrumentInfoFromRecords(SetupRecordReader& reader, InstrumentInfo& info,
                                  bool showMessages, Prompter& owner);

// The compatibility check before set-up editing, backup and restore: resets setup, reads its
// identification block, refuses anything that is not a KEL 7 of set-up version 1310 within the
// model's sizes (error box: prefix + reason) and on success remembers the address in setup.
bool CheckConnectedInstrument(ModbusMaster& bus, InstrumentSetup& setup, int address,
                              const std::string& prefix, Prompter* owner);
// The same refusals for an identification block read from elsewhere (a set-up file).
bool CheckSetupInfo(const InstrumentInfo& info, const std::string& prefix, Prompter& box);

// Serial number: at least six digits, zero-filled, with "-" before the last four (01-2345).
std::string FormatSerialNumber(double value);
// The same from two registers (high word first) as an unsigned 32-bit number.
std::string FormatSerialNumber(uint16_t high, uint16_t low);

// Why a backup of this type is refused ("" when it is not refused by its type): PIR 7, JOV 7 and
// YAX 7 have their own texts.
std::string BackupRefusalText(InstrumentType type);

// May the instrument panel open for this instrument? Shows the refusal itself (exclamation icon
// from the polled list, information icon from the "Select instrument" dialog, no icon for the
// JOV 7 text). From the dialog a KEL 7 needs its set-up version (one float from 40394, 1 retry);
// a failed read there shows nothing further and refuses. Any other type (I/O modules, unknown)
// is refused without a message.
bool MayOpenPanel(ModbusMaster& bus, int address, InstrumentType type, bool fromPolledList,
                  Prompter* owner);

} // namespace quarnex
