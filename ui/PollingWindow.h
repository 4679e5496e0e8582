#pragma once

#include "ui/TickTimer.h"

namespace quarnex {

// The polling plumbing of a window that ticks (instrument panel, information, levels, shunt):
// one single-shot timer, stopped at the start of every tick and re-armed at its end with the
// period the window's logic returns, so a tick never overlaps itself, and stopped while a child
// window runs (a modal exec() runs a nested event loop in which a running timer would fire and
// poll the bus between the user's answer and the child's own traffic). A window derives from
// its Qt dialog class and from this.
class PollingWindow {
public:
    virtual ~PollingWindow() = default;

    // The logic's first read, the first render, then the timer with the period the read chose.
    void Start() {
        const int period = PollOpen();
        Render();
        timer_.Rearm(period);
    }
    // One tick. Tests call it directly after SetManualTicks(true).
    void OnTimer() {
        timer_.Stop();
        const int next = PollTick();
        Render();
        timer_.Rearm(next);
    }

    bool TimerActive() const { return timer_.Active(); }
    int TimerInterval() const { return timer_.Interval(); }
    // Tests drive the ticks themselves: the timer is then never re-armed.
    void SetManualTicks(bool manual) { timer_.SetManual(manual); }

protected:
    PollingWindow() {
        timer_.Connect([this] { OnTimer(); });
    }

    // Runs a child window (or anything else that must not be interrupted by a tick) with the
    // timer stopped; run returns the period to re-arm with.
    template <class Run> void WithTimerStopped(Run run) {
        timer_.Stop();
        timer_.Rearm(run());
    }
    // The window is closing: no tick after this.
    void StopPolling() { timer_.Stop(); }
    // Starts the timer at once, whatever the manual switch says.
    void StartPollingNow() { timer_.Start(0); }

    // The logic's opening read; returns the first period in ms.
    virtual int PollOpen() = 0;
    // One step of the logic; returns the next period in ms.
    virtual int PollTick() = 0;
    // Shows what the logic decided.
    virtual void Render() = 0;

private:
    TickTimer timer_;
};

} // namespace quarnex
