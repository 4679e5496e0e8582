#pragma once

#include "comm/ModbusMaster.h"

#include <array>
#include <cstdint>
#include <string>

namespace quarnex {

class Prompter;

// The "Communication tester" dialog without its window: read and write any holding register and
// set or clear any coil of any slave by hand, in five number formats. The window copies its
// edit fields into `fields` before each call and shows `fields`, the labels and the visible rows
// afterwards. Every typed value is checked before a request is built; a refused value shows its
// box and nothing goes on the bus.
class CommTester {
public:
    enum DataType {
        kOneRegister,    // one register, signed, with hex and bit pattern on the get side
        kThreeRegisters, // three registers, signed
        kScaledInteger,  // 32-bit integer (high word first) and a decimals register
        kFloat,          // IEEE float, high word first
        kModiconFloat,   // IEEE float, low word first
        kDataTypeCount
    };
    static constexpr int kRows = 3;
    // Every request of the tester is repeated twice and then offered in the Retry/Cancel box.
    static constexpr int kRetries = 2;
    static constexpr int kMinAddress = 1;
    static constexpr int kMaxAddress = 247;

    // The fields as typed (the get values are written by the tester only).
    struct Fields {
        std::string address = "1";
        std::string coil = "0";
        std::string sendStart = "40001";
        std::array<std::string, kRows> send = {"0", "0", "0"};
        std::string getStart = "40001";
        std::array<std::string, kRows> get = {"0", "0", "0"};
    };
    // The field a check refused, for the window to put the focus back on.
    enum class Field { None, Address, Coil, SendStart, GetStart, Send1, Send2, Send3 };

    // prompter: the boxes go there, and the bus's Retry/Cancel box too.
    CommTester(ModbusMaster& bus, Prompter& prompter);

    Fields fields;

    DataType Type() const { return type_; }
    // The row labels of the current data type; an empty label means the row is hidden.
    std::string SendLabel(int row) const;
    std::string GetLabel(int row) const;
    bool SendRowVisible(int row) const { return !SendLabel(row).empty(); }
    bool GetRowVisible(int row) const { return !GetLabel(row).empty(); }

    // Reads the address, coil and start register fields back, as every button and leaving the
    // address field do. On a refusal the prompt has been shown and false comes back.
    bool ReadFields();
    // Chooses another data type when the fields read back; the get values return to "0".
    bool SelectDataType(int type);
    // The buttons. Each reads the fields back first and does nothing more when that fails.
    void GetData();
    void SendData();
    void SetCoil(bool on);

    // The field the last refusal was about (None after a success).
    Field RefusedField() const { return refused_; }
    // Values read back by the last successful ReadFields.
    int Address() const { return address_; }
    int Coil() const { return coil_; }
    int SendStart() const { return sendStart_; }
    int GetStart() const { return getStart_; }

    // A whole number as the send fields take it: leading blanks, an optional sign, decimal
    // digits and nothing after them; an empty field is 0. Shows "Illegal character in entered
    // value." or "Entered value out of range." and returns false on a refusal.
    static bool ParseInteger(const std::string& text, int64_t min, int64_t max, Prompter& prompter,
                             int64_t& value);
    // A register as the get side shows it in the hex and the binary row.
    static std::string HexText(uint16_t reg);
    static std::string BitPattern(uint16_t reg);
    // "%f", with a point whatever the user's locale.
    static std::string FloatText(double value);

private:
    bool Refuse(Field field, const std::string& prompt);
    bool ParseSendValue(int row, int64_t min, int64_t max, int64_t& value);
    bool ParseSendFloat(float& value);
    void ShowGetFailure();
    bool Succeeded(CommStatus status) const { return status == CommStatus::Ok; }
    TransactionOptions Options() const {
        return {.retries = kRetries, .showRetryBox = true, .owner = &prompter_};
    }
    void Report(CommStatus status);

    ModbusMaster& bus_;
    Prompter& prompter_;
    DataType type_ = kOneRegister;
    Field refused_ = Field::None;
    int address_ = 1;
    int coil_ = 0;
    int sendStart_ = ModbusMaster::kFirstRegister;
    int getStart_ = ModbusMaster::kFirstRegister;
};

} // namespace quarnex
