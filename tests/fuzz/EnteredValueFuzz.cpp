// libFuzzer target for the typed-value parser, against strtod in the C locale: a text the parser
// takes is a plain decimal number that strtod reads whole to the same value; a plain decimal
// number within the limit is taken. A refusal always shows exactly one box. A broken rule stops
// the run.
#include "FuzzRequire.h"
#include "instrument/Commands.h"
#include "support/ScriptedPrompter.h"

#include <cctype>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

// Optional sign, digits with at most one point (at least one digit), optional exponent.
bool PlainDecimal(const std::string& s) {
    size_t i = 0, digits = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i)
        ++digits;
    if (i < s.size() && s[i] == '.')
        for (++i; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i)
            ++digits;
    if (digits == 0)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1, e = 0;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        for (; j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])); ++j)
            ++e;
        if (e == 0)
            return false;
        i = j;
    }
    return i == s.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool cLocale = std::setlocale(LC_ALL, "C") != nullptr;
    Require(cLocale);
    const std::string text(reinterpret_cast<const char*>(data), size);
    quarnex::ScriptedPrompter prompter;
    double value = 12345.0;
    const bool taken = quarnex::ParseEnteredValue(text, prompter, value);
    Require(prompter.Boxes().size() == (taken ? 0u : 1u));
    if (text.empty()) {
        Require(taken && value == 0.0);
        return 0;
    }
    size_t start = 0;
    while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start])))
        ++start;
    const std::string number = text.substr(start);
    char* end = nullptr;
    const double reference = std::strtod(number.c_str(), &end);
    const bool whole = !number.empty() && end == number.c_str() + number.size();
    if (taken) {
        Require(PlainDecimal(number) && whole && std::isfinite(value) &&
                std::fabs(value) <= quarnex::kEnteredValueLimit);
        // Below the smallest normal double the two may round a denormal differently to zero.
        Require(value == reference ||
                (std::fabs(reference) < DBL_MIN && std::fabs(value) < DBL_MIN));
    } else {
        Require(value == 0.0);
        Require(!PlainDecimal(number) || !whole ||
                std::fabs(reference) > quarnex::kEnteredValueLimit);
    }
    return 0;
}
