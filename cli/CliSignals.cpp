#include "cli/CliSignals.h"

#include <csignal>

namespace quarnex {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void NoteStopSignal(int signal) {
    stopSignal = signal;
}

} // namespace

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = NoteStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A full disk or a file size limit makes a write fail with its reason instead of ending the
    // program before it could put anything back.
    std::signal(SIGXFSZ, SIG_IGN);
}

bool StopRequested() {
    return stopSignal != 0;
}

int StopSignal() {
    return stopSignal;
}

} // namespace quarnex
