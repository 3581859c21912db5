#include "convert/JobIntake.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <boost/lexical_cast.hpp>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <numeric>
#include <system_error>
#include <utility>

#include "base/AsciiCase.h"
#include "base/Formats.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool numberValue(std::string_view digits, std::int32_t& value) {
    return boost::conversion::try_lexical_convert(digits.data(), digits.size(), value);
}

// Stored numbers always convert; should one not, it sorts last instead of
// breaking the order of the others.
std::int64_t storedValue(const std::string& number) {
    std::int32_t value = 0;
    return numberValue(number, value) ? value : std::numeric_limits<std::int64_t>::max();
}

struct PictureName {
    std::string_view prefix;
    std::string_view number;
    std::string_view extension;
    std::int32_t value = 0;
};

// Splits a path as addPicture describes; false when it names no picture of
// a sequence.
bool splitPicturePath(std::string_view path, PictureName& name) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::size_t slash = path.rfind('/');
    // A "." in a folder name is not the extension's.
    if (slash != std::string_view::npos && slash > dot) return false;

    std::size_t digitsStart = dot;
    while (digitsStart > 1 && isDigit(path[digitsStart - 1])) --digitsStart;
    if (digitsStart == dot) return false;

    name.prefix = path.substr(0, digitsStart);
    name.number = path.substr(digitsStart, dot - digitsStart);
    name.extension = path.substr(dot + 1);
    return numberValue(name.number, name.value);
}

// "*" matches any run of characters, "?" any one; letters match either case.
bool matchesPattern(std::string_view pattern, std::string_view name) {
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starAt = std::string_view::npos;
    std::size_t starMatch = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            starMatch = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || asciiLower(pattern[p]) == asciiLower(name[n]))) {
            ++p;
            ++n;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            n = ++starMatch;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// Case-insensitive order, made total by a byte-wise tie-break, so that the
// jobs do not depend on the order in which the file system lists a folder.
bool nameLess(const std::string& a, const std::string& b) {
    const auto [ai, bi] = std::mismatch(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return asciiLower(x) == asciiLower(y);
    });
    if (ai != a.end() && bi != b.end()) {
        return static_cast<unsigned char>(asciiLower(*ai)) <
               static_cast<unsigned char>(asciiLower(*bi));
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/') path += '/';
    return path + name;
}

struct FolderListing {
    std::vector<std::string> folders;
    std::vector<std::string> files;
};

// Lists the sub-folders of folder and the regular files whose names match
// pattern, either directly or through a link. Fifos, sockets and devices are
// left out because reading them can block or never end.
bool listFolder(const std::string& folder, std::string_view pattern, FolderListing& listing) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return false;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        // The entry's own type comes with the listing; only links need a look
        // at their target.
        std::error_code typeError;
        std::string name = it->path().filename().string();
        if (it->is_directory(typeError)) {
            listing.folders.push_back(std::move(name));
        } else if (matchesPattern(pattern, name) && it->is_regular_file(typeError)) {
            listing.files.push_back(std::move(name));
        }
    }
    std::sort(listing.folders.begin(), listing.folders.end(), nameLess);
    std::sort(listing.files.begin(), listing.files.end(), nameLess);
    return true;
}

// scanFolder, entering the sub-folders only when depth asks for them.
bool scanFolderTo(const std::string& folder, std::string_view pattern, PathCollector& collector,
                  VisitedFolders& visited, std::vector<std::string>* unlisted, FolderDepth depth) {
    if (!visited.enter(folder)) return true;
    FolderListing listing;
    if (!listFolder(folder, pattern, listing)) return false;
    if (depth == FolderDepth::WithSubFolders) {
        for (const std::string& name : listing.folders) {
            const std::string sub = joinPath(folder, name);
            if (!scanFolderTo(sub, pattern, collector, visited, unlisted, depth) &&
                unlisted != nullptr) {
                unlisted->push_back(sub);
            }
        }
    }
    for (const std::string& name : listing.files) {
        collector.add(joinPath(folder, name));
    }
    return true;
}

}  // namespace

