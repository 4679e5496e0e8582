#pragma once

#include <string>

namespace quarnex {

// How a long core procedure (backup, restore, upgrade, printing) shows how far it got. The
// program's progress window implements it; tests use ScriptedProgress, quarnex-cli a terminal
// line. The procedure calls it between two bus transactions; an implementation may let the
// windows repaint there but never starts bus work of its own.
class Progress {
public:
    virtual ~Progress() = default;

    // The positions SetPos counts in; 0 ... 100 until set.
    virtual void SetRange(int low, int high) = 0;
    virtual void SetPos(int pos) = 0;
    // The message above the bar; it may have several lines.
    virtual void SetText(const std::string& text) = 0;
    // True once the user asked to stop; the procedure ends at its next safe point.
    virtual bool CancelAsked() const = 0;
};

// The percentage shown for pos in low ... high: (pos - low) * 100 / (high - low) in integer
// arithmetic; exactly 100 stays 100, anything else is taken modulo 100 (a position past the end
// wraps round, as the instrument tools always showed it). An empty range shows 0.
int ProgressPercent(int pos, int low, int high);
// The same followed by "%", as the window shows it.
std::string ProgressPercentText(int pos, int low, int high);

} // namespace quarnex
