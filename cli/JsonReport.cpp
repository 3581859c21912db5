#include "cli/JsonReport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "swf/AtomicFile.h"

namespace vantrel {
namespace {

using Json = nlohmann::ordered_json;

std::string base64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        }
        for (std::size_t k = 0; k < 4; ++k) {
            out += k <= n ? kDigits[group >> (18 - 6 * k) & 63] : '=';
        }
    }
    return out;
}

// The text as JSON can hold it: the same bytes when they are valid UTF-8,
// else with U+FFFD for each bad byte, as the JSON library replaces them.
std::string validText(const std::string& bytes) {
    return Json::parse(Json(bytes).dump(-1, ' ', false, Json::error_handler_t::replace))
        .get<std::string>();
}

void putText(Json& object, const std::string& key, const std::string& bytes) {
    const std::string text = validText(bytes);
    object[key] = text;
    if (text != bytes) object[key + "_bytes"] = base64(bytes);
}

// A path or reason, or null when there is none.
void putPath(Json& object, const std::string& key, const std::string& path) {
    if (path.empty()) {
        object[key] = nullptr;
    } else {
        putText(object, key, path);
    }
}

void putTexts(Json& object, const std::string& key, const std::vector<std::string>& texts) {
    Json list = Json::array();
    Json bytes = Json::array();
    bool exact = true;
    for (const std::string& item : texts) {
        const std::string text = validText(item);
        list.push_back(text);
        if (text == item) {
            bytes.push_back(nullptr);
        } else {
            bytes.push_back(base64(item));
            exact = false;
        }
    }
    object[key] = std::move(list);
    if (!exact) object[key + "_bytes"] = std::move(bytes);
}

// A fault's stable code, or null when there is none.
Json codeOf(const std::optional<Fault>& fault) {
    return fault ? Json(faultCodeName(fault->code)) : Json(nullptr);
}

// The words of each fault, and beside them their codes.
void putFaults(Json& object, const std::string& key, const std::string& codesKey,
               const std::vector<Fault>& faults) {
    std::vector<std::string> texts;
    Json codes = Json::array();
    for (const Fault& fault : faults) {
        texts.push_back(faultText(fault, commandLineName));
        codes.push_back(faultCodeName(fault.code));
    }
    putTexts(object, key, texts);
    object[codesKey] = std::move(codes);
}

// The rate in its shortest decimal form (12.5, not 12.5000000001): the
// option holds a float, the JSON number a double.
double shortestRate(float rate) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text - 1, rate).ptr;
    *end = '\0';
    return std::strtod(text, nullptr);
}

Json optionJson(const OptionRow& row, const OptionValue& value) {
    return std::visit(
        [&row](const auto& held) -> Json {
            using Held = std::decay_t<decltype(held)>;
            if constexpr (std::is_same_v<Held, std::monostate>) {
                return nullptr;
            } else if constexpr (std::is_same_v<Held, PictureBox>) {
                return Json{{"width", held.width}, {"height", held.height}};
            } else if constexpr (std::is_same_v<Held, double>) {
                return row.kind == OptionKind::Rate ? shortestRate(static_cast<float>(held)) : held;
            } else {
                return held;
            }
        },
        value);
}

Json jobObject(const JobOutcome& job) {
    Json object;
    putText(object, "source", job.source);
    object["status"] = statusName(job.status);
    putPath(object, "movie", job.outputPath);
    putPath(object, "page", job.pagePath);
    object["sound"] = soundName(job.sound);
    putPath(object, "sound_file", job.soundPath);
    object["frames"] = job.frameCount;
    object["width"] = job.width;
    object["height"] = job.height;
    object["quality"] = job.quality > 0 ? Json(job.quality) : Json(nullptr);
    putFaults(object, "missing_pictures", "missing_picture_codes", job.missingPictures);
    putFaults(object, "warnings", "warning_codes", job.warnings);
    putPath(object, "reason", job.fault ? faultText(*job.fault, commandLineName) : std::string());
    object["code"] = codeOf(job.fault);
    return object;
}

}  // namespace

void writeJsonReport(std::ostream& out, const std::string& version, const BatchRequest& request,
                     const DropResult& drop, const ConvertReport& report,
                     std::span<const OptionRow> rows) {
    Json document;
    document["version"] = version;
    Json& used = document["options"];
    std::vector<const OptionRow*> reported;
    for (const OptionRow& row : rows) {
        if (!row.reportKey.empty()) reported.push_back(&row);
    }
    std::stable_sort(reported.begin(), reported.end(), [](const OptionRow* a, const OptionRow* b) {
        return a->reportPlace < b->reportPlace;
    });
    for (const OptionRow* row : reported) {
        used[std::string(row->reportKey)] = optionJson(*row, row->value(request));
    }
    Json& refused = document["refused"] = Json::array();
    for (const Fault& fault : dropFaults(drop)) {
        if (fault.step != FaultStep::DropItem) continue;
        Json object;
        putText(object, "path", fault.path);
        object["reason"] = faultText(fault, commandLineName);
        object["code"] = faultCodeName(fault.code);
        refused.push_back(std::move(object));
    }
    Json& jobs = document["jobs"] = Json::array();
    for (const JobOutcome& job : report.jobs) jobs.push_back(jobObject(job));
    out << document.dump(2) << "\n";
}

