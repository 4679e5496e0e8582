#include "check/CheckReportHook.h"

namespace quarnex {

namespace {
CheckReportWriter& Writer() {
    static CheckReportWriter writer;
    return writer;
}
} // namespace

void SetCheckReportWriter(CheckReportWriter writer) {
    Writer() = std::move(writer);
}

const CheckReportWriter& GetCheckReportWriter() {
    return Writer();
}

} // namespace quarnex
