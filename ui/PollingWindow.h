#pragma once

#include "ui/TickTimer.h"

#include <functional>

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
        closed_ = false;
        const int period = PollOpen();
        Render();
        timer_.Rearm(period);
    }
    // One tick. Tests call it directly after SetManualTicks(true). A window whose logic polls
    // on the bus session gets the tick's result later: it is rendered then and the timer re-armed
    // only then, so ticks never pile up (at once with an inline session).
    void OnTimer() {
        timer_.Stop();
        if (tickOut_)
            return; // the tick that is out re-arms the timer when it comes back
        tickOut_ = true;
        const bool submitted = PollTickThen([this](int next) {
            tickOut_ = false;
            Render();
            if (paused_ == 0 && !closed_)
                timer_.Rearm(next);
        });
        if (submitted)
            return;
        tickOut_ = false;
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
        ++paused_;
        const int period = run();
        --paused_;
        if (!closed_)
            timer_.Rearm(period);
    }
    // The window is closing: no tick after this, not even from a tick still out.
    void StopPolling() {
        closed_ = true;
        timer_.Stop();
    }
    // Starts the timer at once, whatever the manual switch says.
    void StartPollingNow() {
        closed_ = false;
        timer_.Start(0);
    }

    // The logic's opening read; returns the first period in ms.
    virtual int PollOpen() = 0;
    // One step of the logic; returns the next period in ms.
    virtual int PollTick() = 0;
    // A logic that polls on the bus session hands the tick over here and calls ticked with the
    // next period once its result is in; true when it did (PollTick is then not called).
    virtual bool PollTickThen(std::function<void(int next)> ticked) {
        (void)ticked;
        return false;
    }
    // Shows what the logic decided.
    virtual void Render() = 0;

private:
    TickTimer timer_;
    bool tickOut_ = false;
    int paused_ = 0;
    bool closed_ = false;
};

} // namespace quarnex
