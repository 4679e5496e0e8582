#include "setup/SetupPage.h"

#include "instrument/InstrumentSetup.h"
#include "instrument/SetupParameterTable.h"
#include "instrument/ValueFormat.h"
#include "res/SetupTextIds.h"
#include "res/Strings.h"
#include "setup/BatchingPages.h"

#include <cmath>

namespace quarnex {

namespace {

bool IsSpecialParameter(int parameter) {
    return parameter >= SetupParameterTable::kSpecialFirst &&
           parameter < SetupParameterTable::kValueRows;
}

// The integer the adjustment dialog starts from; a damaged value starts it from 0 rather than
// from an undefined conversion.
int IntegerOf(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 2.0e9)
        return 0;
    return static_cast<int>(std::lround(value));
}

} // namespace

int ChoiceOf(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 1.0e9)
        return -1000000;
    return static_cast<int>(value);
}

int ChoiceAt(const InstrumentSetup& setup, int parameter) {
    return ChoiceOf(setup.Value(parameter));
}

std::vector<PageRow> PageRowsOf(const PageDescriptor& page, const InstrumentSetup& setup) {
    return page.rowsOf ? page.rowsOf(setup) : page.rows;
}

namespace {

// A row's state, the one rule the display and every other reader follow: the page's rule for a
// parameter, the batching rows' own for the others.
RowState RuledState(const PageDescriptor& page, const PageRow& r, const InstrumentSetup& setup) {
    if (r.kind != RowKind::Parameter)
        return BatchingRowState(r, setup);
    return page.rule ? page.rule(r.parameter, setup) : kRowOn;
}

RowDisplay ShowRuledRow(const PageRow& r, RowState state, const InstrumentSetup& setup,
                        bool editMode) {
    if (r.kind != RowKind::Parameter)
        return BatchingRowDisplay(r, setup, editMode);
    RowDisplay row;
    row.state = state;
    row.editButton = editMode && row.state.shown && row.state.button;
    if (!row.state.shown)
        return row;
    row.label = setup.Label(r.parameter);
    if (!row.state.empty) {
        row.value =
            r.editor == EditorKind::Code ? Text(ids::kMaskedCode) : setup.ValueText(r.parameter);
        row.unit = setup.UnitText(r.parameter);
    }
    return row;
}

} // namespace

RowState PageRowState(const PageDescriptor& page, size_t i, const InstrumentSetup& setup) {
    return i < page.rows.size() ? RuledState(page, page.rows[i], setup) : kRowHidden;
}

std::vector<RowDisplay> InitialPageDisplay(const PageDescriptor& page, const InstrumentSetup& setup,
                                           bool editMode) {
    std::vector<RowDisplay> display;
    for (const PageRow& r : PageRowsOf(page, setup)) {
        if (r.kind != RowKind::Parameter) {
            RowDisplay row = BatchingRowDisplay(r, setup, editMode);
            row.value.clear();
            display.push_back(std::move(row));
            continue;
        }
        const int n = r.parameter;
        RowDisplay row;
        const RowState state = RuledState(page, r, setup);
        row.state.shown = state.shown;
        row.state.button = state.button;
        if (row.state.shown) {
            row.label = setup.Label(n);
            row.unit = setup.UnitText(n);
        }
        row.editButton = editMode && row.state.shown && row.state.button;
        display.push_back(std::move(row));
    }
    return display;
}

std::vector<RowDisplay> PageDisplay(const PageDescriptor& page, const InstrumentSetup& setup,
                                    bool editMode) {
    return PageDisplay(page, PageRowsOf(page, setup), setup, editMode);
}

std::vector<RowDisplay> PageDisplay(const PageDescriptor& page, const std::vector<PageRow>& rows,
                                    const InstrumentSetup& setup, bool editMode) {
    std::vector<RowDisplay> display;
    display.reserve(rows.size());
    for (const PageRow& r : rows)
        display.push_back(ShowRuledRow(r, RuledState(page, r, setup), setup, editMode));
    return display;
}

RowDisplay ShowRow(const PageRow& row, const InstrumentSetup& setup, bool editMode) {
    return ShowRuledRow(row, kRowOn, setup, editMode);
}

void ShowFailedRead(std::vector<RowDisplay>& display) {
    for (RowDisplay& row : display) {
        if (!row.state.shown)
            continue;
        row.value = placeholder::kSetupValue;
        if (row.unitIsValue)
            row.unit = placeholder::kSetupValue;
    }
}

int RowRegister(const PageRow& row, const InstrumentSetup& setup) {
    if (IsSpecialParameter(row.parameter))
        return setup.SpecialRegister(row.parameter - SetupParameterTable::kSpecialFirst);
    return setup.NormalRegister(row.parameter);
}

EditRequest RowEditRequest(const PageRow& row, const InstrumentSetup& setup) {
    if (row.kind != RowKind::Parameter)
        return BatchingRowRequest(row, setup);
    EditRequest request;
    request.editor = row.editor;
    request.reg = RowRegister(row, setup);
    request.caption = setup.Label(row.parameter);
    request.reread = {IsSpecialParameter(row.parameter) ? SetupBlock::Special : SetupBlock::Normal};
    const double value = setup.Value(row.parameter);
    switch (row.editor) {
    case EditorKind::Choice:
        request.firstChoice = setup.FirstChoice(row.parameter);
        request.finalChoice = setup.FinalChoice(row.parameter);
        request.currentIndex = ChoiceOf(value);
        break;
    case EditorKind::Adjust:
        request.endRegister = row.endRegister;
        request.currentInteger = IntegerOf(value);
        request.currentText = setup.ValueText(row.parameter);
        break;
    default: // Number, Code (the real code, so the user edits the current one), Special
        request.currentText = setup.ValueText(row.parameter);
        if (row.editor == EditorKind::Number && setup.Decimals(row.parameter) != kSixSignificant)
            request.decimals = setup.Decimals(row.parameter);
        break;
    }
    return request;
}

} // namespace quarnex
