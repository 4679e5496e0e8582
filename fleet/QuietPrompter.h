#pragma once

#include "platform/Prompter.h"

#include <string>

namespace quarnex {

// Nobody sits at a fleet run: a box becomes the reason of a failure, a question is answered No
// and a failed request is never retried by hand.
class QuietPrompter : public Prompter {
public:
    void Message(Icon, const std::string& text, const std::string&) override { Keep(text); }
    bool AskYesNo(Icon, const std::string& text, const std::string&) override {
        Keep(text);
        return false;
    }
    bool AskRetryCancel(const std::string& text) override {
        Keep(text);
        return false;
    }
    // The last message on one line, "" when none came since the last call.
    std::string Take() {
        std::string text;
        text.swap(last_);
        return text;
    }

private:
    void Keep(const std::string& text) {
        last_.clear();
        for (char c : text) {
            if (c == '\r')
                continue;
            if (c == '\n') {
                if (!last_.empty() && last_.back() != ' ')
                    last_ += ' ';
                continue;
            }
            last_ += c;
        }
    }
    std::string last_;
};

} // namespace quarnex
