#pragma once

#include "platform/Prompter.h"

#include <deque>
#include <string>
#include <vector>

namespace quarnex {

// A Prompter for tests: answers questions from a queue and records every box shown.
// A question with an empty queue is answered with the default answer (No / Cancel) and noted,
// so a test that forgot to script an answer sees it in the record instead of hanging.
class ScriptedPrompter : public Prompter {
public:
    enum class Kind { Message, YesNo, RetryCancel };
    struct Box {
        Kind kind;
        Icon icon;
        std::string text;
        std::string caption;
        bool answer = false; // for questions: what was answered
        bool unscripted = false;
        bool defaultNo = false; // a destructive question: No is the default button
    };

    void Message(Icon icon, const std::string& text, const std::string& caption = {}) override;
    bool AskYesNo(Icon icon, const std::string& text, const std::string& caption = {}) override;
    bool AskDestructive(Icon icon, const std::string& text,
                        const std::string& caption = {}) override;
    bool AskRetryCancel(const std::string& text) override;
    void BeginWaitCursor() override {
        ++waitDepth_;
        ++waitCursorShown_;
    }
    void EndWaitCursor() override { --waitDepth_; }

    // Queues the answer to the next question (Yes/Retry = true).
    void Answer(bool yesOrRetry) { answers_.push_back(yesOrRetry); }

    const std::vector<Box>& Boxes() const { return boxes_; }
    std::vector<std::string> Texts() const;
    // The text of the last box, or "" when none was shown.
    std::string LastText() const { return boxes_.empty() ? std::string() : boxes_.back().text; }
    void Clear() { boxes_.clear(); }
    size_t PendingAnswers() const { return answers_.size(); }
    int WaitDepth() const { return waitDepth_; }
    int WaitCursorShown() const { return waitCursorShown_; }

private:
    bool NextAnswer(Box& box);

    std::deque<bool> answers_;
    std::vector<Box> boxes_;
    int waitDepth_ = 0;
    int waitCursorShown_ = 0;
};

} // namespace quarnex
