// libFuzzer target for the check record: any text is read; a record that is accepted must print
// its table and plot, and write out as text that reads back to the same text.
#include "check/CheckPlot.h"
#include "check/CheckRecord.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quarnex;
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckRecord record;
    std::string error;
    if (!ParseCheckRecord(text, record, error)) {
        if (error.empty())
            std::abort(); // a refusal always says why
        return 0;
    }
    for (const CheckRun& run : record.runs)
        CheckTable(record, run);
    CheckPlotData(record);
    ToleranceEdge(record);
    const std::string written = CheckRecordText(record);
    CheckRecord again;
    if (!ParseCheckRecord(written, again, error) || CheckRecordText(again) != written)
        std::abort();
    return 0;
}
