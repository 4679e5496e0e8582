#include "platform/Clock.h"

#include <cerrno>
#include <ctime>
#include <poll.h>

namespace quarnex {

namespace {

// How long before the deadline the sleep hands over to the spin. The kernel wakes a sleeping
// thread up to a few tens of microseconds late; this margin covers that with room to spare.
constexpr int64_t kSpinMarginNs = 200'000;

int64_t ToNs(const timespec& ts) {
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

} // namespace

int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ToNs(ts);
}

int64_t MonotonicMs() {
    return MonotonicNs() / 1'000'000;
}

bool ClockResolvesMillisecond() {
    timespec res{};
    if (clock_getres(CLOCK_MONOTONIC, &res) != 0)
        return false;
    return ToNs(res) <= 1'000'000;
}

void DelayUntilNs(int64_t deadlineNs) {
    const int64_t sleepUntil = deadlineNs - kSpinMarginNs;
    if (MonotonicNs() < sleepUntil) {
        timespec ts{};
        ts.tv_sec = static_cast<time_t>(sleepUntil / 1'000'000'000);
        ts.tv_nsec = static_cast<long>(sleepUntil % 1'000'000'000);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
        }
    }
    while (MonotonicNs() < deadlineNs) {
    }
}

void Delay(int ms) {
    if (ms <= 0 || ms > 100000)
        return;
    DelayUntilNs(MonotonicNs() + int64_t{ms} * 1'000'000);
}

bool WaitReady(int fd, short events, int64_t deadlineNs, short& revents) {
    for (;;) {
        const int64_t left = deadlineNs - MonotonicNs();
        if (left <= 0)
            return false;
        pollfd p{fd, events, 0};
        timespec ts{static_cast<time_t>(left / 1'000'000'000),
                    static_cast<long>(left % 1'000'000'000)};
        const int r = ppoll(&p, 1, &ts, nullptr);
        if (r > 0) {
            revents = p.revents;
            return true;
        }
        if (r < 0 && errno != EINTR)
            return false;
    }
}

} // namespace quarnex
