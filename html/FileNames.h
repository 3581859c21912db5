#pragma once

#include <string>

namespace vantrel {

// The path with the extension of its file name replaced: /a.b/walk.swf and
// "html" give /a.b/walk.html. A file name without a "." gets the extension
// appended; a "." in a folder name does not count.
inline std::string withExtension(const std::string& path, const std::string& extension) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return path + "." + extension;
    }
    return path.substr(0, dot + 1) + extension;
}

}  // namespace vantrel
