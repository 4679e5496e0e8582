#include "ui/QtPrompter.h"

#include <QApplication>
#include <QMessageBox>

namespace quarnex {

namespace {

QMessageBox::Icon ToQt(Prompter::Icon icon) {
    switch (icon) {
    case Prompter::Icon::Error:
        return QMessageBox::Critical;
    case Prompter::Icon::Information:
        return QMessageBox::Information;
    case Prompter::Icon::Exclamation:
        return QMessageBox::Warning;
    case Prompter::Icon::Question:
        return QMessageBox::Question;
    default:
        return QMessageBox::NoIcon;
    }
}

// Boxes have no caption unless one is given: the window system would otherwise show the
// program's name, which is what an empty title gives here too.
int Show(QWidget* parent, Prompter::Icon icon, const std::string& text, const std::string& caption,
         QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    QMessageBox box(ToQt(icon), QString::fromStdString(caption), QString::fromStdString(text),
                    buttons, parent);
    box.setDefaultButton(defaultButton);
    // The wait cursor of a running bus operation must not hide the box's buttons.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = box.exec();
    QApplication::restoreOverrideCursor();
    return result;
}

} // namespace

QWidget* QtPrompter::Parent() const {
    QWidget* active = QApplication::activeModalWidget();
    if (active)
        return active;
    return owner_ && owner_->isVisible() ? owner_.data() : nullptr;
}

void QtPrompter::Message(Icon icon, const std::string& text, const std::string& caption) {
    Show(Parent(), icon, text, caption, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtPrompter::AskYesNo(Icon icon, const std::string& text, const std::string& caption) {
    return Show(Parent(), icon, text, caption, QMessageBox::Yes | QMessageBox::No,
                QMessageBox::Yes) == QMessageBox::Yes;
}

bool QtPrompter::AskDestructive(Icon icon, const std::string& text, const std::string& caption) {
    return Show(Parent(), icon, text, caption, QMessageBox::Yes | QMessageBox::No,
                QMessageBox::No) == QMessageBox::Yes;
}

bool QtPrompter::AskRetryCancel(const std::string& text) {
    return Show(Parent(), Icon::Error, text, {}, QMessageBox::Retry | QMessageBox::Cancel,
                QMessageBox::Retry) == QMessageBox::Retry;
}

void QtPrompter::BeginWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtPrompter::EndWaitCursor() {
    QApplication::restoreOverrideCursor();
}

} // namespace quarnex
