#include "check/CheckRecord.h"

#include "instrument/InstrumentType.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>

namespace quarnex {

namespace {

// Version 1 had no checksum; version 2 ends with one.
constexpr const char* kHeaderV1 = "Quarnex calibration check record, version 1";
constexpr const char* kHeader = "Quarnex calibration check record, version 2";
constexpr const char* kChecksumKey = "sha256";
constexpr size_t kMaxRuns = 50;
constexpr size_t kMaxRecordBytes = 1 << 20;

std::string Number(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

// Free text on one line: backslash and line breaks escaped.
std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c != '\r')
            out += c;
    }
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            out += text[i + 1] == 'n' ? '\n' : text[i + 1];
            ++i;
        } else if (text[i] != '\r') { // never written (Escape drops it): a value reads as it writes
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::stringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    if (!text.empty() && text.back() == separator)
        parts.push_back({});
    return parts;
}

std::string Sha256Hex(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr) != 1)
        return "unavailable"; // never matches: the record reads as changed
    std::string hex;
    char pair[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

// Serial numbers are compared and shown as the program prints them ("226-0137"); records of the
// first version hold the bare number ("2260137").
std::string NormalSerial(const std::string& text) {
    double v = 0;
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos &&
        ParseCheckNumber(text, v) && v < 4294967296.0)
        return FormatSerialNumber(v);
    return text;
}

} // namespace

const CheckRun* CheckRecord::Current(const std::string& runName) const {
    for (size_t i = runs.size(); i-- > 0;)
        if (runs[i].name == runName && !runs[i].superseded)
            return &runs[i];
    return nullptr;
}

CheckResult EvaluateRun(const CheckRecord& record, const CheckRun& run) {
    CheckResult result;
    const std::vector<CheckStep> steps = record.plan.Steps();
    const double division = record.division;
    const double e = record.rule.kind == ToleranceRule::Kind::AccuracyClass
                         ? record.rule.EffectiveE(division)
                         : division;
    // Up to rounding: a reading exactly on the limit is within it.
    const double slack = 1e-9 * std::max(1.0, record.capacity);
    std::map<double, double> up, down;
    std::vector<double> repeats;
    double centre = 0.0;
    bool haveCentre = false;
    for (size_t i = 0; i < steps.size(); ++i) {
        StepResult r;
        r.step = steps[i];
        if (i < run.readings.size())
            r.reading = run.readings[i];
        r.tolerance = record.rule.Tolerance(r.step.load, division);
        if (r.reading.state == CheckReading::State::Taken) {
            r.error = r.reading.indication - r.step.load;
            r.errorInE = e > 0.0 ? r.error / e : 0.0;
            r.pass = std::fabs(r.error) <= r.tolerance + slack;
            if (!r.pass)
                ++result.failed;
            const double v = r.reading.indication;
            switch (r.step.kind) {
            case CheckStep::Kind::Up:
                up[r.step.load] = v;
                break;
            case CheckStep::Kind::Down:
                down[r.step.load] = v;
                break;
            case CheckStep::Kind::Repeat:
                repeats.push_back(v);
                break;
            case CheckStep::Kind::Eccentric:
                if (r.step.position == 0) {
                    centre = v;
                    haveCentre = true;
                } else if (haveCentre) {
                    result.haveEccentricity = true;
                    result.eccentricity = std::max(result.eccentricity, std::fabs(v - centre));
                }
                break;
            }
        } else {
            ++result.missing;
        }
        result.steps.push_back(r);
    }
    for (const auto& [load, value] : down) {
        if (!up.count(load))
            continue;
        const double difference = std::fabs(value - up[load]);
        if (!result.haveHysteresis || difference > result.hysteresis) {
            result.hysteresis = difference;
            result.hysteresisLoad = load;
        }
        result.haveHysteresis = true;
    }
    if (repeats.size() >= 2) {
        const auto [low, high] = std::minmax_element(repeats.begin(), repeats.end());
        result.haveRepeatability = true;
        result.repeatability = *high - *low;
        // The spread of several weighings of one load may not exceed the permissible error at
        // that load.
        result.repeatabilityLimit = record.rule.Tolerance(record.plan.repeatLoad, division);
        result.repeatabilityPass = result.repeatability <= result.repeatabilityLimit + slack;
    }
    result.rule = record.rule.Describe(division, record.unit);
    if (result.failed > 0 || !result.repeatabilityPass)
        result.verdict = CheckResult::Verdict::Fail;
    else if (result.missing > 0)
        result.verdict = CheckResult::Verdict::Incomplete;
    else
        result.verdict = CheckResult::Verdict::Pass;
    return result;
}

