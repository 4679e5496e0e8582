#pragma once

#include "edit/ValueTarget.h"
#include "instrument/InstrumentType.h"
#include "platform/Prompter.h"

#include <memory>
#include <string>
#include <vector>

namespace quarnex {

class InstrumentSetup;
class ModbusMaster;

// The value-entry dialogs without their windows. Each writes one value straight to the
// instrument, or to the target it was given (a set-up held in memory); a dialog closes with OK
// only after the value was taken, so its caller refreshes its copy exactly when it changed. Every
// button returns what the window does next.
enum class EntryResult {
    StayOpen, // a typing error or a refused write (already shown): the focus goes back to the edit
    Accepted, // close with OK
    Rejected, // close as cancelled
};

// What every member knows: where the value goes, the register and the caption.
class ValueEntry {
public:
    // The instrument at address on the bus: the members that measure on it (adjustment, shunt).
    ValueEntry(ModbusMaster& bus, int address, int reg, std::string caption, Prompter& prompter);
    // Where the others write (address 0): the instrument or a set-up copy, as the set-up source
    // decides.
    ValueEntry(ValueTarget& target, int reg, std::string caption, Prompter& prompter);
    virtual ~ValueEntry() = default;

    const std::string& Caption() const { return caption_; }
    int Address() const { return address_; }
    int Register() const { return reg_; }

    // A selector value written (as a float) to its register before the value: the batching and
    // recipe editors page their windows with it.
    void SetSelector(int selectorRegister, double selectorValue);
    bool HasSelector() const { return selectorRegister_ != 0; }
    // An extra receive time-out for the value's write: the instrument answers a calibration point
    // or a zero setting only after it has measured.
    void SetExtraTimeout(int ms) { extraTimeout_ = ms; }
    int ExtraTimeout() const { return extraTimeout_; }

protected:
    // Selector (when set) then the value, with the wait cursor; false when either was refused.
    bool WriteWithSelector(double value);

    std::unique_ptr<ValueTarget> busTarget_; // made for the bus form
    ValueTarget& target_;
    ModbusMaster* bus_; // null for a target other than the bus
    int address_;
    int reg_;
    std::string caption_;
    Prompter& prompter_;
    int selectorRegister_ = 0;
    double selectorValue_ = 0.0;
    int extraTimeout_ = 0;
};

// A number: the base member, and with a selector the batching and recipe editors' member.
class NumericEntry : public ValueEntry {
public:
    NumericEntry(ValueTarget& target, int reg, std::string caption, std::string initialText,
                 Prompter& prompter);

    const std::string& InitialText() const { return initialText_; }
    // A value with more decimals than this is refused with a message (-1: any).
    void LimitDecimals(int decimals) { decimals_ = decimals; }
    // OK with the edit's text: parse, write, close on success.
    EntryResult Ok(const std::string& text);
    EntryResult Cancel() { return EntryResult::Rejected; }
    // The value written by the last successful OK.
    double Value() const { return value_; }

private:
    std::string initialText_;
    int decimals_ = -1;
    double value_ = 0.0;
};

// A choice from a list of strings (string IDs first ... final, in order): the index is written.
class ChoiceEntry : public ValueEntry {
public:
    ChoiceEntry(ValueTarget& target, int reg, std::string caption, int firstId, int finalId,
                int currentIndex, Prompter& prompter);

    // A Yes/No question asked before the write; No closes with OK without writing (the caller's
    // re-read then shows the unchanged value).
    void SetConfirmation(std::string question) { question_ = std::move(question); }

    const std::vector<std::string>& Items() const { return items_; }
    // The entry preselected (-1 when the current value is outside the list).
    int Preselected() const { return preselected_; }
    EntryResult Ok(int selectedIndex);
    EntryResult Cancel() { return EntryResult::Rejected; }
    // The value written by the last successful OK.
    double Value() const { return value_; }

protected:
    // For members whose entries stand for values other than their index.
    ChoiceEntry(ValueTarget& target, int reg, std::string caption, Prompter& prompter);
    virtual double ValueOf(int index) const { return index; }
    // The list of string IDs firstId ... finalId, currentIndex preselected when it is in it.
    void FillFromTexts(int firstId, int finalId, int currentIndex);

