#pragma once

#include <string>

namespace quarnex {

// How the core talks to the user: the message boxes and the wait cursor. The program's windows
// implement it with real boxes; tests use ScriptedPrompter. Every box is modal and blocks until
// the user answers. Boxes have no caption unless one is given.
class Prompter {
public:
    enum class Icon { None, Error, Information, Exclamation, Question };

    virtual ~Prompter() = default;

    // A box with one OK button.
    virtual void Message(Icon icon, const std::string& text, const std::string& caption = {}) = 0;
    // A Yes/No box; true for Yes. Yes is the default button: for questions whose Yes is the safe
    // way.
    virtual bool AskYesNo(Icon icon, const std::string& text, const std::string& caption = {}) = 0;
    // A Yes/No box whose Yes changes or throws away something (a restore, a default set-up, an
    // upgrade, edits discarded, a file replaced) or stops the plant (set-up mode ends weighing
    // and batching): No is the default button, so Return alone never does it.
    virtual bool AskDestructive(Icon icon, const std::string& text,
                                const std::string& caption = {}) {
        return AskYesNo(icon, text, caption);
    }
    // The bus Retry/Cancel box (error icon); true for Retry.
    virtual bool AskRetryCancel(const std::string& text) = 0;
    // The wait cursor, shown while a long bus operation runs. Calls nest.
    virtual void BeginWaitCursor() {}
    virtual void EndWaitCursor() {}

    void Error(const std::string& text) { Message(Icon::Error, text); }
    void Information(const std::string& text) { Message(Icon::Information, text); }
    void Exclamation(const std::string& text) { Message(Icon::Exclamation, text); }
};

// Shows the wait cursor for the lifetime of the object.
class WaitCursor {
public:
    explicit WaitCursor(Prompter& prompter) : prompter_(prompter) { prompter_.BeginWaitCursor(); }
    ~WaitCursor() { prompter_.EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    Prompter& prompter_;
};

} // namespace quarnex
