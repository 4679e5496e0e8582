#pragma once

#include "comm/TrafficRecorder.h"
#include "platform/Delivery.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace quarnex {

class ModbusMaster;

// One link's bus, worked by a thread of its own so that the windows never wait on it. The
// session's thread owns the link's master and link: it runs the jobs the windows give it one at
// a time, in the order given (RTU is half duplex: one link is one queue), and hands each job's
// result back to the window thread through a Delivery. Every link gets a session of its own.
//
// Who may touch the master: a job while it runs, and the window thread while it holds the bus
// (HoldBus, for the windows that still talk to the master themselves). Nobody else.
//
// A window is an owner: it opens one, gives its jobs under it and closes it when it goes away.
// Closing drops the owner's queued jobs, asks its running job to stop at its next safe point and
// throws away whatever that job still delivers, so a result never reaches a window that is gone.
//
// Inline mode runs each job at once on the caller's thread and delivers its result before Submit
// returns: the window tests use it where they need every poll to happen at a known moment.
class BusSession {
public:
    enum class Mode { Threaded, Inline };
    using OwnerId = uint64_t;

    // What a job has while it runs on the session's thread.
    class Job {
    public:
        ModbusMaster& Master() const { return session_.master_; }
        // Boxes and questions for the user: shown by the window thread while the job waits for
        // the answer. Pass it wherever the bus code takes a Prompter.
        Prompter& Asker() const { return session_.Asker(); }
        // True once the owner cancelled or closed, or the session is stopping: the job ends at
        // its next safe point (between two transactions).
        bool CancelAsked() const;
        // Runs call on the window thread later, unless the owner has closed by then.
        void Post(std::function<void()> call) const;
        OwnerId Owner() const { return owner_; }

    private:
        friend class BusSession;
        Job(BusSession& session, OwnerId owner) : session_(session), owner_(owner) {}
        BusSession& session_;
        OwnerId owner_;
    };

    // The window thread holds the bus: no job runs until the hold ends. See HoldBus.
    class Hold {
    public:
        Hold(Hold&& other) noexcept : session_(other.session_) { other.session_ = nullptr; }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        Hold& operator=(Hold&&) = delete;
        ~Hold();

    private:
        friend class BusSession;
        explicit Hold(BusSession* session) : session_(session) {}
        BusSession* session_;
    };

    // master: the link's master, used by nobody else from now on but the session's jobs and
    // the holds. windowPrompter: the boxes of the window thread, where the jobs' questions go.
    // Call on the window thread: it is the thread questions and results come back to.
    BusSession(ModbusMaster& master, Delivery& delivery, Prompter& windowPrompter,
               Mode mode = Mode::Threaded);
    // Drops every queued job, answers a question still waiting with its safe default (No,
    // Cancel), asks the running job to stop and waits for it.
    ~BusSession();
    BusSession(const BusSession&) = delete;
    BusSession& operator=(const BusSession&) = delete;

    Mode GetMode() const { return mode_; }
    Delivery& GetDelivery() { return delivery_; }

    OwnerId OpenOwner();
    // The owner's queued jobs are dropped and its running job is asked to stop; nothing it
    // gave is delivered any more. Safe to call twice.
    void CloseOwner(OwnerId owner);
    // The owner's queued jobs are dropped and its running job is asked to stop; what the
    // running job delivers still arrives (a window that stays open, stopping a long operation).
    void Cancel(OwnerId owner);

    // Queues work for owner; done runs on the window thread once work has ended (not when the
    // owner has closed by then). With a coalesceKey (not 0), a job of the same owner and key
    // that is still queued makes this one unnecessary: nothing is queued and false returned.
    bool Submit(OwnerId owner, std::function<void(Job&)> work, std::function<void()> done = {},
                uint64_t coalesceKey = 0);

    // For a window that talks to the master itself on the window thread: waits until the
    // running job (if any) has ended, showing the questions it asks meanwhile, and keeps every
    // other job from starting until the Hold is destroyed. Holds nest.
    [[nodiscard]] Hold HoldBus();

    // The boxes of whatever runs on the link: shown directly on the window thread, and from a job
    // while the job waits. The link's master is built with it, so that its own messages (a port
    // that cannot be opened, a connect refused) reach the user from either thread.
    Prompter& Asker();

