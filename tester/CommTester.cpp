#include "tester/CommTester.h"

#include "instrument/Commands.h"
#include "instrument/ValueFormat.h"
#include "platform/Prompter.h"
#include "res/InstrumentTextIds.h"
#include "res/Strings.h"
#include "res/TesterTextIds.h"

#include <cctype>
#include <charconv>
#include <climits>

namespace quarnex {

namespace {

// Row labels by data type; 0 leaves the row empty and hidden.
constexpr int kSendLabels[CommTester::kDataTypeCount][CommTester::kRows] = {
    {ids::kTesterRegister1, 0, 0},
    {ids::kTesterRegister1, ids::kTesterRegister2, ids::kTesterRegister3},
    {ids::kTesterInteger, ids::kTesterDecimals, 0},
    {ids::kTesterFloat, 0, 0},
    {ids::kTesterModiconFloat, 0, 0},
};
constexpr int kGetLabels[CommTester::kDataTypeCount][CommTester::kRows] = {
    {ids::kTesterRegister1, ids::kTesterRegister1Hex, ids::kTesterRegister1Bin},
    {ids::kTesterRegister1, ids::kTesterRegister2, ids::kTesterRegister3},
    {ids::kTesterInteger, ids::kTesterDecimals, 0},
    {ids::kTesterFloat, 0, 0},
    {ids::kTesterModiconFloat, 0, 0},
};

// Digits read before a number counts as too long for any field (it would overflow int64).
constexpr int kMaxDigits = 18;

// Parses blanks, an optional sign and decimal digits from text[pos]; pos ends after the digits.
// False when there is no digit; tooLong when the digits do not fit any field's range.
bool LeadingInteger(const std::string& text, size_t& pos, int64_t& value, bool& tooLong) {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    const size_t first = pos;
    int64_t v = 0;
    tooLong = false;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        if (pos - first >= kMaxDigits)
            tooLong = true;
        else
            v = v * 10 + (text[pos] - '0');
        ++pos;
    }
    value = negative ? -v : v;
    return pos > first;
}

// A whole-number dialog field: blanks around an integer, nothing else, within [min, max].
bool FieldInteger(const std::string& text, int64_t min, int64_t max, int& value) {
    size_t pos = 0;
    int64_t v = 0;
    bool tooLong = false;
    if (!LeadingInteger(text, pos, v, tooLong) || tooLong)
        return false;
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    if (pos != text.size() || v < min || v > max)
        return false;
    value = static_cast<int>(v);
    return true;
}

} // namespace

CommTester::CommTester(ModbusMaster& bus, Prompter& prompter) : bus_(bus), prompter_(prompter) {}

std::string CommTester::SendLabel(int row) const {
    if (row < 0 || row >= kRows)
        return {};
    const int id = kSendLabels[type_][row];
    return id ? Text(id) : std::string();
}

std::string CommTester::GetLabel(int row) const {
    if (row < 0 || row >= kRows)
        return {};
    const int id = kGetLabels[type_][row];
    return id ? Text(id) : std::string();
}

bool CommTester::Refuse(Field field, const std::string& prompt) {
    refused_ = field;
    prompter_.Exclamation(prompt);
    return false;
}

bool CommTester::ReadFields() {
    refused_ = Field::None;
    // In the order of the dialog's fields; the first refusal stops the others.
    int address = 0, coil = 0, sendStart = 0, getStart = 0;
    if (!FieldInteger(fields.address, kMinAddress, kMaxAddress, address))
        return Refuse(Field::Address,
                      FormatText(Text(ids::kIntegerRangePrompt),
                                 {std::to_string(kMinAddress), std::to_string(kMaxAddress)}));
    if (!FieldInteger(fields.coil, INT16_MIN, INT16_MAX, coil))
        return Refuse(Field::Coil, Text(ids::kEnterInteger));
    if (!FieldInteger(fields.sendStart, INT_MIN, INT_MAX, sendStart))
        return Refuse(Field::SendStart, Text(ids::kEnterInteger));
    if (!FieldInteger(fields.getStart, INT_MIN, INT_MAX, getStart))
        return Refuse(Field::GetStart, Text(ids::kEnterInteger));
    address_ = address;
    coil_ = coil;
    sendStart_ = sendStart;
    getStart_ = getStart;
    return true;
}

bool CommTester::SelectDataType(int type) {
    if (type < 0 || type >= kDataTypeCount || !ReadFields())
        return false;
    type_ = static_cast<DataType>(type);
    fields.get = {"0", "0", "0"};
    return true;
}

void CommTester::Report(CommStatus status) {
    // Receive, no-answer and checksum failures were offered in the Retry/Cancel box already.
    bus_.ReportLinkError(status, {}, true, &prompter_);
    bus_.ReportExceptionError(status, {}, &prompter_);
}

void CommTester::ShowGetFailure() {
    for (int row = 0; row < kRows; ++row)
        if (GetRowVisible(row))
            fields.get[row] = placeholder::kSetupValue;
}

