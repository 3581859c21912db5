#include "base/Formats.h"

#include "base/AsciiCase.h"

namespace vantrel {

const InputFormat* formatOfName(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return nullptr;
    const std::string_view extension = name.substr(dot + 1);
    for (const InputFormat& format : kInputFormats) {
        if (asciiEqualIgnoringCase(format.extension, extension)) return &format;
    }
    return nullptr;
}

std::string scanPattern(const InputFormat& format) {
    return "*." + std::string(format.extension);
}

std::string patternList(MediaKind kind) {
    std::string list;
    for (const InputFormat& format : kInputFormats) {
        if (format.kind != kind) continue;
        if (!list.empty()) list += ", ";
        list += scanPattern(format);
    }
    return list;
}

}  // namespace vantrel
