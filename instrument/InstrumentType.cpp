#include "instrument/InstrumentType.h"

#include "comm/ModbusMaster.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/Registers.h"
#include "instrument/ValueFormat.h"
#include "res/InstrumentTextIds.h"
#include "res/Strings.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace quarnex {

namespace {

// Raw codes 2001-2011 in order; 2005 is not a model of this family.
constexpr InstrumentType kTypeOfCode[] = {
    itype::kPir7, itype::kJov7,  itype::kKel7, itype::kYax7, itype::kUnknown, itype::kFlin7,
    itype::kZeb7, itype::kHusk7, itype::kLop7, itype::kVum7, itype::kTig7};
// Name string of types 1-11.
constexpr int kNameOfType[] = {200, 202, 201, 203, 204, 205, 206, 207, 208, 209, 210};

Prompter& Box(ModbusMaster& bus, Prompter* owner) {
    return owner ? *owner : bus.DefaultPrompter();
}

void ReportBusFailure(ModbusMaster& bus, CommStatus result, Prompter* owner) {
    bus.ReportLinkError(result, {}, false, owner);
    bus.ReportExceptionError(result, {}, owner);
}

// Floats of the identification block that hold whole numbers. A value that is no number or
// beyond int (a damaged block) becomes 0 rather than undefined behaviour.
int Truncate(float value) {
    if (!std::isfinite(value) || std::fabs(value) >= 2147483520.0f)
        return 0;
    return static_cast<int>(value);
}

int TypeFromFloat(float rawCode) {
    return std::isfinite(rawCode) && std::fabs(rawCode) < 100000.0f
               ? InstrumentTypeFromCode(static_cast<int>(rawCode))
               : itype::kUnknown;
}

std::string DashedSerial(std::string digits) {
    if (digits.size() > 4)
        digits.insert(digits.size() - 4, "-");
    return digits;
}

std::string Printf(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

} // namespace

InstrumentType InstrumentTypeFromCode(int rawCode) {
    if (rawCode < 2001 || rawCode > 2011)
        return itype::kUnknown;
    return kTypeOfCode[rawCode - 2001];
}

InstrumentType InstrumentTypeWithVersion(int rawCode, int setupVersion) {
    const InstrumentType type = InstrumentTypeFromCode(rawCode);
    return type == itype::kKel7 && setupVersion == kSupportedSetupVersion
               ? itype::kKel7RecipeBatcher
               : type;
}

bool InstrumentTypeName(InstrumentType type, std::string& name) {
    if (type < 1 || type > 11) {
        name = placeholder::kTypeName;
        return false;
    }
    name = Text(kNameOfType[type - 1]);
    return true;
}

std::string InstrumentTypeName(InstrumentType type) {
    std::string name;
    InstrumentTypeName(type, name);
    return name;
}

std::vector<InstrumentInfoLine> InstrumentInfoLines(const InstrumentInfo& info) {
    auto line = [](int reg, int labelOffset, double value, std::string text) {
        return InstrumentInfoLine{reg, ids::kInfoLabelFirst + labelOffset, value,
                                  Text(ids::kInfoLabelFirst + labelOffset), std::move(text)};
    };
    auto integer = [&](int reg, int labelOffset, int value) {
        return line(reg, labelOffset, value, std::to_string(value));
    };
    return {
        line(reg::kIdentTypeCode, 0, info.rawTypeCode, InstrumentTypeName(info.type)),
        line(reg::kProgramNumber, 1, info.programNumber, Printf("%.0f", info.programNumber)),
        line(reg::kProgramVersion, 2, info.programVersion, Printf("%.0f", info.programVersion)),
        line(reg::kSerialNumber, 3, info.serialNumber, FormatSerialNumber(info.serialNumber)),
        integer(reg::kOptions, 14, info.options),
        integer(reg::kFirstBatchRegister, 12, info.firstBatchRegister),
        integer(reg::kBatchCount, 13, info.batchCount),
        integer(reg::kFirstStringRegister, 10, info.firstStringRegister),
        integer(reg::kStringCount, 11, info.stringCount),
        integer(reg::kFirstNormalRegister, 4, info.firstNormalRegister),
        integer(reg::kNormalCount, 5, info.normalCount),
        integer(reg::kFirstSpecialRegister, 6, info.firstSpecialRegister),
        integer(reg::kSpecialCount, 7, info.specialCount),
        integer(reg::kSetupVersion, 8, info.setupVersion),
        integer(reg::kSetupDataVersion, 9, info.setupDataVersion),
    };
}

bool ReadInstrumentType(ModbusMaster& bus, int address, Prompter* owner, InstrumentType& type) {
    uint16_t code = 0;
    const CommStatus result = bus.ReadHoldingRegisters(
        address, reg::kTypeCode, 1, &code, {.retries = 3, .showRetryBox = true, .owner = owner});
    if (result != CommStatus::Ok) {
        ReportBusFailure(bus, result, owner);
        type = itype::kUnknown;
        return false;
    }
    type = InstrumentTypeFromCode(code);
    return true;
}

namespace {

// Stores one identification value by its register; false for a register outside the block.
bool StoreInfoValue(InstrumentInfo& info, int reg, float value) {
    switch (reg) {
    case reg::kIdentTypeCode:
        info.rawTypeCode = value;
        info.type = TypeFromFloat(value);
        return true;
    case reg::kProgramNumber:
        info.programNumber = value;
        return true;
    case reg::kProgramVersion:
        info.programVersion = value;
        return true;
    case reg::kSerialNumber:
        info.serialNumber = value;
        return true;
    case reg::kOptions:
        info.options = Truncate(value);
        return true;
    case reg::kFirstBatchRegister:
        info.firstBatchRegister = Truncate(value);
        return true;
    case reg::kBatchCount:
        info.batchCount = Truncate(value);
        return true;
    case reg::kFirstStringRegister:
        info.firstStringRegister = Truncate(value);
        return true;
    case reg::kStringCount:
        info.stringCount = Truncate(value);
        return true;
    case reg::kFirstNormalRegister:
        info.firstNormalRegister = Truncate(value);
        return true;
    case reg::kNormalCount:
        info.normalCount = Truncate(value);
        return true;
    case reg::kFirstSpecialRegister:
        info.firstSpecialRegister = Truncate(value);
        return true;
    case reg::kSpecialCount:
        info.specialCount = Truncate(value);
        return true;
    case reg::kSetupVersion:
        info.setupVersion = Truncate(value);
        return true;
    case reg::kSetupDataVersion:
        info.setupDataVersion = Truncate(value);
        return true;
    default:
        return false;
    }
}

// The fifteen registers of the block, in listing order.
constexpr int kInfoRegisters[] = {reg::kIdentTypeCode,   reg::kProgramNumber,
                                  reg::kProgramVersion,  reg::kSerialNumber,
                                  reg::kOptions,         reg::kFirstBatchRegister,
                                  reg::kBatchCount,      reg::kFirstStringRegister,
                                  reg::kStringCount,     reg::kFirstNormalRegister,
                                  reg::kNormalCount,     reg::kFirstSpecialRegister,
                                  reg::kSpecialCount,    reg::kSetupVersion,
                                  reg::kSetupDataVersion};

} // namespace

bool ReadInstrumentInfo(ModbusMaster& bus, int address, Prompter* owner, InstrumentInfo& info) {
    info.Clear();
    float head[reg::kIdentBlockFloats] = {};
    CommStatus result =
        bus.ReadFloatRegisters(address, reg::kIdentBlock, reg::kIdentBlockFloats, head,
                               {.retries = 2, .showRetryBox = true, .owner = owner});
    if (result != CommStatus::Ok) {
        ReportBusFailure(bus, result, owner);
        return false;
    }
    for (int i = 0; i < reg::kIdentBlockFloats; ++i)
        StoreInfoValue(info, reg::kIdentBlock + 2 * i, head[i]);
    if (info.type == itype::kUnknown) {
        // Not one of the family: nothing else of the block means anything.
        info.Clear();
        return true;
    }
    float tail[reg::kIdentExtensionFloats] = {};
    result = bus.ReadFloatRegisters(address, reg::kIdentExtension, reg::kIdentExtensionFloats, tail,
                                    {.retries = 2, .showRetryBox = true, .owner = owner});
    if (result != CommStatus::Ok) {
        info.Clear(); // no partly read block is used
        ReportBusFailure(bus, result, owner);
        return false;
    }
    for (int i = 0; i < reg::kIdentExtensionFloats; ++i)
        StoreInfoValue(info, reg::kIdentExtension + 2 * i, tail[i]);
    return true;
}

int LoadInstrumentInfoFromRecords(SetupRecordReader& reader, InstrumentInfo& info,
                                  bool showMessages, Prompter& owner) {
    info.Clear();
    int seen[std::size(kInfoRegisters)] = {};
    int result = reader.FindSection(SetupRecordReader::kIdentificationSection, &owner);
    while (result == SetupRecordReader::kOk) {
        int reg = 0;
        float value = 0.0f;
        result = reader.ReadRegisterValue(reg, value, &owner);
        if (result == SetupRecordReader::kEndOfSection) {
            result = SetupRecordReader::kOk;
            break;
        }
        if (result != SetupRecordReader::kOk)
            break;
        if (!StoreInfoValue(info, reg, value))
            continue;
        for (size_t i = 0; i < std::size(kInfoRegisters); ++i)
            if (kInfoRegisters[i] == reg)
                ++seen[i];
        if (reg == reg::kIdentTypeCode && info.type == itype::kUnknown)
            result = SetupRecordReader::kNotValidFile;
    }
    if (result == SetupRecordReader::kOk) {
        // A PIR 7 block has no batch and string registers and no options.
        for (size_t i = 0; i < std::size(kInfoRegisters); ++i) {
            const int r = kInfoRegisters[i];
            const bool optional =
                info.type == itype::kPir7 && r >= reg::kOptions && r <= reg::kStringCount;
            if (optional ? seen[i] > 1 : seen[i] != 1)
                result = SetupRecordReader::kNotValidFile;
        }
    }
    if (result != SetupRecordReader::kOk) {
        info.Clear();
        if (showMessages)
            owner.Error(Text(ids::kNotValidSetupFile) + "\n(" + reader.FileName() + ")");
    }
    return result;
}

bool CheckConnectedInstrument(ModbusMaster& bus, InstrumentSetup& setup, int address,
                              const std::string& prefix, Prompter* owner) {
    setup.Reset();
    Prompter& box = Box(bus, owner);
    if (!ReadInstrumentInfo(bus, address, owner, setup.MutableInfo())) {
        box.Error(prefix + Text(ids::kCommunicationErrorShort));
        return false;
    }
    if (!CheckSetupInfo(setup.Info(), prefix, box))
        return false;
    setup.SetAddress(address);
    return true;
}

bool CheckSetupInfo(const InstrumentInfo& info, const std::string& prefix, Prompter& box) {
    if (info.type != itype::kKel7) {
        box.Error(prefix + Text(ids::kNotKel7));
        return false;
    }
    if (info.setupVersion != kSupportedSetupVersion || info.stringCount > kMaxStringSetupValues ||
        info.normalCount > kMaxNormalSetupValues || info.specialCount > kMaxSpecialSetupValues ||
        info.stringCount < 0 || info.normalCount < 0 || info.specialCount < 0) {
        box.Error(prefix + Text(ids::kNotCompatible));
        return false;
    }
    return true;
}

std::string FormatSerialNumber(double value) {
    return DashedSerial(Printf("%06.0f", value));
}

std::string FormatSerialNumber(uint16_t high, uint16_t low) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%06u", (static_cast<unsigned>(high) << 16) | low);
    return DashedSerial(buffer);
}

