#pragma once

#include "files/SetupFile.h"
#include "instrument/InstrumentSetup.h"

#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace quarnex {

// Writes a whole set-up into an open set-up file, every section in the backup's order with its
// marker and end line: FILE_ID (startTime), INSTR_ID (15 lines), USER_INFO (8 lines), SET_UP
// (normal, then special values), BATCH_SET_UP (5 + 24 x 26 lines), RECIPE_SET_UP (30 x 61 lines),
// STR_SET_UP, FILE_OK (the time from now() when it is written). Each line goes to the file as
// soon as it is built; the first failure ends the writing and is returned (its message shown), so
// a file that was not written to the end never has its FILE_OK section.
SetupFileStatus WriteSetupSections(SetupFile& file, const InstrumentSetup& setup,
                                   const std::vector<std::string>& userInfo, std::time_t startTime,
                                   const std::function<std::time_t()>& now, Prompter& owner);

} // namespace quarnex
