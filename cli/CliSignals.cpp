#include "cli/CliSignals.h"

#include <atomic>
#include <csignal>

namespace quarnex {

namespace {

// Set by the signal handler and read by the fleet's worker threads: an atomic, which a
// volatile sig_atomic_t is not between threads. Lock-free, so the handler may touch it.
std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void NoteStopSignal(int signal) {
    stopSignal.store(signal, std::memory_order_relaxed);
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
    return stopSignal.load(std::memory_order_relaxed) != 0;
}

int StopSignal() {
    return stopSignal.load(std::memory_order_relaxed);
}

} // namespace quarnex