    std::vector<std::string> items_;
    int preselected_ = -1;
    std::string question_;
    double value_ = 0.0;
};

// One activity of the batching set-up as the recipe editor lists it.
struct ActivityEntry {
    int number = 0;    // 1-24
    double type = 0.0; // "Activity type:", 0 = not used
    std::string name;  // the activity name (12 characters)
};

// The activity of a recipe step: "00:---" and every activity that is in use.
class ActivityChoiceEntry : public ChoiceEntry {
public:
    ActivityChoiceEntry(ValueTarget& target, int reg, std::string caption,
                        const std::vector<ActivityEntry>& activities, int currentActivity,
                        Prompter& prompter);

    // The 24 activities of a set-up copy (type and name).
    static std::vector<ActivityEntry> ActivitiesOf(const InstrumentSetup& setup);
    // The activity number of each list entry (0 for "00:---").
    const std::vector<int>& Numbers() const { return numbers_; }

protected:
    double ValueOf(int index) const override { return numbers_[static_cast<size_t>(index)]; }

private:
    void Fill(const std::vector<ActivityEntry>& activities, int currentActivity);

    std::vector<int> numbers_;
};

// The analogue outputs' adjustment: an integer written at once and on "Apply now"; closing
// writes 0.0 to the second register, which ends the adjustment in the instrument.
class AdjustmentEntry : public ValueEntry {
public:
    AdjustmentEntry(ModbusMaster& bus, int address, int reg, int endRegister, std::string caption,
                    int initialValue, Prompter& prompter);

    // Writes the initial value. False (already shown) means the dialog must not open.
    bool Create();

    int InitialValue() const { return initialValue_; }
    // The edit changed: the value is pending and "Apply now" is enabled.
    void Edited();
    bool ApplyEnabled() const { return pending_; }
    bool Applied() const { return applied_; }

    // "Apply now": false when the text is no integer or the write was refused (shown).
    bool Apply(const std::string& text);
    EntryResult Ok(const std::string& text);
    // "Close", and every other way of leaving the window (Escape, the title bar).
    EntryResult Close();

    // The integer of a text, or a range message and false.
    static bool ParseInteger(const std::string& text, Prompter& prompter, int& value);

private:
    bool Write(const std::string& text);
    EntryResult Finish();

    int endRegister_;
    int initialValue_;
    bool pending_ = false;
    bool applied_ = false;
};

// The calibration force entered while the shunt resistor is connected: typed, or measured by the
// instrument once the resistor is connected.
class ShuntEntry : public ValueEntry {
public:
    static constexpr int kIdlePeriodMs = 1000;
    static constexpr int kMeasuringPeriodMs = 200;

    ShuntEntry(ModbusMaster& bus, int address, int reg, std::string caption,
               std::string initialText, Prompter& prompter);

    const std::string& InitialText() const { return initialText_; }
    // One timer tick (the first at once); returns the next period.
    int Tick();
    // "Connect shunt resistor": true when the instrument connected it.
    bool Connect();
    EntryResult Ok(const std::string& text);
    // Cancel, and every other way of leaving the window: the resistor is disconnected.
    EntryResult Cancel();

    bool Ready() const { return ready_; }
    bool Measuring() const { return measuring_; }
    bool ConnectEnabled() const { return !measuring_; }
    // While measuring the edit is read-only and shows this text.
    const std::string& MeasuredText() const { return measuredText_; }

private:
    EntryResult WriteTyped(const std::string& text);

    std::string initialText_;
    bool ready_ = false;
    bool measuring_ = false;
    std::string measuredText_;
};

// A text of count registers (2 characters each).
class TextEntry : public ValueEntry {
public:
    TextEntry(ValueTarget& target, int reg, int count, std::string caption, std::string initialText,
              Prompter& prompter);

    const std::string& InitialText() const { return initialText_; }
    int MaxLength() const { return 2 * count_; }
    // Writes the text. A refused write keeps the dialog open with the typed text, as every other
    // member does: closing with OK would tell the caller the instrument changed.
    EntryResult Ok(const std::string& text);
    EntryResult Cancel() { return EntryResult::Rejected; }

private:
    int count_;
    std::string initialText_;
};

// "Select instrument": an address 1-247 whose instrument is a known model.
class AddressEntry {
public:
    static constexpr int kFirstAddress = 1;
    static constexpr int kLastAddress = 247;

    AddressEntry(ModbusMaster& bus, Prompter& prompter) : bus_(bus), prompter_(prompter) {}

    EntryResult Ok(const std::string& text);
    EntryResult Cancel() { return EntryResult::Rejected; }
    int Address() const { return address_; }
    InstrumentType Type() const { return type_; }

private:
    ModbusMaster& bus_;
    Prompter& prompter_;
    int address_ = 0;
    InstrumentType type_ = itype::kUnknown;
};

} // namespace quarnex
