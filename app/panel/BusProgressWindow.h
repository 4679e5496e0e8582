#pragma once

#include "comm/TrafficRecorder.h"
#include "ui/ProgressDialog.h"

#include <QPointer>
#include <QWidget>

#include <climits>
#include <cstdint>
#include <memory>
#include <string>

namespace quarnex {

class ModbusMaster;

// Watches a long run of bus transactions made in the caller's loop (opening the set-up sheet
// reads some 70 registers blocks, 6.5 s at 9600 baud). Once the run has taken about a second, a
// progress window over owner shows text and the number of requests so far; after every answered
// request the program handles its waiting events other than the user's input, so the windows
// repaint (a closed question box does not stay painted over the panel) while the one thread
// keeps talking. Other watchers of the bus (the traffic window) are still told of every attempt.
class BusProgressWindow : public TrafficObserver {
public:
    static constexpr int64_t kShowAfterMs = 1000;

    BusProgressWindow(ModbusMaster& bus, QWidget* owner, std::string text);
    ~BusProgressWindow() override;
    BusProgressWindow(const BusProgressWindow&) = delete;
    BusProgressWindow& operator=(const BusProgressWindow&) = delete;

    void OnAttempt(const TrafficRecord& record) override;

    int Requests() const { return requests_; }
    // The window, once it is up (tests).
    const ProgressDialog* Window() const { return window_.get(); }
    // Tests of a simulated bus that answers at once show the window from the first request.
    void SetShowAfter(int64_t ms) { showAfterMs_ = ms; }
    // For every window made from now on. Window tests that answer modal windows from zero-time
    // timers turn the window off: its event handling would run their timers early.
    static void SetShowAfterForAll(int64_t ms) { defaultShowAfterMs_ = ms; }
    static constexpr int64_t kNever = INT64_MAX;

private:
    ModbusMaster& bus_;
    TrafficObserver* previous_;
    QPointer<QWidget> owner_;
    std::string text_;
    int64_t startedMs_;
    int64_t showAfterMs_ = defaultShowAfterMs_;
    static inline int64_t defaultShowAfterMs_ = kShowAfterMs;
    int requests_ = 0;
    std::unique_ptr<ProgressDialog> window_;
};

} // namespace quarnex