std::string VerdictSentence(const CheckResult& result) {
    switch (result.verdict) {
    case CheckResult::Verdict::Pass:
        return "PASSED: every reading is within tolerance.";
    case CheckResult::Verdict::Fail: {
        std::string text = "FAILED: ";
        if (result.failed > 0)
            text += std::to_string(result.failed) + " reading" + (result.failed > 1 ? "s" : "") +
                    " out of tolerance";
        if (!result.repeatabilityPass)
            text += std::string(result.failed > 0 ? "; " : "") +
                    "the repeated readings scatter more than the permissible error";
        return text + ".";
    }
    case CheckResult::Verdict::Incomplete:
        break;
    }
    return "INCOMPLETE: " + std::to_string(result.missing) + " step" +
           (result.missing > 1 ? "s" : "") + " not read; the readings taken are within tolerance.";
}

std::string CheckTable(const CheckRecord& record, const CheckRun& run) {
    const CheckResult result = EvaluateRun(record, run);
    const double d = record.division;
    const auto weight = [d](double v) { return FormatCheckWeight(v, d); };
    std::ostringstream out;
    char line[256];
    out << run.name << " (" << (record.unit.empty() ? "no unit" : record.unit) << ")\n";
    std::snprintf(line, sizeof line, "  %-3s %-10s %10s %10s %9s %7s %9s  %s\n", "#", "step",
                  "load", "reading", "error", "in e", "tolerance", "result");
    out << line;
    int n = 0;
    for (const StepResult& r : result.steps) {
        ++n;
        const bool taken = r.reading.state == CheckReading::State::Taken;
        char inE[32];
        std::snprintf(inE, sizeof inE, "%.2f", r.errorInE);
        std::snprintf(line, sizeof line, "%s %-3d %-10s %10s %10s %9s %7s %9s  %s\n",
                      taken && !r.pass ? "*" : " ", n, StepLabel(r.step).c_str(),
                      weight(r.step.load).c_str(),
                      taken ? weight(r.reading.indication).c_str() : "-",
                      taken ? weight(r.error).c_str() : "-", taken ? inE : "-",
                      ("±" + FormatTolerance(r.tolerance, d)).c_str(),
                      taken                                             ? (r.pass ? "ok" : "OUT")
                      : r.reading.state == CheckReading::State::Skipped ? "skipped"
                                                                        : "not read");
        out << line;
    }
    if (result.haveHysteresis)
        out << "  hysteresis: " << weight(result.hysteresis) << " at "
            << weight(result.hysteresisLoad) << "\n";
    if (result.haveRepeatability)
        out << "  repeatability: spread " << weight(result.repeatability) << " (limit "
            << FormatTolerance(result.repeatabilityLimit, d) << ")"
            << (result.repeatabilityPass ? "" : " OUT") << "\n";
    if (result.haveEccentricity)
        out << "  eccentricity: largest difference from the centre " << weight(result.eccentricity)
            << "\n";
    out << "  rule: " << result.rule << "\n";
    out << "  " << VerdictSentence(result) << "\n";
    return out.str();
}

std::string CheckRecordText(const CheckRecord& r) {
    std::ostringstream out;
    out << kHeader << "\n";
    out << "instrument=" << Escape(r.instrument) << "\n";
    out << "serial=" << Escape(r.serialNumber) << "\n";
    out << "program=" << Escape(r.program) << "\n";
    out << "name=" << Escape(r.name) << "\n";
    out << "address=" << r.address << "\n";
    out << "unit=" << Escape(r.unit) << "\n";
    out << "capacity=" << Number(r.capacity) << "\n";
    out << "division=" << Number(r.division) << "\n";
    for (const auto& [label, value] : r.calibration)
        out << "calibration=" << Escape(label) << "|" << Escape(value) << "\n";
    out << "loads=" << LoadsText(r.plan.loads) << "\n";
    out << "down=" << (r.plan.down ? "yes" : "no") << "\n";
    if (r.plan.repeatCount)
        out << "repeat=" << Number(r.plan.repeatLoad) << ":" << r.plan.repeatCount << "\n";
    if (r.plan.eccentricPositions)
        out << "eccentric=" << Number(r.plan.eccentricLoad) << ":" << r.plan.eccentricPositions
            << "\n";
    switch (r.rule.kind) {
    case ToleranceRule::Kind::AccuracyClass:
        out << "rule=class " << AccuracyClassName(r.rule.accuracyClass) << "\n";
        out << "e=" << Number(r.rule.e) << "\n";
        out << "in-service=" << (r.rule.inService ? "yes" : "no") << "\n";
        break;
    case ToleranceRule::Kind::Absolute:
        out << "rule=absolute " << Number(r.rule.value) << "\n";
        break;
    case ToleranceRule::Kind::PercentOfLoad:
        out << "rule=percent " << Number(r.rule.value) << "\n";
        break;
    }
    out << "date=" << Escape(r.date) << "\n";
    out << "technician=" << Escape(r.technician) << "\n";
    out << "next-check=" << Escape(r.nextCheck) << "\n";
    out << "notes=" << Escape(r.notes) << "\n";
    out << "weights=" << Escape(r.weights) << "\n";
    out << "scale=" << Escape(r.scale) << "\n";
    for (const CheckRun& run : r.runs) {
        out << "run=" << Escape(run.name) << "\n";
        if (!run.started.empty())
            out << "run-started=" << Escape(run.started) << "\n";
        if (run.superseded)
            out << "run-superseded=yes\n";
        for (size_t i = 0; i < run.readings.size(); ++i) {
            const CheckReading& x = run.readings[i];
            if (x.state == CheckReading::State::Pending)
                continue;
            out << "reading=" << i + 1 << "|" << Escape(x.time) << "|"
                << (x.state == CheckReading::State::Taken ? Number(x.indication) : "skipped") << "|"
                << Escape(x.note) << "\n";
        }
    }
    const std::string content = out.str();
    return content + kChecksumKey + "=" + Sha256Hex(content) + "\nend\n";
}

