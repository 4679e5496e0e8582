#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quarnex {

// One entry of a file dialog's type list: "Set-up files" with patterns {"*.ks7"}.
struct FileFilter {
    std::string name;
    std::vector<std::string> patterns;
};

// How core code asks the user for a file: the program shows the system's file dialogs, tests use
// ScriptedFileChooser. Both calls block until the user answers and give nothing when the user
// cancelled.
class FileChooser {
public:
    struct Request {
        std::string caption;
        std::vector<FileFilter> filters;
        // Without a dot ("ks7"). Added to a name saved without an extension; empty adds nothing.
        std::string defaultExtension;
        // The file or folder the dialog starts at; empty for the dialog's own choice.
        std::string initialPath;
    };

    virtual ~FileChooser() = default;

    // An existing file to read.
    virtual std::optional<std::string> AskOpen(const Request& request) = 0;
    // A file to write, with the default extension added when the name has none.
    virtual std::optional<std::string> AskSave(const Request& request) = 0;
};

// path with ".extension" appended when its file name has no extension of its own. A name that
// only starts with a dot (".profile") has no extension.
std::string WithDefaultExtension(const std::string& path, const std::string& extension);

} // namespace quarnex
