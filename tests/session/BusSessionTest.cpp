// The bus session against the simulated bus on a pseudo-terminal: jobs in order, polls that
// coalesce, owners that cancel and close, questions asked from a job, a progress window's Cancel.
// The test's own thread plays the window thread: it runs the deliveries with bounded waits.

#include "session/BusSession.h"

#include "support/BusFixture.h"
#include "support/ScriptedProgress.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace quarnex::test {
namespace {

using namespace std::chrono_literals;
constexpr auto kBound = 30s; // generous: nothing waits this long when it works

// A door a job waits at until the test opens it, so the test knows what is queued behind it.
class Gate {
public:
    void Open() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    // From the job: notes that it arrived, then waits for the door.
    void Pass() {
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_ = true;
        changed_.notify_all();
        changed_.wait_for(lock, kBound, [this] { return open_; });
    }
    bool WaitArrived() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kBound, [this] { return arrived_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    bool arrived_ = false;
};

class BusSessionTest : public BusFixture {
protected:
    void SetUp() override {
        BusFixture::SetUp();
        for (int a : {1, 2})
            banks_[a] = AddBank(a);
        MakeMaster();
        session_ = std::make_unique<BusSession>(*master_, delivery_, prompter_);
    }
    void TearDown() override {
        session_.reset();
        BusFixture::TearDown();
    }
    // Runs deliveries until every job given so far has ended and delivered: the jobs run in
    // order, so a last one's delivery comes after theirs.
    bool Settle() {
        bool done = false;
        const auto marker = session_->OpenOwner();
        session_->Submit(
            marker, [](BusSession::Job&) {}, [&] { done = true; });
        const bool settled = delivery_.RunUntil([&] { return done; }, kBound);
        session_->CloseOwner(marker);
        return settled;
    }
    // A job that reads register 40001 + reg at address and keeps the value.
    std::function<void(BusSession::Job&)> Read(int address, int reg, std::vector<int>& got) {
        return [address, reg, &got](BusSession::Job& job) {
            uint16_t value = 0;
            if (job.Master().ReadHoldingRegisters(address, 40001 + reg, 1, &value) ==
                CommStatus::Ok)
                got.push_back(value);
        };
    }

    std::shared_ptr<sim::RegisterBank> banks_[3];
    QueueDelivery delivery_;
    std::unique_ptr<BusSession> session_;
};

TEST_F(BusSessionTest, JobsRunInOrderOnTheSessionThreadAndDeliverOnTheWindowThread) {
    banks_[1]->Set(0, 11);
    banks_[2]->Set(1, 22);
    const auto a = session_->OpenOwner(), b = session_->OpenOwner();
    std::vector<int> got;
    std::vector<std::string> delivered;
    const auto window = std::this_thread::get_id();
    bool jobsOffWindow = true, doneOnWindow = true;
    const auto off = [&](BusSession::Job&) {
        jobsOffWindow &= std::this_thread::get_id() != window;
    };
    for (int i = 0; i < 3; ++i) {
        const auto owner = i % 2 ? b : a;
        const int address = i % 2 ? 2 : 1;
        ASSERT_TRUE(session_->Submit(
            owner,
            [&, address, i, read = Read(address, address - 1, got)](BusSession::Job& job) {
                off(job);
                read(job);
            },
            [&, i] {
                doneOnWindow &= std::this_thread::get_id() == window;
                delivered.push_back("job " + std::to_string(i));
            }));
    }
    ASSERT_TRUE(Settle());
    EXPECT_EQ(got, (std::vector<int>{11, 22, 11}));
    EXPECT_EQ(delivered, (std::vector<std::string>{"job 0", "job 1", "job 2"}));
    EXPECT_TRUE(jobsOffWindow);
    EXPECT_TRUE(doneOnWindow);
    // On the bus in the same order.
    const auto requests = bus_.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0][0], 1);
    EXPECT_EQ(requests[1][0], 2);
    EXPECT_EQ(requests[2][0], 1);
}

