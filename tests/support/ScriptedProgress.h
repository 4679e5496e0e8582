#pragma once

#include "platform/Progress.h"

#include <string>
#include <vector>

namespace quarnex {

// A Progress for tests: records every range, position and text in order, and says cancel once
// a chosen number of positions has been set.
class ScriptedProgress : public Progress {
public:
    void SetRange(int low, int high) override { ranges_.push_back({low, high}); }
    void SetPos(int pos) override { positions_.push_back(pos); }
    void SetText(const std::string& text) override { texts_.push_back(text); }
    bool CancelAsked() const override {
        return cancelAfter_ >= 0 && static_cast<int>(positions_.size()) >= cancelAfter_;
    }

    // CancelAsked() turns true once count positions were set (0: at once); -1 never.
    void CancelAfter(int count) { cancelAfter_ = count; }

    const std::vector<std::pair<int, int>>& Ranges() const { return ranges_; }
    const std::vector<int>& Positions() const { return positions_; }
    const std::vector<std::string>& Texts() const { return texts_; }

private:
    std::vector<std::pair<int, int>> ranges_;
    std::vector<int> positions_;
    std::vector<std::string> texts_;
    int cancelAfter_ = -1;
};

} // namespace quarnex
