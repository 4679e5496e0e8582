#pragma once

#include <cstdint>

namespace quarnex {

// Monotonic time, unaffected by changes of the wall clock.
int64_t MonotonicNs();
int64_t MonotonicMs();

// True when the monotonic clock resolves one millisecond or better. The bus timing (inter-frame
// delay of a few milliseconds at high baud rates) depends on it.
bool ClockResolvesMillisecond();

// Blocks the calling thread for at least ms milliseconds. Values <= 0 or > 100000 return at once.
// Sleeps until shortly before the deadline, then spins the rest, so the wait never ends early and
// overshoots by well under a millisecond without burning the whole wait on the CPU.
void Delay(int ms);

// The same for an absolute deadline in MonotonicNs() time.
void DelayUntilNs(int64_t deadlineNs);

// Waits until fd is ready for events (poll's flags) or the deadline (MonotonicNs) passes; true
// when ready, with what poll reported in revents. A signal does not end the wait early.
bool WaitReady(int fd, short events, int64_t deadlineNs, short& revents);

} // namespace quarnex
