#pragma once

#include <QObject>
#include <QTimer>

namespace quarnex {

// The one timer of a polling window: single shot, stopped at the start of every tick and re-armed
// at its end with the period the window's logic returns, so a tick never overlaps itself. Tests
// switch it to manual ticks: they call the tick themselves and the timer is never re-armed.
class TickTimer {
public:
    TickTimer() { timer_.setSingleShot(true); }

    template <class Receiver, class Slot> void Connect(Receiver* receiver, Slot slot) {
        QObject::connect(&timer_, &QTimer::timeout, receiver, slot);
    }
    // The timer itself is the context: the call ends with the timer.
    template <class Function> void Connect(Function function) {
        QObject::connect(&timer_, &QTimer::timeout, &timer_, function);
    }
    // A negative period leaves it stopped: a window with nothing to poll (a set-up page in edit
    // mode) goes through the same plumbing.
    void Rearm(int periodMs) {
        if (!manual_ && periodMs >= 0)
            timer_.start(periodMs);
    }
    // Starts the timer whatever the manual switch says.
    void Start(int periodMs) { timer_.start(periodMs); }
    void Stop() { timer_.stop(); }

    bool Active() const { return timer_.isActive(); }
    int Interval() const { return timer_.interval(); }
    void SetManual(bool manual) { manual_ = manual; }

private:
    QTimer timer_;
    bool manual_ = false;
};

} // namespace quarnex