    // Jobs queued or running (for tests and the bench).
    size_t QueuedCount() const;
    bool Idle() const;

private:
    struct Queued {
        OwnerId owner;
        uint64_t key;
        std::function<void(Job&)> work;
        std::function<void()> done;
    };
    // A question a job waits on: asked on the window thread, answered there.
    struct Question {
        std::function<void(Prompter&)> ask;
        bool answered = false;
    };
    // What the calls posted to the window thread need after the session may be gone.
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<std::shared_ptr<Question>> questions;
        std::deque<OwnerId> open; // few owners: a window each
        bool stopping = false;
        bool IsOpen(OwnerId owner) const;
    };
    class SessionAsker;

    void Run();
    void RunJob(Queued& job);
    void PostFor(OwnerId owner, std::function<void()> call);
    // From a job: asks on the window thread and waits; false when the session stopped first.
    bool Ask(const std::function<void(Prompter&)>& ask);
    // On the window thread: answers the waiting questions. lock holds shared_->mutex.
    void AnswerQuestions(std::unique_lock<std::mutex>& lock);

    ModbusMaster& master_;
    Delivery& delivery_;
    Prompter& windowPrompter_;
    const Mode mode_;
    const std::thread::id windowThread_;
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<Prompter> asker_;
    // Guarded by shared_->mutex:
    std::deque<Queued> queue_;
    OwnerId nextOwner_ = 1;
    OwnerId running_ = 0; // the owner of the running job, 0 when none runs
    int holds_ = 0;
    std::atomic<bool> cancelRunning_{false};
    std::thread thread_;
};

// The progress of a job, shown by a progress window of the window thread: positions and texts go
// there as posted calls, and the window's Cancel reaches the job through CancelAsked at its next
// check (the job's own cancel counts too).
class ProgressRelay : public Progress {
public:
    ProgressRelay(const BusSession::Job& job, Progress& window);

    void SetRange(int low, int high) override;
    void SetPos(int pos) override;
    void SetText(const std::string& text) override;
    bool CancelAsked() const override;

private:
    void Forward(std::function<void(Progress&)> call);

    const BusSession::Job& job_;
    Progress& window_;
    std::shared_ptr<std::atomic<bool>> cancelled_;
};

// Feeds the traffic of a session's master to an observer of the window thread: each attempt is
// posted there as a copy, so the recorder the traffic window reads is only ever touched on the
// window thread. Install it on the master while holding the bus.
class TrafficRelay : public TrafficObserver {
public:
    TrafficRelay(Delivery& delivery, TrafficObserver& target);
    // Called on the session's thread (or the window thread while it holds the bus).
    void OnAttempt(const TrafficRecord& record) override;
    // Records posted after this are dropped (the target is going away).
    void Detach();

private:
    Delivery& delivery_;
    std::shared_ptr<std::atomic<TrafficObserver*>> target_;
};

// A polling window's tick on its session: the window's state is copied to the session's thread,
// run reads the instrument into the copy there (returning the period until the next tick), and the
// copy replaces state on the window thread before ticked(period). tickOut is true while the tick
// is out; a tick asked for meanwhile is refused (false), and so is one the session would not queue.
// state and tickOut belong to the owner, whose results are dropped once it has closed.
template <class State>
bool SubmitSnapshotTick(BusSession& session, BusSession::OwnerId owner, bool& tickOut, State& state,
                        int firstPeriodMs, std::function<int(State&, ModbusMaster&, Prompter&)> run,
                        std::function<void(int period)> ticked) {
    if (tickOut)
        return false;
    auto work = std::make_shared<State>(state);
    auto period = std::make_shared<int>(firstPeriodMs);
    tickOut = true;
    const bool queued = session.Submit(
        owner,
        [work, period, run = std::move(run)](BusSession::Job& job) {
            *period = run(*work, job.Master(), job.Asker());
        },
        [&tickOut, &state, work, period, ticked = std::move(ticked)] {
            tickOut = false;
            state = std::move(*work);
            if (ticked)
                ticked(*period);
        },
        1);
    if (!queued)
        tickOut = false;
    return queued;
}

// A Prompter whose boxes go where it is pointed later: the master of a session is built before
// the session whose Asker it should use.
class PromptForwarder : public Prompter {
public:
    explicit PromptForwarder(Prompter& target) : target_(&target) {}
    void SetTarget(Prompter& target) { target_ = &target; }

    void Message(Icon icon, const std::string& text, const std::string& caption = {}) override {
        target_->Message(icon, text, caption);
    }
    bool AskYesNo(Icon icon, const std::string& text, const std::string& caption = {}) override {
        return target_->AskYesNo(icon, text, caption);
    }
    bool AskDestructive(Icon icon, const std::string& text,
                        const std::string& caption = {}) override {
        return target_->AskDestructive(icon, text, caption);
    }
    bool AskRetryCancel(const std::string& text) override { return target_->AskRetryCancel(text); }
    void BeginWaitCursor() override { target_->BeginWaitCursor(); }
    void EndWaitCursor() override { target_->EndWaitCursor(); }

private:
    Prompter* target_;
};

// A Delivery whose calls run when its owner runs them: the window thread of the tests, the bench
// and the command line.
class QueueDelivery : public Delivery {
public:
    void Post(std::function<void()> call) override;
    // Runs the calls posted so far (and those they post); the number run.
    size_t RunPending();
    // Runs posted calls as they come until done() holds (checked after each) or timeout has
    // passed; false on the time-out.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> calls_;
};

} // namespace quarnex