void addPicture(std::list<FolderJob>& folderJobs, std::string_view path) {
    PictureName name;
    if (!splitPicturePath(path, name)) return;

    // Prefixes are unique among the jobs, and a sequence's files arrive
    // together, so the job sought is most often the last one.
    const auto job = std::find_if(folderJobs.rbegin(), folderJobs.rend(),
                                  [&](const FolderJob& j) { return j.prefix == name.prefix; });
    if (job == folderJobs.rend()) {
        folderJobs.push_back({std::string(name.prefix),
                              std::string(name.extension),
                              {{std::string(name.number), std::string(name.extension)}}});
        return;
    }
    std::vector<SequencePicture>& pictures = job->pictures;
    const auto at = std::lower_bound(
        pictures.begin(), pictures.end(), name.value,
        [](const SequencePicture& p, std::int32_t v) { return storedValue(p.number) < v; });
    if (at != pictures.end() && storedValue(at->number) == name.value) return;
    pictures.insert(at, {std::string(name.number), std::string(name.extension)});
}

PictureCollector::PictureCollector(std::list<FolderJob>& folderJobs) : folderJobs_(folderJobs) {
    // Should two jobs share a prefix, the later one is found, as by addPicture.
    for (FolderJob& job : folderJobs_) {
        byPrefix_.insert_or_assign(job.prefix, Gathered{&job, {}, false});
    }
}

PictureCollector::~PictureCollector() { finish(); }

PictureCollector::Gathered& PictureCollector::gatheredFor(std::string_view prefix,
                                                          std::string_view extension) {
    if (last_ != nullptr && last_->job->prefix == prefix) return *last_;
    auto found = byPrefix_.find(prefix);
    if (found == byPrefix_.end()) {
        FolderJob& job = folderJobs_.emplace_back(
            FolderJob{std::string(prefix), std::string(extension), {}, root_});
        found = byPrefix_.emplace(job.prefix, Gathered{&job, {}, false}).first;
    }
    Gathered& gathered = found->second;
    if (!gathered.touched) {
        // Numbers queued before come first, so they win over equal ones found now.
        gathered.values.reserve(gathered.job->pictures.size());
        for (const SequencePicture& picture : gathered.job->pictures) {
            gathered.values.push_back(storedValue(picture.number));
        }
        gathered.touched = true;
    }
    last_ = &gathered;
    return gathered;
}

void PictureCollector::add(const std::string& path) {
    PictureName name;
    if (!splitPicturePath(path, name)) return;
    Gathered& gathered = gatheredFor(name.prefix, name.extension);
    gathered.job->pictures.push_back({std::string(name.number), std::string(name.extension)});
    gathered.values.push_back(name.value);
}

void PictureCollector::finish() {
    for (auto& [prefix, gathered] : byPrefix_) {
        if (!gathered.touched) continue;
        gathered.touched = false;
        std::vector<std::int64_t> values = std::move(gathered.values);
        gathered.values = {};
        std::vector<SequencePicture>& pictures = gathered.job->pictures;
        // Padded names arrive in order already; nothing to do for them.
        if (std::adjacent_find(values.begin(), values.end(), std::greater_equal<>()) ==
            values.end()) {
            continue;
        }
        // A stable sort keeps the first found of equal values ahead of the others.
        std::vector<std::size_t> order(pictures.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
        std::vector<SequencePicture> ordered;
        ordered.reserve(pictures.size());
        for (std::size_t k = 0; k < order.size(); ++k) {
            if (k > 0 && values[order[k]] == values[order[k - 1]]) continue;
            ordered.push_back(std::move(pictures[order[k]]));
        }
        pictures = std::move(ordered);
    }
}

void addVideo(std::vector<VideoJob>& videoJobs, std::string_view path, std::string_view root) {
    videoJobs.push_back({std::string(path), std::string(root)});
}

namespace {

// Named as a video, and its first bytes do not say otherwise.
bool isVideoFile(const std::string& path) {
    const InputFormat* format = formatOfName(fs::path(path).filename().string());
    return format != nullptr && format->kind == MediaKind::Video && holdsSignature(*format, path);
}

}  // namespace

void VideoCollector::add(const std::string& path) {
    if (isVideoFile(path)) addVideo(videoJobs_, path, root_);
}

bool VisitedFolders::enter(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) return true;
    return entered_.emplace(info.st_dev, info.st_ino).second;
}

