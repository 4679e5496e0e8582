#include "session/BusSession.h"

#include "comm/ModbusMaster.h"

#include <algorithm>

namespace quarnex {

// The prompter a job talks to the user through. On the window thread (a hold, or inline mode)
// it is the window's prompter itself; on the session's thread each box waits for the window
// thread to show it. A session that stops before the box was shown answers it the safe way: No
// to a question, Cancel to the Retry/Cancel box. The wait cursor is the window's business: the
// window shows it while its job runs.
class BusSession::SessionAsker : public Prompter {
public:
    explicit SessionAsker(BusSession& session) : session_(session) {}

    void Message(Icon icon, const std::string& text, const std::string& caption) override {
        Do([&](Prompter& p) { p.Message(icon, text, caption); });
    }
    bool AskYesNo(Icon icon, const std::string& text, const std::string& caption) override {
        bool yes = false;
        Do([&](Prompter& p) { yes = p.AskYesNo(icon, text, caption); });
        return yes;
    }
    bool AskDestructive(Icon icon, const std::string& text, const std::string& caption) override {
        bool yes = false;
        Do([&](Prompter& p) { yes = p.AskDestructive(icon, text, caption); });
        return yes;
    }
    bool AskRetryCancel(const std::string& text) override {
        bool retry = false;
        Do([&](Prompter& p) { retry = p.AskRetryCancel(text); });
        return retry;
    }
    void BeginWaitCursor() override {
        if (OnWindowThread())
            session_.windowPrompter_.BeginWaitCursor();
    }
    void EndWaitCursor() override {
        if (OnWindowThread())
            session_.windowPrompter_.EndWaitCursor();
    }

private:
    bool OnWindowThread() const {
        return session_.mode_ == Mode::Inline ||
               std::this_thread::get_id() == session_.windowThread_;
    }
    void Do(const std::function<void(Prompter&)>& ask) {
        if (OnWindowThread())
            ask(session_.windowPrompter_);
        else
            session_.Ask(ask);
    }

    BusSession& session_;
};

bool BusSession::Shared::IsOpen(OwnerId owner) const {
    return std::find(open.begin(), open.end(), owner) != open.end();
}

BusSession::BusSession(ModbusMaster& master, Delivery& delivery, Prompter& windowPrompter,
                       Mode mode)
    : master_(master), delivery_(delivery), windowPrompter_(windowPrompter), mode_(mode),
      windowThread_(std::this_thread::get_id()), shared_(std::make_shared<Shared>()),
      asker_(std::make_unique<SessionAsker>(*this)) {
    if (mode_ == Mode::Threaded)
        thread_ = std::thread([this] { Run(); });
}

BusSession::~BusSession() {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->stopping = true;
        shared_->open.clear();
        queue_.clear();
        cancelRunning_ = true;
    }
    shared_->changed.notify_all();
    if (thread_.joinable())
        thread_.join();
}

BusSession::OwnerId BusSession::OpenOwner() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    const OwnerId owner = nextOwner_++;
    shared_->open.push_back(owner);
    return owner;
}

void BusSession::Cancel(OwnerId owner) {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                                [owner](const Queued& q) { return q.owner == owner; }),
                 queue_.end());
    if (running_ == owner)
        cancelRunning_ = true;
}

void BusSession::CloseOwner(OwnerId owner) {
    Cancel(owner);
    std::lock_guard<std::mutex> lock(shared_->mutex);
    auto& open = shared_->open;
    open.erase(std::remove(open.begin(), open.end(), owner), open.end());
}

bool BusSession::Submit(OwnerId owner, std::function<void(Job&)> work, std::function<void()> done,
                        uint64_t coalesceKey) {
    if (mode_ == Mode::Inline) {
        Queued job{owner, coalesceKey, std::move(work), std::move(done)};
        {
            std::lock_guard<std::mutex> lock(shared_->mutex);
            if (!shared_->IsOpen(owner))
                return false;
        }
        RunJob(job);
        return true;
    }
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->stopping || !shared_->IsOpen(owner))
            return false;
        if (coalesceKey != 0 && std::any_of(queue_.begin(), queue_.end(), [&](const Queued& q) {
                return q.owner == owner && q.key == coalesceKey;
            }))
            return false;
        queue_.push_back({owner, coalesceKey, std::move(work), std::move(done)});
    }
    shared_->changed.notify_all();
    return true;
}

void BusSession::Run() {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    for (;;) {
        shared_->changed.wait(
            lock, [this] { return shared_->stopping || (!queue_.empty() && holds_ == 0); });
        if (shared_->stopping)
            return;
        Queued job = std::move(queue_.front());
        queue_.pop_front();
        running_ = job.owner;
        cancelRunning_ = false;
        lock.unlock();
        RunJob(job);
        lock.lock();
        running_ = 0;
        shared_->changed.notify_all();
    }
}

void BusSession::RunJob(Queued& queued) {
    Job job(*this, queued.owner);
    queued.work(job);
    if (queued.done)
        PostFor(queued.owner, std::move(queued.done));
}

