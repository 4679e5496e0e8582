// libFuzzer target for quarnex-cli's argument parser: the input is split into arguments at NUL
// bytes. Any arguments are either refused with a message or accepted, and a device path that is
// accepted is one the run can use exactly as given. Each argument as a backup's information text
// (--info) is broken into the file's lines without losing a character but the blanks it breaks
// at. A broken rule stops the run.
#include "FuzzRequire.h"
#include "cli/Cli.h"
#include "files/Backup.h"
#include "files/SetupFile.h"

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size && args.size() < 64; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back().push_back(static_cast<char>(data[i]));
    }
    for (const std::string& text : args) {
        size_t kept = 0;
        for (const std::string& line : quarnex::BackupInfoLines(text)) {
            // Stored whole: the file's line is this line (with a blank before a "["), never cut.
            const std::string stored = quarnex::SetupFile::UserInfoFileLine(line);
            Require(stored == line || stored == " " + line);
            for (char c : line)
                kept += c != ' ' && c != '\r' && c != '\n';
        }
        size_t typed = 0;
        for (char c : text)
            typed += c != ' ' && c != '\r' && c != '\n';
        Require(kept == typed);
    }
    std::string device = "\x01unset";
    const std::string error = quarnex::CheckCliArguments(args, &device);
    if (!error.empty()) {
        Require(device == "\x01unset");
        return 0;
    }
    bool named = false;
    for (size_t i = 0; i + 1 < args.size(); ++i)
        named = named || args[i] == "-d" || args[i] == "--device";
    Require(named || device.empty());
    for (unsigned char c : device)
        Require(c >= 0x20 && c != 0x7F);
    if (!device.empty())
        Require(!std::isspace(static_cast<unsigned char>(device.front())) &&
                !std::isspace(static_cast<unsigned char>(device.back())));
    return 0;
}