bool scanFolder(const std::string& folder, std::string_view pattern, PathCollector& collector) {
    VisitedFolders visited;
    return scanFolder(folder, pattern, collector, visited);
}

bool scanFolder(const std::string& folder, std::string_view pattern, PathCollector& collector,
                VisitedFolders& visited, std::vector<std::string>* unlisted) {
    return scanFolderTo(folder, pattern, collector, visited, unlisted, FolderDepth::WithSubFolders);
}

DropResult dropPaths(JobList& jobs, const std::vector<std::string>& paths, DroppedFiles files,
                     FolderDepth depth) {
    jobs.clear();
    PictureCollector pictures(jobs.folderJobs);
    VideoCollector videos(jobs.videoJobs);
    // One scan of the whole drop per picture and video format, in the
    // table's order.
    std::vector<std::pair<std::string, PathCollector*>> scans;
    for (const InputFormat& format : kInputFormats) {
        if (format.kind == MediaKind::Picture) scans.emplace_back(scanPattern(format), &pictures);
        if (format.kind == MediaKind::Video) scans.emplace_back(scanPattern(format), &videos);
    }

    // Each pattern searches the whole drop, so each keeps its own record.
    std::vector<VisitedFolders> visited(scans.size());
    DropResult result;
    std::vector<std::string> unlisted;
    for (const std::string& path : paths) {
        // A path whose type cannot be found out is taken as a folder; its
        // scan then finds nothing.
        std::error_code ec;
        const fs::file_status status = fs::status(path, ec);
        if (!ec && !fs::is_directory(status)) {
            if (files == DroppedFiles::TakeVideos && fs::is_regular_file(status) &&
                isVideoFile(path)) {
                addVideo(jobs.videoJobs, path, fs::path(path).parent_path().string());
            } else {
                result.refused.push_back(path);
            }
            continue;
        }
        pictures.setRoot(path);
        videos.setRoot(path);
        bool listed = true;
        for (std::size_t s = 0; s < scans.size(); ++s) {
            listed = scanFolderTo(path, scans[s].first, *scans[s].second, visited[s], &unlisted,
                                  depth) &&
                     listed;
        }
        if (!listed) result.unreadable.push_back(path);
    }
    // Every pattern's scan meets the same unlistable folders.
    std::set<std::string> named;
    for (std::string& folder : unlisted) {
        if (named.insert(folder).second) result.unlisted.push_back(std::move(folder));
    }
    pictures.finish();
    return result;
}

std::vector<Fault> dropFaults(const DropResult& drop) {
    std::vector<Fault> faults;
    for (const std::string& path : drop.refused) {
        faults.emplace_back(FaultCode::NotAFolder, FaultStep::DropItem, path);
    }
    for (const std::string& path : drop.unreadable) {
        std::error_code ec;
        const bool missing = fs::status(path, ec).type() == fs::file_type::not_found;
        faults.emplace_back(missing ? FaultCode::NotFound : FaultCode::Unreadable,
                            FaultStep::DropItem, path);
    }
    for (const std::string& path : drop.unlisted) {
        faults.emplace_back(FaultCode::Unreadable, FaultStep::PassOver, path);
    }
    return faults;
}

std::string rowText(const FolderJob& job) {
    const std::string first = job.pictures.empty() ? std::string() : job.pictures.front().number;
    const std::string last = job.pictures.empty() ? std::string() : job.pictures.back().number;
    return job.prefix + "(" + first + " - " + last + ")." + job.extension;
}

std::string rowText(const VideoJob& job) { return job.path; }

std::vector<std::string> listRows(const JobList& jobs) {
    std::vector<std::string> rows;
    rows.reserve(jobs.folderJobs.size() + jobs.videoJobs.size());
    for (const FolderJob& job : jobs.folderJobs) rows.push_back(rowText(job));
    for (const VideoJob& job : jobs.videoJobs) rows.push_back(rowText(job));
    return rows;
}

}  // namespace vantrel
