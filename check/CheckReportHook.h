#pragma once

#include "check/CheckRecord.h"

#include <functional>
#include <string>

namespace quarnex {

// The report of a check is drawn with the windows' printing (Qt), which the toolkit-free layers
// do not see: a program that has it installs the writer, and the command line asks for it.
// The writer makes a PDF of the record at path; false with the reason.
using CheckReportWriter =
    std::function<bool(const CheckRecord& record, const std::string& path, std::string& error)>;

void SetCheckReportWriter(CheckReportWriter writer);
// Empty when the program was built without its windows.
const CheckReportWriter& GetCheckReportWriter();

} // namespace quarnex
