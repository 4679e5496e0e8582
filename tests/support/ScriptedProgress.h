#pragma once

#include "platform/Progress.h"

#include <functional>
#include <string>
#include <vector>

namespace quarnex {

// A Progress for tests: records every range, position and text in order, says cancel once a
// chosen number of positions has been set, and can act when a position is shown (a cable pulled
// half-way through a procedure).
class ScriptedProgress : public Progress {
public:
    void SetRange(int low, int high) override { ranges_.push_back({low, high}); }
    void SetPos(int pos) override {
        positions_.push_back(pos);
        if (posHook_) {
            const auto hook = posHook_; // the hook may replace or clear itself
            hook(pos);
        }
    }
    void SetText(const std::string& text) override { texts_.push_back(text); }
    bool CancelAsked() const override {
        return cancelAfter_ >= 0 && static_cast<int>(positions_.size()) >= cancelAfter_;
    }

    // CancelAsked() turns true once count positions were set (0: at once); -1 never.
    void CancelAfter(int count) { cancelAfter_ = count; }
    // Called with each position after it is recorded; nullptr for none.
    void OnPos(std::function<void(int)> hook) { posHook_ = std::move(hook); }

    const std::vector<std::pair<int, int>>& Ranges() const { return ranges_; }
    const std::vector<int>& Positions() const { return positions_; }
    const std::vector<std::string>& Texts() const { return texts_; }

private:
    std::vector<std::pair<int, int>> ranges_;
    std::vector<int> positions_;
    std::vector<std::string> texts_;
    int cancelAfter_ = -1;
    std::function<void(int)> posHook_;
};

} // namespace quarnex
