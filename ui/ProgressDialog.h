#pragma once

#include <QDialog>
#include <QPointer>

#include <string>

class QLabel;
class QProgressBar;

namespace quarnex {

// The small modeless window of a long bus operation that runs on the user-interface thread (the
// software upgrade): a multi-line message, the percentage and a bar. While it is up its owner is
// disabled, so the user cannot start a second operation from there; each position update first
// handles the events waiting in the queue, so the program stays painted and answers Cancel-like
// input between two transactions although the operation runs in the caller's loop.
class ProgressDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDefaultCaptionId = 117; // "Software upgrade in progress !"

    explicit ProgressDialog(int captionId = kDefaultCaptionId);
    ~ProgressDialog() override;

    // Disables the owner's top-level window when it is enabled (and remembers that it did), then
    // shows this window over it with the range, step and the lower bound applied.
    bool Create(QWidget* owner);
    void SetRange(int low, int high);
    void SetStep(int step);
    void SetMessage(const std::string& text);
    // Handles the waiting events, then moves the bar and rewrites the percentage when it changed.
    void SetPos(int pos);
    // Gives the owner back (only if Create disabled it) and hides this window.
    void Close();

    // The percentage shown for pos in low ... high: (pos - low) * 100 / (high - low) in integer
    // arithmetic, followed by "%"; exactly 100 shows as 100, anything else modulo 100 (so a
    // position past the end wraps round). An empty range shows 0.
    static std::string PercentText(int pos, int low, int high);

    int Low() const { return low_; }
    int High() const { return high_; }
    int Step() const { return step_; }
    int Pos() const { return pos_; }
    QString PercentShown() const;
    QString MessageShown() const;
    int BarValue() const;

public slots:
    // Escape does not take the window away: the operation it reports on closes it.
    void reject() override {}

private:
    void ApplyRange();
    void GiveOwnerBack();

    int low_ = 0, high_ = 100, step_ = 5, pos_ = 0;
    QPointer<QWidget> owner_;
    bool disabledOwner_ = false;
    QLabel* message_;
    QLabel* percent_;
    QProgressBar* bar_;
};

} // namespace quarnex
