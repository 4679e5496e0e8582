#pragma once

#include "platform/FileChooser.h"

#include <QPointer>
#include <QString>
#include <QWidget>

namespace quarnex {

// The system's open and save dialogs, modal over the owner's window.
class QtFileChooser : public FileChooser {
public:
    explicit QtFileChooser(QWidget* owner = nullptr) : owner_(owner) {}

    std::optional<std::string> AskOpen(const Request& request) override;
    std::optional<std::string> AskSave(const Request& request) override;

    // The dialog's type list: "Set-up files (*.ks7);;All files (*)".
    static QString FilterText(const std::vector<FileFilter>& filters);

private:
    QPointer<QWidget> owner_;
};

} // namespace quarnex