void BusSession::PostFor(OwnerId owner, std::function<void()> call) {
    if (mode_ == Mode::Inline) {
        {
            std::lock_guard<std::mutex> lock(shared_->mutex);
            if (!shared_->IsOpen(owner))
                return;
        }
        call();
        return;
    }
    delivery_.Post([shared = shared_, owner, call = std::move(call)] {
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            if (!shared->IsOpen(owner))
                return;
        }
        call();
    });
}

bool BusSession::Job::CancelAsked() const {
    if (session_.cancelRunning_)
        return true;
    // Inline jobs are not the "running" job of the thread: their owner's state tells.
    std::lock_guard<std::mutex> lock(session_.shared_->mutex);
    return session_.shared_->stopping || !session_.shared_->IsOpen(owner_);
}

void BusSession::Job::Post(std::function<void()> call) const {
    session_.PostFor(owner_, std::move(call));
}

Prompter& BusSession::Asker() {
    return *asker_;
}

bool BusSession::Ask(const std::function<void(Prompter&)>& ask) {
    auto question = std::make_shared<Question>();
    question->ask = ask;
    std::unique_lock<std::mutex> lock(shared_->mutex);
    if (shared_->stopping)
        return false;
    shared_->questions.push_back(question);
    // The window thread shows it from its event loop, or at once when it is waiting in HoldBus.
    shared_->changed.notify_all();
    lock.unlock();
    delivery_.Post([this, shared = shared_] {
        std::unique_lock<std::mutex> lock(shared->mutex);
        if (!shared->stopping)
            AnswerQuestions(lock);
    });
    lock.lock();
    shared_->changed.wait(lock, [&] { return question->answered || shared_->stopping; });
    return question->answered;
}

void BusSession::AnswerQuestions(std::unique_lock<std::mutex>& lock) {
    while (!shared_->questions.empty()) {
        std::shared_ptr<Question> question = shared_->questions.front();
        shared_->questions.pop_front();
        lock.unlock();
        question->ask(windowPrompter_);
        lock.lock();
        question->answered = true;
        shared_->changed.notify_all();
    }
}

BusSession::Hold BusSession::HoldBus() {
    if (mode_ == Mode::Inline)
        return Hold(nullptr);
    std::unique_lock<std::mutex> lock(shared_->mutex);
    ++holds_;
    for (;;) {
        shared_->changed.wait(lock,
                              [this] { return running_ == 0 || !shared_->questions.empty(); });
        if (running_ == 0)
            break;
        // The running job asks something: the window thread is here, so it shows it here.
        AnswerQuestions(lock);
    }
    return Hold(this);
}

BusSession::Hold::~Hold() {
    if (!session_)
        return;
    {
        std::lock_guard<std::mutex> lock(session_->shared_->mutex);
        --session_->holds_;
    }
    session_->shared_->changed.notify_all();
}

size_t BusSession::QueuedCount() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return queue_.size();
}

bool BusSession::Idle() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return queue_.empty() && running_ == 0;
}

ProgressRelay::ProgressRelay(const BusSession::Job& job, Progress& window)
    : job_(job), window_(window), cancelled_(std::make_shared<std::atomic<bool>>(false)) {}

void ProgressRelay::Forward(std::function<void(Progress&)> call) {
    // The window's progress is read on the window thread only; its Cancel comes back with the
    // next position the job reports.
    job_.Post([&window = window_, cancelled = cancelled_, call = std::move(call)] {
        call(window);
        if (window.CancelAsked())
            *cancelled = true;
    });
}

void ProgressRelay::SetRange(int low, int high) {
    Forward([low, high](Progress& p) { p.SetRange(low, high); });
}

void ProgressRelay::SetPos(int pos) {
    Forward([pos](Progress& p) { p.SetPos(pos); });
}

void ProgressRelay::SetText(const std::string& text) {
    Forward([text](Progress& p) { p.SetText(text); });
}

bool ProgressRelay::CancelAsked() const {
    return *cancelled_ || job_.CancelAsked();
}

TrafficRelay::TrafficRelay(Delivery& delivery, TrafficObserver& target)
    : delivery_(delivery), target_(std::make_shared<std::atomic<TrafficObserver*>>(&target)) {}

void TrafficRelay::OnAttempt(const TrafficRecord& record) {
    if (!target_->load())
        return;
    delivery_.Post([target = target_, record] {
        if (TrafficObserver* observer = target->load())
            observer->OnAttempt(record);
    });
}

void TrafficRelay::Detach() {
    target_->store(nullptr);
}

void QueueDelivery::Post(std::function<void()> call) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::move(call));
    }
    posted_.notify_all();
}

size_t QueueDelivery::RunPending() {
    size_t run = 0;
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (calls_.empty())
                return run;
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        call();
        ++run;
    }
}

bool QueueDelivery::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        RunPending();
        if (done())
            return true;
        std::unique_lock<std::mutex> lock(mutex_);
        if (!posted_.wait_until(lock, deadline, [this] { return !calls_.empty(); }))
            return done();
    }
}

} // namespace quarnex
