#include "comm/TrafficLog.h"

#include "comm/ModbusMaster.h"
#include "res/Strings.h"
#include "res/TrafficTextIds.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace quarnex::traffic {

namespace {

int Word(const std::vector<uint8_t>& b, size_t at) {
    return at + 1 < b.size() ? b[at] << 8 | b[at + 1] : -1;
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (const std::string& p : parts) {
        if (p.empty())
            continue;
        if (!out.empty())
            out += separator;
        out += p;
    }
    return out;
}

std::string Fixed(double value, int decimals) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    return buf;
}

} // namespace

DecodedRequest Decode(const std::vector<uint8_t>& request) {
    DecodedRequest d;
    if (request.empty())
        return d;
    d.address = request[0];
    if (request.size() < 2)
        return d;
    d.function = request[1];
    const int first = Word(request, 2), second = Word(request, 4);
    int textId = ids::kTrafficFnOther;
    switch (d.function) {
    case 3:
    case 16:
    case 23:
        textId = d.function == 3    ? ids::kTrafficFnRead
                 : d.function == 16 ? ids::kTrafficFnWriteRegisters
                                    : ids::kTrafficFnReadWrite;
        if (first >= 0)
            d.reg = ModbusMaster::kFirstRegister + first;
        d.count = std::max(0, second);
        break;
    case 6:
        textId = ids::kTrafficFnWriteRegister;
        if (first >= 0) {
            d.reg = ModbusMaster::kFirstRegister + first;
            d.count = 1;
        }
        break;
    case 5:
        textId = ids::kTrafficFnWriteCoil;
        if (first >= 0) {
            d.reg = first + 1;
            d.count = 1;
        }
        break;
    default:
        break;
    }
    d.functionText = FormatText(Text(textId), {std::to_string(d.function)});
    return d;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (uint8_t b : bytes) {
        if (!out.empty())
            out += ' ';
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

std::string Ms(int64_t ns) {
    return Fixed(static_cast<double>(ns) / 1e6, 2);
}

namespace {

std::string LocalTime(int64_t wallNs, bool withDate) {
    const time_t seconds = static_cast<time_t>(wallNs / 1'000'000'000);
    tm local{};
    localtime_r(&seconds, &local);
    char buf[64];
    const int ms = static_cast<int>(wallNs / 1'000'000 % 1000);
    if (withDate)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                      ms);
    else
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                      local.tm_sec, ms);
    return buf;
}

} // namespace

std::string TimeOfDay(int64_t wallNs) {
    return LocalTime(wallNs, false);
}

std::string DateTime(int64_t wallNs) {
    return LocalTime(wallNs, true);
}

bool GapTooShort(const TrafficRecord& r) {
    return r.gapNs >= 0 && r.characterNs > 0 && 2 * r.gapNs < 7 * r.characterNs;
}

bool SilenceInAnswer(const TrafficRecord& r) {
    return r.characterNs > 0 && 2 * r.longestSilenceNs > 3 * r.characterNs;
}

std::string Warning(const TrafficRecord& r) {
    std::vector<std::string> parts;
    if (GapTooShort(r))
        parts.push_back(FormatText(Text(ids::kTrafficShortGap), {Ms(r.gapNs)}));
    if (SilenceInAnswer(r))
        parts.push_back(FormatText(Text(ids::kTrafficSilence), {Ms(r.longestSilenceNs)}));
    return Join(parts, "; ");
}

std::string StatusWords(CommStatus status) {
    return status == CommStatus::Ok ? Text(ids::kTrafficStatusOk)
                                    : ModbusMaster::StatusText(status, false);
}

std::string RecordStatusWords(const TrafficRecord& r) {
    return r.note.empty() ? StatusWords(r.status) : r.note;
}

TrafficRow MakeRow(const TrafficRecord& r) {
    const DecodedRequest d = Decode(r.request);
    TrafficRow row;
    row.time = TimeOfDay(r.wallNs);
    row.attempt = std::to_string(r.transaction) + "/" + std::to_string(r.attempt);
    row.address = std::to_string(d.address);
    row.function = d.functionText;
    row.reg = d.reg ? std::to_string(d.reg) : std::string();
    row.count = d.count ? std::to_string(d.count) : std::string();
    row.status = RecordStatusWords(r);
    // With no answer, how long the master waited is what there is to see; a request that no
    // answer could have come for (the link was down, the note says why) waited for nothing.
    const bool linkDown = r.answer.empty() && !r.note.empty();
    row.response = r.lastAnswerNs >= 0 ? Ms(r.lastAnswerNs)
                   : r.endNs >= 0 && !linkDown
                       ? FormatText(Text(ids::kTrafficTimedOut), {Ms(r.endNs)})
                       : std::string();
    row.gap = r.gapNs >= 0 ? Ms(r.gapNs) : std::string();
    row.request = Hex(r.request);
    row.answer = Hex(r.answer);
    row.warning = Warning(r);
    row.failed = r.status != CommStatus::Ok;
    row.warned = !row.warning.empty();
    return row;
}

std::string TraceLine(const TrafficRecord& r) {
    const TrafficRow row = MakeRow(r);
    std::string line = row.time + " #" + row.attempt + " @" + row.address + " " + row.function;
    if (!row.reg.empty())
        line += " " + row.reg;
    if (!row.count.empty())
        line += " x" + row.count;
    line += ": " + row.status;
    line += " | response " + (row.response.empty() ? std::string("-") : row.response + " ms");
    line += ", gap " + (row.gap.empty() ? std::string("-") : row.gap + " ms");
    line += " | > " + row.request + " | < " + row.answer;
    if (row.warned)
        line += " | ! " + row.warning;
    return line;
}

std::string CsvField(const std::string& text, bool alwaysQuote) {
    if (!alwaysQuote && text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

std::string CsvHeader() {
    return "serial,transaction,attempt,time,address,function,register,count,status,"
           "request_end_ms,first_answer_ms,last_answer_ms,end_ms,gap_ms,longest_silence_ms,"
           "character_ms,warning,request,answer";
}

std::string CsvLine(const TrafficRecord& r) {
    const DecodedRequest d = Decode(r.request);
    const auto ms = [](int64_t ns) { return ns >= 0 ? Ms(ns) : std::string(); };
    const std::vector<std::string> fields = {
        std::to_string(r.serial),
        std::to_string(r.transaction),
        std::to_string(r.attempt),
        DateTime(r.wallNs),
        std::to_string(d.address),
        CsvField(d.functionText),
        d.reg ? std::to_string(d.reg) : std::string(),
        d.count ? std::to_string(d.count) : std::string(),
        CsvField(RecordStatusWords(r)),
        ms(r.requestEndNs),
        ms(r.firstAnswerNs),
        ms(r.lastAnswerNs),
        ms(r.endNs),
        ms(r.gapNs),
        ms(r.longestSilenceNs),
        Fixed(static_cast<double>(r.characterNs) / 1e6, 3),
        CsvField(Warning(r)),
        CsvField(Hex(r.request), true),
        CsvField(Hex(r.answer), true),
    };
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i)
        line += (i ? "," : "") + fields[i];
    return line;
}

Summary Summarize(const std::vector<TrafficRecord>& records) {
    TrafficTotals totals;
    for (const TrafficRecord& r : records)
        totals.Add(r);
    return Summarize(totals);
}

Summary Summarize(const TrafficTotals& totals, int addressFilter) {
    Summary s;
    for (int address : totals.Addresses()) {
        if (addressFilter != 0 && address != addressFilter)
            continue;
        const AddressTotals& a = *totals.Address(address);
        s.transactions += static_cast<int>(a.transactions);
        s.attempts += static_cast<int>(a.attempts);
        s.failed += static_cast<int>(a.failed);
        for (const auto& [status, n] : a.failures)
            s.failures[status] += static_cast<int>(n);
        AddressTimes& t = s.addresses[address];
        t.answered = static_cast<int>(a.answered);
        if (a.answered == 0)
            continue;
        t.meanMs = static_cast<double>(a.answerNsSum) / static_cast<double>(a.answered) / 1e6;
        t.p99Ms = static_cast<double>(a.times.QuantileNs(0.99)) / 1e6;
    }
    return s;
}

std::string SummaryText(const Summary& s) {
    if (s.attempts == 0)
        return Text(ids::kTrafficNothing);
    std::vector<std::string> parts = {FormatText(
        Text(ids::kTrafficSummary),
        {std::to_string(s.transactions), std::to_string(s.attempts), std::to_string(s.failed)})};
    for (const auto& [status, n] : s.failures)
        parts.push_back(FormatText(Text(ids::kTrafficFailures),
                                   {std::to_string(n), ModbusMaster::StatusText(status, false)}));
    for (const auto& [address, a] : s.addresses)
        parts.push_back(
            a.answered == 0
                ? FormatText(Text(ids::kTrafficAddressSilent), {std::to_string(address)})
                : FormatText(Text(ids::kTrafficAddressTimes),
                             {std::to_string(address), Fixed(a.meanMs, 2), Fixed(a.p99Ms, 2)}));
    return Join(parts, "; ");
}

std::string CsvText(const std::vector<TrafficRecord>& records) {
    std::string out = CsvHeader() + "\r\n";
    for (const TrafficRecord& r : records)
        out += CsvLine(r) + "\r\n";
    return out;
}

std::string LogText(const std::vector<TrafficRecord>& records) {
    std::string out;
    for (const TrafficRecord& r : records)
        out += TraceLine(r) + "\n";
    return out + SummaryText(Summarize(records)) + "\n";
}

bool Matches(const TrafficRecord& r, int addressFilter) {
    return addressFilter == 0 || (!r.request.empty() && r.request[0] == addressFilter);
}

} // namespace quarnex::traffic
