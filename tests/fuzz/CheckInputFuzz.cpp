// libFuzzer target for the answers of quarnex-cli check, split into lines as they come from
// standard input in chunks of any size: no byte is lost or made up, no line holds a line break or
// is longer than the limit.
#include "cli/CliCheck.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quarnex;
    if (size == 0)
        return 0;
    // The first byte chooses the size of the chunks the rest arrives in.
    const size_t chunk = 1 + data[0] % 64;
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string buffer, line, joined;
    for (size_t at = 0; at < input.size(); at += chunk) {
        buffer += input.substr(at, chunk);
        while (TakeCheckInputLine(buffer, line)) {
            if (line.find('\n') != std::string::npos || line.size() > kMaxCheckInputLine)
                std::abort();
            joined += line;
        }
    }
    joined += buffer;
    // Only line breaks and the CR before them go: every other byte comes through.
    const auto kept = [](const std::string& text) {
        size_t n = 0;
        for (char c : text)
            n += c != '\n' && c != '\r';
        return n;
    };
    if (joined.find('\n') != std::string::npos || kept(joined) != kept(input))
        std::abort();
    return 0;
}