std::string BackupRefusalText(InstrumentType type) {
    switch (type) {
    case itype::kPir7:
        return Text(ids::kPir7NotSupported);
    case itype::kJov7:
        return Text(ids::kJov7NotImplemented);
    case itype::kYax7:
        return Text(ids::kYax7NotSupported);
    default:
        return {};
    }
}

bool MayOpenPanel(ModbusMaster& bus, int address, InstrumentType type, bool fromPolledList,
                  Prompter* owner) {
    Prompter& box = Box(bus, owner);
    // Only the weighing models have a panel or a refusal text; an I/O module, an unknown type or
    // (from the dialog, which reads the raw type) a derived type has nothing to open or to say.
    const bool named = type == itype::kPir7 || type == itype::kJov7 || type == itype::kKel7 ||
                       type == itype::kYax7 ||
                       (fromPolledList && type == itype::kKel7RecipeBatcher);
    if (!named)
        return false;
    if (type == itype::kJov7) {
        box.Message(Prompter::Icon::None, Text(ids::kJov7NotImplemented));
        return false;
    }
    if (fromPolledList) {
        if (type == itype::kKel7RecipeBatcher)
            return true;
        box.Exclamation(Text(ids::kPanelNotSupported));
        return false;
    }
    if (type == itype::kKel7) {
        float version = 0.0f;
        const CommStatus result =
            bus.ReadFloatRegisters(address, reg::kSetupVersion, 1, &version,
                                   {.retries = 1, .showRetryBox = true, .owner = owner});
        if (result != CommStatus::Ok)
            return false; // the retry box has had its say
        if (Truncate(version) == kSupportedSetupVersion)
            return true;
    }
    box.Information(Text(ids::kPanelNotSupported));
    return false;
}

} // namespace quarnex
