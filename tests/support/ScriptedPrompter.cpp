#include "support/ScriptedPrompter.h"

namespace quarnex {

void ScriptedPrompter::Message(Icon icon, const std::string& text, const std::string& caption) {
    boxes_.push_back({Kind::Message, icon, text, caption});
}

bool ScriptedPrompter::NextAnswer(Box& box) {
    if (answers_.empty()) {
        box.unscripted = true;
        box.answer = false;
    } else {
        box.answer = answers_.front();
        answers_.pop_front();
    }
    boxes_.push_back(box);
    return box.answer;
}

bool ScriptedPrompter::AskYesNo(Icon icon, const std::string& text, const std::string& caption) {
    Box box{Kind::YesNo, icon, text, caption};
    return NextAnswer(box);
}

bool ScriptedPrompter::AskDestructive(Icon icon, const std::string& text,
                                      const std::string& caption) {
    Box box{Kind::YesNo, icon, text, caption};
    box.defaultNo = true;
    return NextAnswer(box);
}

bool ScriptedPrompter::AskRetryCancel(const std::string& text) {
    Box box{Kind::RetryCancel, Icon::Error, text, {}};
    return NextAnswer(box);
}

std::vector<std::string> ScriptedPrompter::Texts() const {
    std::vector<std::string> texts;
    for (const Box& box : boxes_)
        texts.push_back(box.text);
    return texts;
}

} // namespace quarnex
