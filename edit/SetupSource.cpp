#include "edit/SetupSource.h"

#include "comm/ModbusMaster.h"
#include "edit/ValueEntry.h"
#include "instrument/Commands.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/Registers.h"
#include "platform/Prompter.h"

namespace quarnex {

namespace {

// The selector and the extra time-out a request asks for.
void Prepare(ValueEntry& entry, const EditRequest& request) {
    if (request.selectorRegister != 0)
        entry.SetSelector(request.selectorRegister, request.selectorValue);
    entry.SetExtraTimeout(request.extraTimeout);
}

} // namespace

BusSetupSource::BusSetupSource(ModbusMaster& bus, InstrumentSetup& setup, Prompter& prompter)
    : bus_(bus), setup_(setup), prompter_(prompter) {}

bool BusSetupSource::Probe() {
    // Register 40001, one retry, no box: only whether the instrument answers.
    WaitCursor wait(prompter_);
    uint16_t type = 0;
    return bus_.ReadHoldingRegisters(setup_.Address(), reg::kTypeCode, 1, &type, {.retries = 1}) ==
           CommStatus::Ok;
}

bool BusSetupSource::Read(const SetupRead& what, bool messages) {
    std::unique_ptr<WaitCursor> wait;
    if (messages)
        wait = std::make_unique<WaitCursor>(prompter_);
    const SetupReadOptions options{.messages = messages ? &prompter_ : nullptr};
    switch (what.block) {
    case SetupBlock::Normal:
        return setup_.ReadNormal(bus_, options);
    case SetupBlock::Special:
        return setup_.ReadSpecial(bus_, options);
    case SetupBlock::Activity:
        return setup_.ReadBatch(bus_, what.number, options);
    case SetupBlock::Texts:
        return setup_.ReadTexts(bus_, options);
    case SetupBlock::Recipe:
        break;
    }
    return setup_.ReadRecipes(bus_, what.number, options);
}

bool BusSetupSource::ReadMeasured(int reg, int count, uint16_t* values) {
    return bus_.ReadHoldingRegisters(setup_.Address(), reg, count, values, {.owner = &prompter_}) ==
           CommStatus::Ok;
}

bool BusSetupSource::ReadMeasuredFloat(int reg, float& value) {
    return bus_.ReadFloatRegisters(setup_.Address(), reg, 1, &value, {.owner = &prompter_}) ==
           CommStatus::Ok;
}

bool BusSetupSource::SendMeasuringCommand(int coil) {
    return SendCommand(bus_, setup_.Address(), coil, false, {}, {}, &prompter_);
}

ValueTarget& BusSetupSource::Target() {
    // The address is known only once the sheet has checked the instrument.
    if (!target_)
        target_ = std::make_unique<BusValueTarget>(bus_, setup_.Address());
    return *target_;
}

std::unique_ptr<ChoiceEntry> SetupSource::MakeChoice(const EditRequest& r) {
    std::unique_ptr<ChoiceEntry> entry;
    if (r.editor == EditorKind::ActivityChoice)
        entry = std::make_unique<ActivityChoiceEntry>(Target(), r.reg, r.caption,
                                                      ActivityChoiceEntry::ActivitiesOf(Setup()),
                                                      r.currentIndex, Owner());
    else
        entry = std::make_unique<ChoiceEntry>(Target(), r.reg, r.caption, r.firstChoice,
                                              r.finalChoice, r.currentIndex, Owner());
    Prepare(*entry, r);
    entry->SetConfirmation(r.confirmation);
    return entry;
}

std::unique_ptr<NumericEntry> SetupSource::MakeNumber(const EditRequest& r) {
    auto entry = std::make_unique<NumericEntry>(Target(), r.reg, r.caption, r.currentText, Owner());
    Prepare(*entry, r);
    // On the bus the instrument judges a value; away from it the program checks what it knows.
    if (!CanMeasure())
        entry->LimitDecimals(r.decimals);
    return entry;
}

std::unique_ptr<TextEntry> SetupSource::MakeText(const EditRequest& r) {
    return std::make_unique<TextEntry>(Target(), r.reg, r.textCount, r.caption, r.currentText,
                                       Owner());
}

std::unique_ptr<AdjustmentEntry> SetupSource::MakeAdjustment(const EditRequest& r) {
    if (!CanMeasure())
        return nullptr;
    return std::make_unique<AdjustmentEntry>(*Bus(), Setup().Address(), r.reg, r.endRegister,
                                             r.caption, r.currentInteger, Owner());
}

std::unique_ptr<ShuntEntry> SetupSource::MakeShunt(const EditRequest& r) {
    if (!CanMeasure())
        return nullptr;
    return std::make_unique<ShuntEntry>(*Bus(), Setup().Address(), r.reg, r.caption, r.currentText,
                                        Owner());
}

bool ReadAfterEdit(SetupSource& source, const EditRequest& request) {
    return source.Read(request.reread, true);
}

} // namespace quarnex
