#include "check/Tolerance.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quarnex {

std::string AccuracyClassName(AccuracyClass c) {
    switch (c) {
    case AccuracyClass::I:
        return "I";
    case AccuracyClass::II:
        return "II";
    case AccuracyClass::III:
        return "III";
    case AccuracyClass::IIII:
        break;
    }
    return "IIII";
}

bool ParseAccuracyClass(const std::string& text, AccuracyClass& c) {
    static const std::pair<const char*, AccuracyClass> kNames[] = {
        {"I", AccuracyClass::I},       {"II", AccuracyClass::II},  {"III", AccuracyClass::III},
        {"IIII", AccuracyClass::IIII}, {"1", AccuracyClass::I},    {"2", AccuracyClass::II},
        {"3", AccuracyClass::III},     {"4", AccuracyClass::IIII},
    };
    for (const auto& [name, value] : kNames)
        if (text == name) {
            c = value;
            return true;
        }
    return false;
}

double MaxPermissibleErrorInE(AccuracyClass c, double loadInE, bool inService) {
    // The upper ends of the 0.5 e and the 1 e ranges.
    static constexpr double kLimits[4][2] = {
        {50000, 200000}, // I
        {5000, 20000},   // II
        {500, 2000},     // III
        {50, 200},       // IIII
    };
    const auto& limits = kLimits[static_cast<int>(c)];
    const double m = std::fabs(loadInE);
    // A load that lands on a range's end up to rounding belongs to that range.
    const double slack = 1e-9 * std::max(1.0, m);
    const double mpe = m <= limits[0] + slack ? 0.5 : m <= limits[1] + slack ? 1.0 : 1.5;
    return inService ? 2.0 * mpe : mpe;
}

double ToleranceRule::Tolerance(double load, double division) const {
    switch (kind) {
    case Kind::Absolute:
        return value;
    case Kind::PercentOfLoad:
        return std::max(std::fabs(load) * value / 100.0, division / 2.0);
    case Kind::AccuracyClass:
        break;
    }
    const double e = EffectiveE(division);
    if (e <= 0.0)
        return 0.0;
    return MaxPermissibleErrorInE(accuracyClass, load / e, inService) * e;
}

std::string FormatCheckWeight(double value, double division) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", DivisionDecimals(division), value);
    // No "-0.0" for a reading that rounds to nothing.
    std::string s = text;
    if (s.find_first_of("123456789") == std::string::npos && !s.empty() && s[0] == '-')
        s.erase(0, 1);
    return s;
}

std::string FormatTolerance(double tolerance, double division) {
    const int base = DivisionDecimals(division);
    const int decimals = std::min(std::max(base, DivisionDecimals(tolerance)), base + 3);
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, tolerance);
    return text;
}

std::string ToleranceRule::Problem(double division, const std::string& unit) const {
    if (kind != Kind::AccuracyClass || e <= 0.0 || division <= 0.0 || e >= division * (1 - 1e-9))
        return {};
    char text[128];
    const std::string u = unit.empty() ? "" : " " + unit;
    std::snprintf(text, sizeof text, "e = %g%s is smaller than the display step %g%s", e, u.c_str(),
                  division, u.c_str());
    return std::string(text) + ": OIML R 76 asks d ≤ e, the instrument cannot show a smaller e";
}

int DivisionDecimals(double division) {
    int decimals = 0;
    while (decimals < 6 && std::fabs(division * std::pow(10.0, decimals) -
                                     std::round(division * std::pow(10.0, decimals))) > 1e-6)
        ++decimals;
    return decimals;
}

std::string ToleranceRule::Describe(double division, const std::string& unit) const {
    const std::string u = unit.empty() ? "" : " " + unit;
    char number[64];
    switch (kind) {
    case Kind::Absolute:
        std::snprintf(number, sizeof number, "%g", value);
        return std::string("Tolerance given: ±") + number + u + " at every load";
    case Kind::PercentOfLoad:
        std::snprintf(number, sizeof number, "%g", value);
        return std::string("Tolerance given: ±") + number +
               " % of the load, at least half the display step";
    case Kind::AccuracyClass:
        break;
    }
    std::snprintf(number, sizeof number, "%g", EffectiveE(division));
    return "OIML R 76 class " + AccuracyClassName(accuracyClass) + ", e = " + number + u +
           (e > 0.0 ? " (given)" : " (the display step)") +
           (inService ? ", maximum permissible errors in service (twice those at verification)"
                      : ", maximum permissible errors at verification");
}

bool ParseTolerance(const std::string& text, ToleranceRule& rule) {
    std::string number = text;
    const bool percent = !number.empty() && number.back() == '%';
    if (percent)
        number.pop_back();
    if (number.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(number.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v <= 0.0 || (percent && v > 100.0))
        return false;
    rule.kind = percent ? ToleranceRule::Kind::PercentOfLoad : ToleranceRule::Kind::Absolute;
    rule.value = v;
    return true;
}

} // namespace quarnex