bool ParseCheckRecord(const std::string& text, CheckRecord& record, std::string& error) {
    CheckRecord r;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    bool ended = false;
    const auto fail = [&](const std::string& what) {
        error = number == 0 ? what : "line " + std::to_string(number) + ": " + what;
        return false;
    };
    if (!std::getline(in, line) || (number = 1, line != kHeader && line != kHeaderV1)) {
        number = 0;
        return fail("not a calibration check record (the first line is not \"" +
                    std::string(kHeader) + "\")");
    }
    const bool sealed = line == kHeader;
    bool haveLoads = false, haveRule = false, haveChecksum = false;
    size_t stepCount = 0;
    while (true) {
        const std::streamoff offset = in.tellg();
        if (!std::getline(in, line))
            break;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (ended)
            return fail("text after the end of the record");
        if (line == "end") {
            ended = true;
            continue;
        }
        if (haveChecksum)
            return fail("text after the checksum");
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            return fail("not a line of a record: \"" + line.substr(0, 60) + "\"");
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        const auto yesNo = [&](bool& into) {
            if (value != "yes" && value != "no")
                return fail(key + " must be yes or no");
            into = value == "yes";
            return true;
        };
        // The runs hold one reading a step of the plan: the plan cannot change after them.
        if (!r.runs.empty() &&
            (key == "loads" || key == "down" || key == "repeat" || key == "eccentric"))
            return fail("the plan after a run");
        double v = 0;
        if (key == kChecksumKey) {
            if (!sealed)
                return fail("a checksum in a record of version 1");
            haveChecksum = true;
            if (value != Sha256Hex(text.substr(0, static_cast<size_t>(offset))))
                r.changedAfterWriting = true;
        } else if (key == "instrument") {
            r.instrument = Unescape(value);
        } else if (key == "serial") {
            r.serialNumber = NormalSerial(Unescape(value));
        } else if (key == "program") {
            r.program = Unescape(value);
        } else if (key == "name") {
            r.name = Unescape(value);
        } else if (key == "address") {
            if (!ParseCheckNumber(value, v) || v != std::floor(v) || v < 0 || v > 247)
                return fail("bad address \"" + value + "\" (1 to 247, 0 when not known)");
            r.address = static_cast<int>(v);
        } else if (key == "unit") {
            r.unit = Unescape(value);
        } else if (key == "capacity" || key == "division") {
            if (!ParseCheckNumber(value, v) || v < 0)
                return fail("bad " + key + " \"" + value + "\"");
            (key == "capacity" ? r.capacity : r.division) = v;
        } else if (key == "calibration") {
            const auto bar = value.find('|');
            if (bar == std::string::npos)
                return fail("a calibration line needs LABEL|VALUE");
            r.calibration.push_back(
                {Unescape(value.substr(0, bar)), Unescape(value.substr(bar + 1))});
        } else if (key == "loads") {
            if (!ParseLoads(value, r.plan.loads))
                return fail("bad test loads \"" + value + "\"");
            haveLoads = true;
        } else if (key == "down") {
            if (!yesNo(r.plan.down))
                return false;
        } else if (key == "repeat" || key == "eccentric") {
            const bool repeat = key == "repeat";
            if (!ParseLoadCount(value, repeat ? r.plan.repeatLoad : r.plan.eccentricLoad,
                                repeat ? r.plan.repeatCount : r.plan.eccentricPositions))
                return fail("bad " + key + " \"" + value + "\" (LOAD:N)");
        } else if (key == "rule") {
            const auto space = value.find(' ');
            const std::string kind = value.substr(0, space);
            const std::string arg = space == std::string::npos ? "" : value.substr(space + 1);
            if (kind == "class" && ParseAccuracyClass(arg, r.rule.accuracyClass)) {
                r.rule.kind = ToleranceRule::Kind::AccuracyClass;
            } else if ((kind == "absolute" || kind == "percent") &&
                       ParseTolerance(arg + (kind == "percent" ? "%" : ""), r.rule)) {
            } else {
                return fail("bad rule \"" + value +
                            "\" (class I to IIII, absolute TOLERANCE or percent TOLERANCE)");
            }
            haveRule = true;
        } else if (key == "e") {
            if (!ParseCheckNumber(value, v) || v < 0)
                return fail("bad e \"" + value + "\"");
            r.rule.e = v;
        } else if (key == "in-service") {
            if (!yesNo(r.rule.inService))
                return false;
        } else if (key == "date") {
            r.date = Unescape(value);
        } else if (key == "technician") {
            r.technician = Unescape(value);
        } else if (key == "next-check") {
            r.nextCheck = Unescape(value);
        } else if (key == "notes") {
            r.notes = Unescape(value);
        } else if (key == "weights") {
            r.weights = Unescape(value);
        } else if (key == "scale") {
            r.scale = Unescape(value);
        } else if (key == "run-started" || key == "run-superseded") {
            if (r.runs.empty())
                return fail(key + " outside a run");
            if (key == "run-started")
                r.runs.back().started = Unescape(value);
            else if (!yesNo(r.runs.back().superseded))
                return false;
        } else if (key == "run") {
            if (!haveLoads)
                return fail("a run before the test loads");
            if (r.runs.size() == kMaxRuns)
                return fail("more than " + std::to_string(kMaxRuns) + " runs");
            if (const std::string problem = r.plan.Problem(); !problem.empty())
                return fail("the plan cannot be run: " + problem);
            stepCount = r.plan.Steps().size();
            r.runs.emplace_back();
            r.runs.back().name = Unescape(value);
            r.runs.back().readings.resize(stepCount);
        } else if (key == "reading") {
            if (r.runs.empty())
                return fail("a reading outside a run");
            const std::vector<std::string> parts = Split(value, '|');
            if (parts.size() != 4 || !ParseCheckNumber(parts[0], v) || v != std::floor(v) ||
                v < 1 || v > static_cast<double>(stepCount))
                return fail("bad reading \"" + value.substr(0, 60) +
                            "\" (STEP|TIME|VALUE|NOTE, STEP 1 to " + std::to_string(stepCount) +
                            ")");
            CheckReading& reading = r.runs.back().readings[static_cast<size_t>(v) - 1];
            reading.time = Unescape(parts[1]);
            reading.note = Unescape(parts[3]);
            if (parts[2] == "skipped") {
                reading.state = CheckReading::State::Skipped;
            } else if (ParseCheckNumber(parts[2], reading.indication)) {
                reading.state = CheckReading::State::Taken;
            } else {
                return fail("bad reading value \"" + parts[2].substr(0, 30) + "\"");
            }
        } else {
            return fail("unknown entry \"" + key.substr(0, 40) + "\"");
        }
    }
    if (!ended)
        return fail("the record is cut short (no \"end\" line)");
    if (!haveLoads || !haveRule)
        return fail(std::string("the record has no ") +
                    (haveLoads ? "tolerance rule" : "test loads"));
    if (r.runs.empty())
        return fail("the record holds no run");
    // Besides superseded runs, one as found and one as left at most.
    size_t current = 0;
    for (const CheckRun& run : r.runs)
        current += !run.superseded;
    if (current > 2)
        return fail("more than two runs that are not superseded (as found and as left)");
    if (sealed && !haveChecksum)
        r.changedAfterWriting = true;
    record = std::move(r);
    return true;
}

bool SaveCheckRecord(const std::string& path, const CheckRecord& record, std::string& error) {
    // Written beside and moved over: a full disk or a crash never leaves half a record.
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << CheckRecordText(record);
        out.close();
        if (!out) {
            error = "Cannot write the check record " + path + ": " + std::strerror(errno);
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "Cannot write the check record " + path + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

bool LoadCheckRecord(const std::string& path, CheckRecord& record, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "Cannot read the check record " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    text.resize(kMaxRecordBytes + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > kMaxRecordBytes) {
        error = "The check record " + path + " is damaged: larger than any record";
        return false;
    }
    std::string problem;
    if (!ParseCheckRecord(text, record, problem)) {
        error = "The check record " + path + " is damaged: " + problem;
        return false;
    }
    return true;
}

std::string CheckTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

} // namespace quarnex
