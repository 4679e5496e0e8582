#include "cli/CliFindSettings.h"

#include "cli/CliSignals.h"
#include "cli/CliTerminal.h"
#include "comm/ModbusMaster.h"
#include "monitor/SettingsSearch.h"
#include "platform/Clock.h"

#include <ostream>

namespace quarnex {

int RunFindSettings(ModbusMaster& master, const std::vector<int>& addresses, bool goOn, int retries,
                    Terminal& terminal) {
    if (master.Settings().Kind() != LinkKind::Serial) {
        terminal.Message("quarnex-cli: --find-settings tries the serial port's baud rates and "
                         "parities; over " +
                         master.Settings().LinkName() +
                         " they are set in the device server or gateway");
        return kExitArguments;
    }
    SettingsSearch search(master, addresses, goOn, retries);
    terminal.Message(search.LongestText());
    const int64_t t0 = MonotonicMs();
    LineSetting shown{0, 0};
    while (!StopRequested() && search.Step()) {
        if (!(search.Current() == shown)) {
            shown = search.Current();
            terminal.ProgressLine("find-settings: " + std::to_string(shown.baud) +
                                  " baud, parity " + shown.parity + " (" +
                                  std::to_string(search.SettingNumber()) + " of " +
                                  std::to_string(search.SettingCount()) + ")");
        }
    }
    const bool stopped = !search.Finished();
    search.Stop();
    terminal.EndLine();
    if (search.Failed())
        return kExitBus;
    std::ostream& out = terminal.Out();
    out << search.Summary() << '\n';
    if (search.OthersNotTried())
        out << search.OthersNotTriedText(true) << '\n';
    const double seconds = static_cast<double>(MonotonicMs() - t0) / 1000.0;
    char took[32];
    std::snprintf(took, sizeof took, "%.1f", seconds);
    terminal.Message(std::string(stopped ? "stopped after " : "searched for ") + took + " s, " +
                     std::to_string(search.SettingNumber()) + " of " +
                     std::to_string(search.SettingCount()) + " settings tried");
    if (search.Results().empty())
        return stopped ? kExitStopped : kExitBus;
    const LineSetting& found = search.Results().front().setting;
    out << "to use them: quarnex-cli -b " << found.baud << " -p " << found.parity
        << " ... (in the windows: Options, Communication parameters)\n";
    return kExitDone;
}

} // namespace quarnex
