#include "setup/CalibrationPlot.h"

#include "setup/CalibrationPages.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

namespace quarnex {

namespace {

// A number the page shows ("  1000.0", "2.10000"); false for a placeholder or anything else.
bool ShownNumber(const std::string& text, double& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(begin, &end);
    if (end == begin || errno != 0 || !std::isfinite(v))
        return false;
    while (*end != '\0' && std::isspace(static_cast<unsigned char>(*end)))
        ++end;
    if (*end != '\0')
        return false;
    value = v;
    return true;
}

// The page's display of a parameter's row, or null when the row is not shown or not in use.
const RowDisplay* InUse(const CalibrationLive& page, int parameter) {
    const PageDescriptor& descriptor = CalibrationPage();
    const std::vector<RowDisplay>& rows = page.Rows();
    for (size_t i = 0; i < rows.size() && i < descriptor.rows.size(); ++i)
        if (descriptor.rows[i].parameter == parameter)
            return rows[i].state.shown && rows[i].state.enabled ? &rows[i] : nullptr;
    return nullptr;
}

} // namespace

CalibrationPlotData CalibrationPlot(const CalibrationLive& page) {
    CalibrationPlotData data;
    for (int k = 1; k <= calib::kMaxPoints; ++k) {
        const RowDisplay* value = InUse(page, calib::kPointValue1 + k - 1);
        const RowDisplay* signal = InUse(page, calib::kPointSignal1 + k - 1);
        CalibrationPlotData::Point point;
        point.number = k;
        if (!value || !signal || !ShownNumber(value->value, point.weight) ||
            !ShownNumber(signal->value, point.signal))
            continue;
        point.unstored = value->label.rfind("* ", 0) == 0;
        if (data.weightUnit.empty())
            data.weightUnit = value->unit;
        data.points.push_back(point);
    }
    data.line = data.points;
    std::stable_sort(data.line.begin(), data.line.end(),
                     [](const auto& a, const auto& b) { return a.signal < b.signal; });
    data.haveLive = ShownNumber(page.SignalText(), data.liveSignal) &&
                    ShownNumber(page.GrossText(), data.liveWeight);
    return data;
}

} // namespace quarnex
