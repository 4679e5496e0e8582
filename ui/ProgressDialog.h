#pragma once

#include "platform/Progress.h"
#include "res/AppTextIds.h"

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
// input between two transactions although the operation runs in the caller's loop. It has no
// Cancel button: the operations it shows cannot be stopped halfway, so CancelAsked() stays false.
class ProgressDialog : public QDialog, public Progress {
    Q_OBJECT
public:
    static constexpr int kDefaultCaptionId = ids::kUpgradeInProgress;

    explicit ProgressDialog(int captionId = kDefaultCaptionId);
    ~ProgressDialog() override;

    // Disables the owner's top-level window when it is enabled (and remembers that it did), then
    // shows this window over it with the range and the lower bound applied.
    bool Create(QWidget* owner);
    void SetRange(int low, int high) override;
    void SetText(const std::string& text) override;
    // Handles the waiting events, then moves the bar and rewrites the percentage when it changed
    // (ProgressPercentText).
    void SetPos(int pos) override;
    bool CancelAsked() const override { return false; }
    // For an operation whose length is not known beforehand: no percentage, a busy bar; the
    // message says how far it got.
    void SetUnknownLength();
    // Gives the owner back (only if Create disabled it) and hides this window.
    void Close();

    int Low() const { return low_; }
    int High() const { return high_; }
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

    int low_ = 0, high_ = 100, pos_ = 0;
    QPointer<QWidget> owner_;
    bool disabledOwner_ = false;
    QLabel* message_;
    QLabel* percent_;
    QProgressBar* bar_;
};

} // namespace quarnex
