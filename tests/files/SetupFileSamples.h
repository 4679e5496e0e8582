#pragma once

#include <string>

namespace quarnex {

// A small complete set-up file as the backup writes it (CR LF), with the identification block of
// a KEL 7, two set-up values, one activity value, one recipe value and two strings.
inline std::string SampleSetupFile(const std::string& eol = "\r\n") {
    const std::string lines[] = {
        "[FILE_ID]",
        "2011-05-03  14:22:10",
        "[End]",
        "[INSTR_ID]",
        "40200\t2003.000000\tInstrument type:\tKEL 7 ",
        "40202\t7310.000000\tProgram number:\t7310 ",
        "40204\t104.000000\tProgram version:\t104 ",
        "40208\t98765.000000\tSerial number:\t09-8765 ",
        "40370\t18.000000\tEnabled software options:\t18 ",
        "40372\t41400.000000\tFirst batch set-up reg:\t41400 ",
        "40374\t605.000000\tNumber of batch set-up:\t605 ",
        "40376\t43100.000000\tFirst string set-up reg:\t43100 ",
        "40378\t54.000000\tNumber of string set-up:\t54 ",
        "40380\t41000.000000\tFirst normal set-up reg:\t41000 ",
        "40382\t159.000000\tNumber of normal set-up:\t159 ",
        "40384\t41338.000000\tFirst special set-up reg:\t41338 ",
        "40386\t5.000000\tNumber of special set-up:\t5 ",
        "40394\t1310.000000\tSet-up version:\t1310 ",
        "40396\t2.000000\tSet-up data version:\t2 ",
        "[End]",
        "[USER_INFO]",
        "2011-05-03  14:22",
        "Instrument type: KEL 7 Recipe Batcher",
        "Instrument address: 12",
        "",
        "",
        "",
        "",
        "",
        "[End]",
        "[SET_UP]",
        "41000\t3.000000\tMeasurement unit:\tkg ",
        "41002\t-0.500000\tZero tracking:\t-0.5 kg",
        "[End]",
        "[BATCH_SET_UP]",
        "41410\t1.000000\tActivity:\t01 ",
        "41412\t12.500000\t01:Set point:\t12.50 kg",
        "[End]",
        "[RECIPE_SET_UP]",
        "41462\t1.000000\tRecipe:\t01 ",
        "41464\t4.000000\tLine 01, Activity:\t4 ",
        "[End]",
        "[STR_SET_UP]",
        "43100\tSAND  A\tActivity 1 name:\tSAND  A",
        "43106\t\tActivity 2 name:\t",
        "[End]",
        "[FILE_OK]",
        "2011-05-03  14:23:01",
        "[End]",
    };
    std::string out;
    for (const std::string& line : lines)
        out += line + eol;
    return out;
}

} // namespace quarnex