TEST_F(BusSessionTest, AQueuedPollIsNotQueuedAgainAndOtherKeysOrOwnersAre) {
    const auto owner = session_->OpenOwner(), other = session_->OpenOwner();
    Gate gate;
    ASSERT_TRUE(session_->Submit(owner, [&](BusSession::Job&) { gate.Pass(); }));
    ASSERT_TRUE(gate.WaitArrived());
    std::vector<int> got;
    constexpr uint64_t kPoll = 1, kOther = 2;
    EXPECT_TRUE(session_->Submit(owner, Read(1, 0, got), {}, kPoll));
    EXPECT_FALSE(session_->Submit(owner, Read(1, 0, got), {}, kPoll));
    EXPECT_TRUE(session_->Submit(owner, Read(1, 0, got), {}, kOther));
    EXPECT_TRUE(session_->Submit(other, Read(1, 0, got), {}, kPoll));
    EXPECT_EQ(session_->QueuedCount(), 3u);
    gate.Open();
    ASSERT_TRUE(Settle());
    EXPECT_EQ(got.size(), 3u);
    // Once it ran, the same poll may be queued again.
    EXPECT_TRUE(session_->Submit(owner, Read(1, 0, got), {}, kPoll));
    ASSERT_TRUE(Settle());
    EXPECT_EQ(got.size(), 4u);
}

// A window closes while its job runs and with more queued: the running job is told to stop,
// nothing queued runs, nothing is delivered to the window; another window's work goes on.
TEST_F(BusSessionTest, AClosedOwnersJobsAreDroppedAndItsRunningJobsResultDiscarded) {
    const auto closing = session_->OpenOwner(), staying = session_->OpenOwner();
    Gate gate;
    bool sawCancel = false, closedDelivered = false, closedPosted = false;
    ASSERT_TRUE(session_->Submit(
        closing,
        [&](BusSession::Job& job) {
            gate.Pass();
            sawCancel = job.CancelAsked();
            job.Post([&] { closedPosted = true; });
        },
        [&] { closedDelivered = true; }));
    ASSERT_TRUE(gate.WaitArrived());
    std::vector<int> closedReads, stayingReads;
    ASSERT_TRUE(
        session_->Submit(closing, Read(1, 0, closedReads), [&] { closedDelivered = true; }));
    bool stayingDelivered = false;
    ASSERT_TRUE(
        session_->Submit(staying, Read(1, 0, stayingReads), [&] { stayingDelivered = true; }));
    session_->CloseOwner(closing);
    EXPECT_FALSE(session_->Submit(closing, Read(1, 0, closedReads)));
    gate.Open();
    ASSERT_TRUE(Settle());
    EXPECT_TRUE(sawCancel);
    EXPECT_FALSE(closedDelivered);
    EXPECT_FALSE(closedPosted);
    EXPECT_TRUE(closedReads.empty());
    EXPECT_EQ(stayingReads.size(), 1u);
    EXPECT_TRUE(stayingDelivered);
    session_->CloseOwner(closing); // twice is harmless
}

TEST_F(BusSessionTest, CancelStopsTheRunningJobButStillDeliversWhatItFound) {
    const auto owner = session_->OpenOwner();
    Gate gate;
    int transactions = 0;
    bool delivered = false;
    ASSERT_TRUE(session_->Submit(
        owner,
        [&](BusSession::Job& job) {
            gate.Pass();
            uint16_t value = 0;
            // A long operation checks between two transactions.
            while (!job.CancelAsked() && transactions < 1000) {
                job.Master().ReadHoldingRegisters(1, 40001, 1, &value);
                ++transactions;
            }
        },
        [&] { delivered = true; }));
    std::vector<int> queued;
    ASSERT_TRUE(session_->Submit(owner, Read(1, 0, queued)));
    ASSERT_TRUE(gate.WaitArrived());
    session_->Cancel(owner);
    gate.Open();
    ASSERT_TRUE(Settle());
    EXPECT_TRUE(delivered);
    EXPECT_EQ(transactions, 0);
    EXPECT_TRUE(queued.empty());
}

// The Retry/Cancel box of a transaction that found the instrument silent: asked from the job,
// shown on the window thread, and the job carries on with the answer (Retry, then Cancel).
TEST_F(BusSessionTest, AJobAsksTheWindowThreadAndCarriesOnWithTheAnswer) {
    bus_.Detach(2);
    prompter_.Answer(true);
    prompter_.Answer(false);
    const auto owner = session_->OpenOwner();
    CommStatus status = CommStatus::Ok;
    int attempts = 0;
    bool done = false;
    ASSERT_TRUE(session_->Submit(
        owner,
        [&](BusSession::Job& job) {
            uint16_t value = 0;
            status = job.Master().ReadHoldingRegisters(
                2, 40001, 1, &value, {.showRetryBox = true, .owner = &job.Asker()});
            attempts = job.Master().LastAttempts();
        },
        [&] { done = true; }));
    ASSERT_TRUE(delivery_.RunUntil([&] { return done; }, kBound));
    EXPECT_EQ(status, CommStatus::NoResponse);
    EXPECT_EQ(attempts, 1);
    ASSERT_EQ(prompter_.Boxes().size(), 2u);
    EXPECT_EQ(prompter_.Boxes()[0].kind, ScriptedPrompter::Kind::RetryCancel);
    EXPECT_NE(prompter_.Boxes()[0].text.find("No responce from slave"), std::string::npos);
    EXPECT_EQ(bus_.RequestCount(2), 2u);
}

