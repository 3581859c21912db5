#include "html/HtmlPage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "html/FileNames.h"
#include "swf/AtomicFile.h"

namespace vantrel {

namespace {

// "%5C" for a backslash.
std::string percentEncoded(char c) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto byte = static_cast<unsigned char>(c);
    return {'%', kHex[byte >> 4], kHex[byte & 15]};
}

// The movie's file name as a relative URL inside a quoted attribute. What
// would end the attribute is escaped, and what URL parsing would cut short
// or read as another name is percent-encoded: a backslash reads as a slash,
// tabs and line ends are dropped, and so are spaces and control characters
// at the start. Ordinary names appear unchanged.
std::string movieReference(const std::string& moviePath) {
    const std::size_t slash = moviePath.rfind('/');
    const std::string name = slash == std::string::npos ? moviePath : moviePath.substr(slash + 1);
    std::string out;
    for (char c : name) {
        switch (c) {
            case '%':
            case '#':
            case '?':
            case '\\':
            case '\t':
            case '\n':
            case '\r':
                out += percentEncoded(c);
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += out.empty() && static_cast<unsigned char>(c) <= ' ' ? percentEncoded(c)
                                                                           : std::string(1, c);
        }
    }
    return out;
}

// A URL given by the user, inside a quoted attribute: it is the user's
// to encode, so only the characters HTML gives meaning to are escaped.
std::string attributeText(const std::string& value) {
    std::string out;
    for (char c : value) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string pageText(const std::string& name, int width, int height, bool includeAlpha,
                     const std::string& playerScript, bool loop) {
    const std::string w = std::to_string(width);
    const std::string h = std::to_string(height);
    std::string text;
    text += "<html>\n";
    if (!playerScript.empty()) {
        text += "<head>\n";
        text += "<script src=\"" + attributeText(playerScript) + "\"></script>\n";
        text += "</head>\n";
    }
    text += "<body>\n";
    text += "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" codebase=\"";
    text += kPlayerCodebase;
    text += "\" width=" + w + " height=" + h + ">\n";
    text += "<param name=movie value=\"" + name + "\">\n";
    text += "<param name=quality value=high>\n";
    if (includeAlpha) text += "<param name=wmode value=transparent>\n";
    if (!loop) text += "<param name=loop value=false>\n";
    text += "<embed src=\"" + name + "\" quality=high" + (loop ? "" : " loop=false") +
            " width=" + w + " height=" + h +
            " type=\"application/x-shockwave-flash\" pluginspage=\"";
    text += kPluginsPage;
    text += "\">\n";
    text += "</embed>\n";
    text += "</object>\n";
    text += "</body>\n";
    text += "</html>\n";
    return text;
}

}  // namespace

std::string htmlPagePath(const std::string& moviePath) { return withExtension(moviePath, "html"); }

WriteResult writeHtmlPage(const std::string& moviePath, int width, int height, bool includeAlpha,
                          const std::string& playerScript, bool loop) {
    const std::string pagePath = htmlPagePath(moviePath);
    const std::string text =
        pageText(movieReference(moviePath), width, height, includeAlpha, playerScript, loop);

    WriteResult result;
    AtomicFile file(pagePath);
    if (!file.open(result.fault)) return result;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file.stream()) != text.size()) {
        result.fault = writeFault(FaultStep::WriteFile, pagePath, errno != 0 ? errno : EIO);
        return result;
    }
    result.written = file.commit(result.fault);
    return result;
}

}  // namespace vantrel
