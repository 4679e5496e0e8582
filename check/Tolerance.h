#pragma once

#include <string>

namespace quarnex {

// The accuracy classes of non-automatic weighing instruments (OIML R 76): special (I), high (II),
// medium (III) and ordinary (IIII).
enum class AccuracyClass { I, II, III, IIII };

// "I", "II", "III", "IIII".
std::string AccuracyClassName(AccuracyClass c);
// Reads "I" ... "IIII" (also "1" ... "4"); false for anything else.
bool ParseAccuracyClass(const std::string& text, AccuracyClass& c);

// The maximum permissible error at verification, in verification scale intervals e, of a load of
// m = load / e intervals: 0.5 e, 1 e or 1.5 e over the load ranges of the class
//   I     0 ... 50 000 e     ... 200 000 e   above
//   II    0 ...  5 000 e     ...  20 000 e   above
//   III   0 ...    500 e     ...   2 000 e   above
//   IIII  0 ...     50 e     ...     200 e   above
// each range including its upper end; in service the errors are twice these.
double MaxPermissibleErrorInE(AccuracyClass c, double loadInE, bool inService);

// How a reading is judged: by the accuracy class, or by a tolerance the user gives (absolute in
// the displayed unit, or in percent of the load).
struct ToleranceRule {
    enum class Kind { AccuracyClass, Absolute, PercentOfLoad };
    Kind kind = Kind::AccuracyClass;
    AccuracyClass accuracyClass = AccuracyClass::III;
    double e = 0.0;         // the verification scale interval given by the user; 0: the
                            // instrument's display step ("Resolution:")
    bool inService = false; // in-service inspection: the class errors doubled
    double value = 0.0;     // Absolute: the tolerance; PercentOfLoad: the percentage

    // The e the rule uses: the given one, else the instrument's display step.
    double EffectiveE(double division) const { return e > 0.0 ? e : division; }
    // The tolerance (a positive amount either way) at a load, in the displayed unit. A tolerance
    // in % of the load is never below half the display step: at 0 kg it would be 0, and even an
    // exact scale shows no weight closer than its step.
    double Tolerance(double load, double division) const;
    // "" when the rule can judge an instrument of this display step, else why not: a given e
    // below the display step (OIML R 76 asks d ≤ e: the instrument cannot show a smaller e).
    std::string Problem(double division, const std::string& unit) const;
    // What the verdict says about the rule, e.g. "OIML R 76 class III, e = 0.1 kg (the display
    // step), maximum permissible errors in service (doubled)".
    std::string Describe(double division, const std::string& unit) const;
};

// A tolerance as the command line gives it: "0.2" (absolute) or "0.1%" (of the load). False
// for anything else, or a tolerance that is not above 0.
bool ParseTolerance(const std::string& text, ToleranceRule& rule);

// A weight with the decimals of the display step (0.1 -> one decimal, 0.05 -> two).
std::string FormatCheckWeight(double value, double division);
// A tolerance with the decimals of the display step and as many more as it needs, up to three
// more (0.025 at a step of 0.1 prints as 0.025, not 0.03; 0.15 as 0.15; 0.1 as 0.1).
std::string FormatTolerance(double tolerance, double division);
int DivisionDecimals(double division);

} // namespace quarnex