// The window thread holds the bus (a window that still talks to the master itself) while a job
// is asking: the hold shows the question itself instead of waiting for the event loop, and no
// job starts while it lasts.
TEST_F(BusSessionTest, HoldingTheBusAnswersTheRunningJobsQuestionAndKeepsJobsWaiting) {
    const auto owner = session_->OpenOwner();
    prompter_.Answer(true);
    bool answer = false;
    Gate running;
    running.Open();
    ASSERT_TRUE(session_->Submit(owner, [&](BusSession::Job& job) {
        running.Pass();
        answer = job.Asker().AskYesNo(Prompter::Icon::Question, "Go on?");
    }));
    ASSERT_TRUE(running.WaitArrived());
    std::vector<int> later;
    {
        auto hold = session_->HoldBus();
        EXPECT_TRUE(answer);
        ASSERT_TRUE(session_->Submit(owner, Read(1, 0, later)));
        uint16_t value = 0;
        EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value), CommStatus::Ok);
        EXPECT_EQ(session_->QueuedCount(), 1u);
    }
    ASSERT_TRUE(Settle());
    EXPECT_EQ(later.size(), 1u);
    EXPECT_EQ(prompter_.Texts(), (std::vector<std::string>{"Go on?"}));
}

// The program ends while a job waits for an answer nobody will give: the question is answered
// No, the job ends, nothing hangs.
TEST_F(BusSessionTest, ASessionEndingWhileAJobAsksAnswersNo) {
    const auto owner = session_->OpenOwner();
    Gate asked;
    bool answer = true;
    ASSERT_TRUE(session_->Submit(owner, [&](BusSession::Job& job) {
        asked.Pass();
        answer = job.Asker().AskYesNo(Prompter::Icon::Question, "Go on?");
    }));
    asked.Open();
    ASSERT_TRUE(asked.WaitArrived());
    session_.reset(); // the question's delivery is never run
    EXPECT_FALSE(answer);
    delivery_.RunPending(); // the late delivery finds the session gone and does nothing
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(BusSessionTest, AProgressWindowsCancelReachesTheJobBetweenTransactions) {
    const auto owner = session_->OpenOwner();
    ScriptedProgress window;
    window.CancelAfter(3);
    int transactions = 0;
    bool done = false;
    ASSERT_TRUE(session_->Submit(
        owner,
        [&](BusSession::Job& job) {
            ProgressRelay progress(job, window);
            progress.SetRange(0, 100);
            uint16_t value = 0;
            for (int i = 0; i < 100 && !progress.CancelAsked(); ++i) {
                job.Master().ReadHoldingRegisters(1, 40001, 1, &value);
                ++transactions;
                progress.SetPos(i);
            }
        },
        [&] { done = true; }));
    ASSERT_TRUE(delivery_.RunUntil([&] { return done; }, kBound));
    EXPECT_LT(transactions, 100);
    EXPECT_GE(window.Positions().size(), 3u);
    EXPECT_EQ(window.Ranges().size(), 1u);
}

TEST(BusSessionInline, RunsEachJobAndItsDeliveryBeforeSubmitReturns) {
    Profile profile;
    ScriptedPrompter prompter;
    ModbusMaster master(profile, prompter);
    QueueDelivery delivery;
    BusSession session(master, delivery, prompter, BusSession::Mode::Inline);
    const auto owner = session.OpenOwner();
    std::vector<std::string> steps;
    prompter.Answer(true);
    EXPECT_TRUE(session.Submit(
        owner,
        [&](BusSession::Job& job) {
            steps.push_back(job.Asker().AskYesNo(Prompter::Icon::Question, "Sure?") ? "yes" : "no");
        },
        [&] { steps.push_back("done"); }));
    EXPECT_EQ(steps, (std::vector<std::string>{"yes", "done"}));
    EXPECT_EQ(delivery.RunPending(), 0u);
    session.CloseOwner(owner);
    EXPECT_FALSE(session.Submit(owner, [&](BusSession::Job&) { steps.push_back("late"); }));
    EXPECT_EQ(steps.size(), 2u);
}

} // namespace
} // namespace quarnex::test
