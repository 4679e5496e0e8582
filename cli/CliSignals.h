#pragma once

namespace quarnex {

// Ctrl+C and SIGTERM in quarnex-cli: the handlers only note the signal. The command sees it at its
// next step (through its progress, or in its own loop), ends the way a failure would end it,
// leaving a remote mode it entered while the instrument still answers, and the port is closed,
// which gives the device back its settings and its sharing, before the program exits.
void InstallStopSignals();
// True once SIGINT or SIGTERM arrived (always false where InstallStopSignals was not called).
bool StopRequested();
// The signal that asked, 0 for none.
int StopSignal();

} // namespace quarnex
