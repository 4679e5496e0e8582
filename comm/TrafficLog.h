#pragma once

#include "comm/TrafficRecorder.h"

#include <map>
#include <string>
#include <vector>

namespace quarnex::traffic {

// What a request frame asks for. register and count are 0 where the function carries none
// (registers 40001-49999, coils from 1).
struct DecodedRequest {
    int address = 0;
    int function = 0;
    std::string functionText;
    int reg = 0;
    int count = 0;
};
DecodedRequest Decode(const std::vector<uint8_t>& request);

// "01 03 00 00 00 11 85 C6".
std::string Hex(const std::vector<uint8_t>& bytes);
// Milliseconds with two decimals ("43.12").
std::string Ms(int64_t ns);
// Local time of day with milliseconds ("11:44:44.123").
std::string TimeOfDay(int64_t wallNs);
// Local date and time with milliseconds ("2026-12-07 11:44:44.123"), for files kept for days.
std::string DateTime(int64_t wallNs);

// The line needs 3.5 character times of silence before a request, or the slaves take it for the
// tail of the frame before; a silence of more than 1.5 character times inside an answer makes a
// strict slave or master drop the frame. Both are warned of, as the master saw the line.
bool GapTooShort(const TrafficRecord& r);
bool SilenceInAnswer(const TrafficRecord& r);
// The warnings of a record ("" when its timing is sound), "; " between two.
std::string Warning(const TrafficRecord& r);

// One record's fields as the table shows them.
struct TrafficRow {
    std::string time, attempt, address, function, reg, count, status, response, gap, request,
        answer, warning;
    bool failed = false;
    bool warned = false;
};
TrafficRow MakeRow(const TrafficRecord& r);

// The status in words: "OK" or the master's text for the failure.
std::string StatusWords(CommStatus status);
// A record's status as the master told it: its note when it has one ("mbap://HOST:502:
// Connection refused"), else StatusWords.
std::string RecordStatusWords(const TrafficRecord& r);

// One line per attempt, for the trace and the text log.
std::string TraceLine(const TrafficRecord& r);

// A CSV field: quoted when it holds a comma, a quote or a line break (quotes doubled), or always
// when asked (the raw bytes, which a spreadsheet would otherwise read as numbers).
std::string CsvField(const std::string& text, bool alwaysQuote = false);
std::string CsvHeader();
std::string CsvLine(const TrafficRecord& r);

// Counts and response times over records (filtered already). The p99 is read from the bounded
// histogram the totals keep (ResponseHistogram: within one of its bins of the exact rank).
struct AddressTimes {
    int answered = 0;
    double meanMs = 0;
    double p99Ms = 0;
    bool operator==(const AddressTimes&) const = default;
};
struct Summary {
    int transactions = 0;
    int attempts = 0;
    int failed = 0;
    std::map<CommStatus, int> failures; // failed attempts by status
    std::map<int, AddressTimes> addresses;
    bool operator==(const Summary&) const = default;
};
Summary Summarize(const std::vector<TrafficRecord>& records);
// The same from totals kept as records came: of one address, or of all with 0.
Summary Summarize(const TrafficTotals& totals, int addressFilter = 0);
std::string SummaryText(const Summary& summary);

// Whole files: a header and a line per record; the text log ends with the summary.
std::string CsvText(const std::vector<TrafficRecord>& records);
std::string LogText(const std::vector<TrafficRecord>& records);

// 0 shows every address.
bool Matches(const TrafficRecord& r, int addressFilter);

} // namespace quarnex::traffic
