#pragma once

#include "platform/FileChooser.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace quarnex {

// A FileChooser for tests: answers from a queue and records every request. A request with an
// empty queue is answered as cancelled and noted, so a test that forgot an answer does not hang.
class ScriptedFileChooser : public FileChooser {
public:
    struct Asked {
        bool save;
        Request request;
        bool unscripted = false;
    };

    std::optional<std::string> AskOpen(const Request& request) override {
        return Next(false, request);
    }
    // The scripted name gets the default extension, as the real dialog gives it.
    std::optional<std::string> AskSave(const Request& request) override {
        auto path = Next(true, request);
        if (path)
            path = WithDefaultExtension(*path, request.defaultExtension);
        return path;
    }

    // Queues the next answer: a path, or std::nullopt for Cancel.
    void Answer(std::optional<std::string> path) { answers_.push_back(std::move(path)); }

    const std::vector<Asked>& Requests() const { return asked_; }
    size_t PendingAnswers() const { return answers_.size(); }

private:
    std::optional<std::string> Next(bool save, const Request& request) {
        asked_.push_back({save, request, answers_.empty()});
        if (answers_.empty())
            return std::nullopt;
        auto answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

    std::deque<std::optional<std::string>> answers_;
    std::vector<Asked> asked_;
};

} // namespace quarnex
