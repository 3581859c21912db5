#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/Fault.h"
#include "convert/JobList.h"

namespace vantrel {

// Receives the file paths a folder scan finds.
class PathCollector {
  public:
    virtual ~PathCollector() = default;
    virtual void add(const std::string& path) = 0;
};

// Groups a picture path into the sequence of its prefix: the path up to the
// digit run right before the file name's last ".". The number goes in at the
// place of its value; a value already present, a name without such a digit
// run, and a run too large for a signed 32-bit integer leave the jobs as
// they are. A new prefix appends a job that keeps this path's extension;
// the number keeps that of its own file, which is the file read for it.
void addPicture(std::list<FolderJob>& folderJobs, std::string_view path);

// Queues the path as a video, unchecked, found in the dropped folder root.
void addVideo(std::vector<VideoJob>& videoJobs, std::string_view path, std::string_view root = {});

// Groups the pictures of a whole scan as addPicture would, one by one, but
// in O(n log n): jobs are found through an index of their prefixes, and the
// numbers are gathered as they come and put in order of value (the first of
// equal values kept) by finish(), which the destructor also calls. Until
// then a job's numbers are in the order found. The jobs must not be changed
// by anything else while the collector lives.
class PictureCollector : public PathCollector {
  public:
    explicit PictureCollector(std::list<FolderJob>& folderJobs);
    ~PictureCollector() override;
    PictureCollector(const PictureCollector&) = delete;
    PictureCollector& operator=(const PictureCollector&) = delete;

    void add(const std::string& path) override;
    void finish();
    // The dropped folder that the jobs made from now on come from.
    void setRoot(std::string root) { root_ = std::move(root); }

  private:
    struct Gathered {
        FolderJob* job = nullptr;
        // The value of each of job->pictures' numbers, once the job has been
        // added to.
        std::vector<std::int64_t> values;
        bool touched = false;
    };
    struct PrefixHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };

    // The entry of the job with this prefix, made (extension kept) if new.
    Gathered& gatheredFor(std::string_view prefix, std::string_view extension);

    std::list<FolderJob>& folderJobs_;
    std::unordered_map<std::string, Gathered, PrefixHash, std::equal_to<>> byPrefix_;
    Gathered* last_ = nullptr;  // a sequence's files mostly arrive together
    std::string root_;
};

// Queues the videos a scan finds; a file whose first bytes are not those its
// format must begin with (holdsSignature) is passed over without a word.
class VideoCollector : public PathCollector {
  public:
    explicit VideoCollector(std::vector<VideoJob>& videoJobs) : videoJobs_(videoJobs) {}
    void add(const std::string& path) override;
    void setRoot(std::string root) { root_ = std::move(root); }

  private:
    std::vector<VideoJob>& videoJobs_;
    std::string root_;
};

// The real folders a scan has entered, known by device and inode, so that
// none is searched twice however it is reached again: through a link, a
// link loop, or dropped a second time under another spelling.
class VisitedFolders {
  public:
    // Notes the folder; false when it was entered before. A folder that
    // cannot be looked at counts as new (its listing then fails).
    bool enter(const std::string& folder);

  private:
    std::set<std::pair<std::uint64_t, std::uint64_t>> entered_;
};

// Searches folder and all its sub-folders, depth first, and offers every
// regular file whose name matches pattern ("*" and "?" wildcards, letter
// case ignored) to the collector as folder + "/" + name (no second "/" when
// folder ends with one), the name spelled as stored. In each folder the
// sub-folders are searched first, then its files are offered; both in
// ascending order of name, compared without regard to ASCII case, ties
// broken byte by byte. Symbolic links to folders are followed, but each
// real folder is searched once, under the first path that reaches it, so
// link loops end; folders that cannot be listed are passed over. Returns
// false when folder itself could not be listed.
bool scanFolder(const std::string& folder, std::string_view pattern, PathCollector& collector);
// The same, passing over the folders already in `visited` (true when folder
// itself is one of them) and adding those it enters. Sub-folders that cannot
// be listed are added to `unlisted`, if given.
bool scanFolder(const std::string& folder, std::string_view pattern, PathCollector& collector,
                VisitedFolders& visited, std::vector<std::string>* unlisted = nullptr);

// The message for a dropped item that is not a folder.
inline constexpr std::string_view kNotFolderMessage = "Select folder not file.";

struct DropResult {
    // Items that are not folders, each refused with kNotFolderMessage.
    std::vector<std::string> refused;
    // Items taken as folders whose contents could not be listed (missing,
    // or not readable): they add no jobs.
    std::vector<std::string> unreadable;
    // Folders inside the dropped ones that could not be listed and were
    // passed over, each once.
    std::vector<std::string> unlisted;
};

// What a drop does with an item that is a file rather than a folder.
enum class DroppedFiles {
    Refuse,      // every file is refused
    TakeVideos,  // a video file (named as one, holdsSignature) is queued; others are refused
};

// How much of each dropped folder is searched.
enum class FolderDepth {
    WithSubFolders,  // the folder and all its sub-folders
    FolderOnly,      // the folder's own files: no sub-folder is entered or looked at
};

// Replaces the queued jobs with those found in the dropped paths. Each
// folder, in the order given, is scanned for the pictures and then the
// videos of the format table (kInputFormats), one pattern after the other
// ("*.tga", "*.bmp", ... "*.dv"). A folder already
// searched in this drop (dropped twice, or inside one dropped before) adds
// nothing again. Each job remembers the dropped folder it was found in.
DropResult dropPaths(JobList& jobs, const std::vector<std::string>& paths,
                     DroppedFiles files = DroppedFiles::Refuse,
                     FolderDepth depth = FolderDepth::WithSubFolders);

// The drop's items that gave no jobs, as faults: those refused (not-a-folder),
// those that could not be listed (not-found or unreadable, step DropItem),
// then the sub-folders passed over (step PassOver), each with its path.
std::vector<Fault> dropFaults(const DropResult& drop);

// The list row of a job: prefix(first - last).extension, or the video's path.
std::string rowText(const FolderJob& job);
std::string rowText(const VideoJob& job);

// One row per job, picture sequences first, as the job list shows them.
std::vector<std::string> listRows(const JobList& jobs);

}  // namespace vantrel