void CommTester::GetData() {
    if (!ReadFields())
        return;
    WaitCursor wait(prompter_);
    const int slave = address_, start = getStart_;
    CommStatus status = CommStatus::Ok;
    switch (type_) {
    case kOneRegister: {
        uint16_t reg = 0;
        status = bus_.ReadHoldingRegisters(slave, start, 1, &reg, Options());
        if (Succeeded(status))
            fields.get = {std::to_string(static_cast<int16_t>(reg)), HexText(reg), BitPattern(reg)};
        break;
    }
    case kThreeRegisters: {
        uint16_t regs[kRows] = {};
        status = bus_.ReadHoldingRegisters(slave, start, kRows, regs, Options());
        if (Succeeded(status))
            for (int row = 0; row < kRows; ++row)
                fields.get[row] = std::to_string(static_cast<int16_t>(regs[row]));
        break;
    }
    case kScaledInteger: {
        uint16_t regs[3] = {};
        status = bus_.ReadHoldingRegisters(slave, start, 3, regs, Options());
        if (Succeeded(status)) {
            fields.get[0] = std::to_string(RegistersToInt32(regs[0], regs[1]));
            fields.get[1] = std::to_string(static_cast<int16_t>(regs[2]));
        }
        break;
    }
    case kFloat:
    case kModiconFloat: {
        float value = 0.0f;
        status = type_ == kFloat
                     ? bus_.ReadFloatRegisters(slave, start, 1, &value, Options())
                     : bus_.ReadModiconFloatRegisters(slave, start, 1, &value, Options());
        if (Succeeded(status))
            fields.get[0] = FloatText(value);
        break;
    }
    case kDataTypeCount:
        return;
    }
    if (!Succeeded(status)) {
        ShowGetFailure();
        Report(status);
    }
}

bool CommTester::ParseSendValue(int row, int64_t min, int64_t max, int64_t& value) {
    if (ParseInteger(fields.send[row], min, max, prompter_, value))
        return true;
    refused_ = static_cast<Field>(static_cast<int>(Field::Send1) + row);
    return false;
}

bool CommTester::ParseSendFloat(float& value) {
    double parsed = 0.0;
    if (!ParseEnteredValue(fields.send[0], prompter_, parsed)) {
        refused_ = Field::Send1;
        return false;
    }
    value = static_cast<float>(parsed);
    // The field shows the value as it goes to the instrument.
    fields.send[0] = FloatText(value);
    return true;
}

void CommTester::SendData() {
    if (!ReadFields())
        return;
    const int slave = address_, start = sendStart_;
    CommStatus status = CommStatus::Ok;
    switch (type_) {
    case kOneRegister: {
        int64_t value = 0;
        if (!ParseSendValue(0, INT16_MIN, INT16_MAX, value))
            return;
        WaitCursor wait(prompter_);
        status = bus_.WriteSingleRegister(slave, start, static_cast<uint16_t>(value), Options());
        break;
    }
    case kThreeRegisters: {
        uint16_t regs[kRows] = {};
        for (int row = 0; row < kRows; ++row) {
            int64_t value = 0;
            if (!ParseSendValue(row, INT16_MIN, INT16_MAX, value))
                return;
            regs[row] = static_cast<uint16_t>(value);
        }
        WaitCursor wait(prompter_);
        status = bus_.WriteMultipleRegisters(slave, start, kRows, regs, Options());
        break;
    }
    case kScaledInteger: {
        int64_t value = 0, decimals = 0;
        if (!ParseSendValue(0, INT32_MIN, INT32_MAX, value) ||
            !ParseSendValue(1, INT16_MIN, INT16_MAX, decimals))
            return;
        const uint32_t bits = static_cast<uint32_t>(static_cast<int32_t>(value));
        const uint16_t regs[3] = {static_cast<uint16_t>(bits >> 16),
                                  static_cast<uint16_t>(bits & 0xFFFF),
                                  static_cast<uint16_t>(decimals)};
        WaitCursor wait(prompter_);
        status = bus_.WriteMultipleRegisters(slave, start, 3, regs, Options());
        break;
    }
    case kFloat:
    case kModiconFloat: {
        float value = 0.0f;
        if (!ParseSendFloat(value))
            return;
        WaitCursor wait(prompter_);
        status = type_ == kFloat
                     ? bus_.WriteFloatRegisters(slave, start, 1, &value, Options())
                     : bus_.WriteModiconFloatRegisters(slave, start, 1, &value, Options());
        break;
    }
    case kDataTypeCount:
        return;
    }
    if (!Succeeded(status))
        Report(status);
}

void CommTester::SetCoil(bool on) {
    if (!ReadFields())
        return;
    CommStatus status = CommStatus::Ok;
    {
        WaitCursor wait(prompter_);
        status = bus_.WriteSingleCoil(address_, coil_, on, Options());
    }
    if (!Succeeded(status))
        Report(status);
}

bool CommTester::ParseInteger(const std::string& text, int64_t min, int64_t max, Prompter& prompter,
                              int64_t& value) {
    value = 0;
    if (text.empty())
        return true;
    size_t pos = 0;
    int64_t v = 0;
    bool tooLong = false;
    if (!LeadingInteger(text, pos, v, tooLong) || pos != text.size()) {
        prompter.Error(Text(ids::kIllegalCharacter));
        return false;
    }
    if (tooLong || v < min || v > max) {
        prompter.Error(Text(ids::kValueOutOfRange));
        return false;
    }
    value = v;
    return true;
}

std::string CommTester::HexText(uint16_t reg) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text(4, '0');
    for (int i = 3; i >= 0; --i, reg = static_cast<uint16_t>(reg >> 4))
        text[static_cast<size_t>(i)] = digits[reg & 0xF];
    return text;
}

std::string CommTester::BitPattern(uint16_t reg) {
    std::string text;
    for (int bit = 15; bit >= 0; --bit) {
        text += (reg >> bit) & 1 ? '1' : '0';
        if (bit % 4 == 0 && bit != 0)
            text += ' ';
    }
    return text;
}

std::string CommTester::FloatText(double value) {
    // std::to_chars ignores the locale the windowing toolkit sets, so the point stays a point
    // and the text can be sent again as typed.
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("??????");
}

} // namespace quarnex
