#pragma once

#include "platform/Prompter.h"

#include <QPointer>
#include <QWidget>

namespace quarnex {

// The message boxes of the program: QMessageBox without caption unless one is given, over the
// owner window when it is shown (centred on the screen before the main window appears).
class QtPrompter : public Prompter {
public:
    explicit QtPrompter(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }

    void Message(Icon icon, const std::string& text, const std::string& caption = {}) override;
    bool AskYesNo(Icon icon, const std::string& text, const std::string& caption = {}) override;
    bool AskDestructive(Icon icon, const std::string& text,
                        const std::string& caption = {}) override;
    bool AskRetryCancel(const std::string& text) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;

private:
    QWidget* Parent() const;

    QPointer<QWidget> owner_;
};

} // namespace quarnex
