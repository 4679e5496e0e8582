#include "platform/FileChooser.h"

namespace quarnex {

std::string WithDefaultExtension(const std::string& path, const std::string& extension) {
    if (extension.empty() || path.empty() || path.back() == '/')
        return path;
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0 && dot + 1 < name.size())
        return path;
    // "name." gets the extension after its dot rather than a second one.
    if (dot != std::string::npos && dot > 0)
        return path + extension;
    return path + "." + extension;
}

} // namespace quarnex