namespace {

// Where links that lead to nothing end: the file a write through them
// would make.
std::filesystem::path endOfLinks(std::filesystem::path path) {
    std::error_code ec;
    while (std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) {
        const std::filesystem::path to = std::filesystem::read_symlink(path, ec);
        if (ec) break;
        path = to.is_absolute() ? to : path.parent_path() / to;
    }
    return path;
}

// 0 when a temporary file can be made beside `target` and renamed over it,
// else the errno why not.
int replaceRefusalInFolder(const std::filesystem::path& target) {
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    struct stat found;
    if (::stat(folder.c_str(), &found) != 0) return errno;
    if (!S_ISDIR(found.st_mode)) return ENOTDIR;
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return errno;
    return replaceRefusal(target);
}

}  // namespace

JsonReportFile::JsonReportFile(const std::string& path) : path_(path) {
    if (path_.empty()) return;
    place_ = Place::StandardOutput;
    if (path_ == "-") return;
    if (const int errnum = find(); errnum != 0 && error_.empty()) error_ = std::strerror(errnum);
}

JsonReportFile::~JsonReportFile() {
    if (stream_ >= 0) ::close(stream_);
}

int JsonReportFile::find() {
    struct stat found;
    if (::stat(path_.c_str(), &found) != 0) {
        if (errno != ENOENT) return errno;
        place_ = Place::File;
        target_ = endOfLinks(path_).string();
        return replaceRefusalInFolder(target_);
    }
    // A pipe or file that is standard output, reached as /dev/stdout or
    // otherwise, holds the report alone, as with "-".
    struct stat out;
    if (!S_ISCHR(found.st_mode) && ::fstat(STDOUT_FILENO, &out) == 0 &&
        out.st_dev == found.st_dev && out.st_ino == found.st_ino) {
        return 0;
    }
    if (S_ISREG(found.st_mode)) {
        place_ = Place::File;
        char* real = ::realpath(path_.c_str(), nullptr);
        if (real == nullptr) return errno;
        target_ = real;
        std::free(real);
        return replaceRefusalInFolder(target_);
    }
    if (S_ISCHR(found.st_mode) || S_ISFIFO(found.st_mode)) {
        // Opened now, so that what cannot be opened stops the run before
        // any work; a FIFO waits here for its reader, as a shell's
        // redirection would.
        place_ = Place::Stream;
        stream_ = ::open(path_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        return stream_ < 0 ? errno : 0;
    }
    if (S_ISDIR(found.st_mode)) return EISDIR;
    error_ = std::string(S_ISBLK(found.st_mode) ? "a block device" : "a socket") +
             ": the report goes to a file, a character device or a FIFO";
    return EINVAL;
}

std::ostream& JsonReportFile::lines() const {
    return place_ == Place::StandardOutput ? std::cerr : std::cout;
}

bool JsonReportFile::write(const std::string& version, const BatchRequest& request,
                           const DropResult& drop, const ConvertReport& report, Fault& why) {
    if (place_ == Place::None) return true;
    if (place_ == Place::StandardOutput) {
        writeJsonReport(std::cout, version, request, drop, report);
        std::cout.flush();
        if (std::cout) return true;
        why = writeFault(FaultStep::WriteFile, "standard output", errno != 0 ? errno : EIO);
        return false;
    }
    std::ostringstream text;
    writeJsonReport(text, version, request, drop, report);
    const std::string json = text.str();
    if (place_ == Place::Stream) {
        for (std::size_t done = 0; done < json.size();) {
            const ssize_t n = ::write(stream_, json.data() + done, json.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                why = writeFault(FaultStep::WriteFile, path_, errno);
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        const int closed = ::close(stream_);
        stream_ = -1;
        if (closed == 0) return true;
        why = writeFault(FaultStep::WriteFile, path_, errno);
        return false;
    }
    AtomicFile file(target_);
    if (!file.open(why)) return false;
    errno = 0;
    if (std::fwrite(json.data(), 1, json.size(), file.stream()) != json.size()) {
        why = writeFault(FaultStep::WriteFile, target_, errno != 0 ? errno : EIO);
        return false;
    }
    return file.commit(why);
}

}  // namespace vantrel
