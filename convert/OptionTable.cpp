#include "convert/OptionTable.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <type_traits>
#include <vector>

#include "convert/OptionText.h"

namespace vantrel {

namespace {

using K = OptionKey;
using Kind = OptionKind;
using Group = OptionGroup;

bool given(const OptionValue& value) { return std::get<bool>(value); }

// An optional number of the settings: none when at its default.
OptionValue noneOr(bool set, OptionValue value) { return set ? value : OptionValue{}; }

std::vector<OptionRow> makeTable() {
    std::vector<OptionRow> rows = {
        {K::Lossless, "-l,--lossless", Kind::Flag, "", "store pictures losslessly (default: JPEG)",
         Group::Dialog, "lossless", 0, "Lossless Compression", "", "", 0,
         [](BatchRequest& r, const OptionValue& v) {
             r.settings.compression = given(v) ? CompressionType::Lossless : CompressionType::Jpeg;
         },
         [](const BatchRequest& r) -> OptionValue {
             return r.settings.compression == CompressionType::Lossless;
         }},
        {K::Quality, "-q,--quality", Kind::Quality, "N",
         "JPEG colour quality, 1 to 100 (default 90)", Group::Dialog, "quality", 1,
         "Color Quality(1-100)", "", "", 0,
         [](BatchRequest& r, const OptionValue& v) {
             r.settings.colorQuality = static_cast<std::int32_t>(std::get<std::int64_t>(v));
         },
         [](const BatchRequest& r) -> OptionValue {
             return std::int64_t{r.settings.colorQuality};
         }},
        {K::TargetSize, "--target-size", Kind::ByteSize, "SIZE",
         "store each movie's pictures at the highest JPEG quality at which the movie takes at "
         "most SIZE bytes (k = 1000, M = 1000000; Ki, Mi: 1024, 1048576)",
         Group::MoreOptions, "target_size", 13, "Target Size",
         "The JPEG quality is chosen so the movie fits. Empty: none", "targetSize,targetUnit", 1,
         [](BatchRequest& r, const OptionValue& v) {
             r.settings.targetSize =
                 std::holds_alternative<std::int64_t>(v)
                     ? static_cast<std::uint64_t>(std::get<std::int64_t>(v))
                     : 0;
         },
         [](const BatchRequest& r) {
             return noneOr(r.settings.targetSize > 0,
                           static_cast<std::int64_t>(r.settings.targetSize));
         }},
        {K::Alpha, "-a,--alpha", Kind::Flag, "", "include the alpha channel", Group::Dialog,
         "alpha", 2, "Include Alpha Channel", "", "", 0,
         [](BatchRequest& r, const OptionValue& v) { r.settings.includeAlpha = given(v); },
         [](const BatchRequest& r) -> OptionValue { return r.settings.includeAlpha; }},
        {K::Rate, "-r,--rate", Kind::Rate, "FPS", "frames per second, 0.01 to 255 (default 15)",
         Group::Dialog, "frame_rate", 3, "Frame Rate (Per Second)", "", "", 0,
         [](BatchRequest& r, const OptionValue& v) {
             r.settings.frameRate = static_cast<float>(std::get<double>(v));
         },
         [](const BatchRequest& r) -> OptionValue { return double{r.settings.frameRate}; }},
        {K::Start, "--start", Kind::Seconds, "TIME",
         "convert each video or sequence from TIME seconds in (pictures count at the rate)",
         Group::MoreOptions, "start", 8, "Start (Seconds)", "For videos. Empty: from the start",
         "startSeconds", 2,
         [](BatchRequest& r, const OptionValue& v) {
             r.settings.cutStart =
                 std::holds_alternative<double>(v) ? std::get<double>(v) : 0.0;
         },
         [](const BatchRequest& r) -> OptionValue { return r.settings.cutStart; }},
        {K::End, "--end", Kind::Seconds, "TIME",
         "convert each video or sequence up to TIME seconds in", Group::MoreOptions, "end", 9,
         "End (Seconds)", "For videos. Empty: to the end", "endSeconds", 3,
         [](BatchRequest& r, const OptionValue& v) {
             r.settings.cutEnd = std::holds_alternative<double>(v)
                                     ? std::optional(std::get<double>(v))
                                     : std::nullopt;
         },
         [](const BatchRequest& r) {
             return noneOr(r.settings.cutEnd.has_value(), r.settings.cutEnd.value_or(0.0));
         }},
        {K::MaxSize, "--max-size", Kind::Box, "WxH",
         "scale pictures and video frames down to fit inside W x H pixels (default: no limit)",
         Group::MoreOptions, "max_size", 12, "Maximum Size (Pixels)", "Empty: no limit",
         "maxWidth,maxHeight", 0,
         [](BatchRequest& r, const OptionValue& v) {
             r.settings.maxSize =
                 std::holds_alternative<PictureBox>(v) ? std::get<PictureBox>(v) : PictureBox{};
         },
         [](const BatchRequest& r) {
             return noneOr(r.settings.maxSize.limits(), r.settings.maxSize);
         }},
        {K::NoHtml, "--no-html", Kind::Flag, "", "write no HTML pages", Group::Dialog,
         "html_page", 4, "Output HTML", "", "", 0,
         [](BatchRequest& r, const OptionValue& v) { r.settings.outputHtml = !given(v); },
         [](const BatchRequest& r) -> OptionValue { return r.settings.outputHtml; }},
        {K::PlayerScript, "--player-script", Kind::Text, "URL",
         "each page loads the Flash emulator script at URL, such as Ruffle's ruffle.js",
         Group::CommandLine, "", 0, "", "", "", 0,
         [](BatchRequest& r, const OptionValue& v) {
             r.settings.playerScript = std::get<std::string>(v);
         },
         [](const BatchRequest& r) -> OptionValue { return r.settings.playerScript; }},
        {K::NoVideoSound, "--no-video-sound", Kind::Flag, "",
         "videos without a companion MP3 file stay silent (default: they keep their own sound)",
         Group::CommandLine, "video_sound", 5, "", "", "", 0,
         [](BatchRequest& r, const OptionValue& v) { r.settings.videoSound = !given(v); },
         [](const BatchRequest& r) -> OptionValue { return r.settings.videoSound; }},
        {K::StreamSound, "--stream-sound", Kind::Flag, "",
         "write the sound as a stream, split among the frames, so that players drop pictures to "
         "keep pace with it (default: one sound started in the first frame)",
         Group::MoreOptions, "stream_sound", 10, "Stream Sound",
         "The sound keeps pace: a slow player skips pictures instead", "streamSound", 4,
         [](BatchRequest& r, const OptionValue& v) { r.settings.streamSound = given(v); },
         [](const BatchRequest& r) -> OptionValue { return r.settings.streamSound; }},
        {K::PlayOnce, "--play-once", Kind::Flag, "",
         "stop on the last frame instead of looping, in the movie and its page",
         Group::MoreOptions, "play_once", 11, "Play Once",
         "Stop at the last frame instead of looping", "playOnce", 5,
         [](BatchRequest& r, const OptionValue& v) { r.settings.playOnce = given(v); },
         [](const BatchRequest& r) -> OptionValue { return r.settings.playOnce; }},
        {K::List, "--list", Kind::Flag, "",
         "print the queued jobs, one row each as the window lists them, and convert nothing",
         Group::CommandLine, "", 0, "", "", "", 0,
         [](BatchRequest& r, const OptionValue& v) { r.listOnly = given(v); },
         [](const BatchRequest& r) -> OptionValue { return r.listOnly; }},
        {K::DryRun, "--dry-run", Kind::Flag, "",
         "print the movie, page and sound each job would get, and write nothing",
         Group::CommandLine, "dry_run", 7, "", "", "", 0,
         [](BatchRequest& r, const OptionValue& v) { r.dryRun = given(v); },
         [](const BatchRequest& r) -> OptionValue { return r.dryRun; }},
        {K::Quiet, "--quiet", Kind::Flag, "", "no progress display", Group::CommandLine, "", 0,
         "", "", "", 0, [](BatchRequest& r, const OptionValue& v) { r.quiet = given(v); },
         [](const BatchRequest& r) -> OptionValue { return r.quiet; }},
        {K::NoSubfolders, "--no-subfolders", Kind::Flag, "",
         "search only each FOLDER's own files, none of its sub-folders", Group::CommandLine, "",
         0, "", "", "", 0,
         [](BatchRequest& r, const OptionValue& v) { r.subfolders = !given(v); },
         [](const BatchRequest& r) -> OptionValue { return r.subfolders; }},
        {K::Report, "--report", Kind::Text, "FILE",
         "write the batch's report as JSON to FILE (-: standard output, and the lines of "
         "converted jobs go to standard error)",
         Group::CommandLine, "", 0, "", "", "", 0,
         [](BatchRequest& r, const OptionValue& v) { r.reportPath = std::get<std::string>(v); },
         [](const BatchRequest& r) -> OptionValue { return r.reportPath; }},
        {K::OutputDir, "-o,--output-dir", Kind::Text, "DIR",
         "write movies and pages under DIR, each at its place under the folder given",
         Group::CommandLine, "", 0, "", "", "", 0,
         [](BatchRequest& r, const OptionValue& v) {
             r.settings.outputFolder = std::get<std::string>(v);
         },
         [](const BatchRequest& r) -> OptionValue { return r.settings.outputFolder; }},
        {K::NoOverwrite, "-n,--no-overwrite", Kind::Flag, "", "skip the jobs whose movie exists",
         Group::CommandLine, "", 0, "", "", "", 0,
         [](BatchRequest& r, const OptionValue& v) { r.settings.replaceMovies = !given(v); },
         [](const BatchRequest& r) -> OptionValue { return r.settings.replaceMovies; }},
        {K::Jobs, "-j,--jobs", Kind::Threads, "N",
         "threads that read, decode and encode each movie's frames (default: one per core)",
         Group::CommandLine, "threads", 6, "", "", "", 0,
         [](BatchRequest& r, const OptionValue& v) {
             r.threads = static_cast<unsigned>(std::get<std::int64_t>(v));
         },
         [](const BatchRequest& r) -> OptionValue { return std::int64_t{r.threads}; }},
    };
    return rows;
}

}  // namespace

std::span<const OptionRow> optionTable() {
    static const std::vector<OptionRow> table = makeTable();
    return table;
}

const OptionRow* optionRow(OptionKey key, std::span<const OptionRow> rows) {
    const auto found =
        std::find_if(rows.begin(), rows.end(), [key](const OptionRow& row) { return row.key == key; });
    return found == rows.end() ? nullptr : &*found;
}

std::string_view longName(const OptionRow& row) {
    std::string_view names = row.names;
    return names.substr(names.rfind("--") + 2);
}

std::optional<OptionValue> parseOptionText(OptionKind kind, std::string_view text,
                                           std::string& message) {
    const auto wrap = [](const auto& parsed) -> std::optional<OptionValue> {
        if (!parsed) return std::nullopt;
        using Parsed = std::decay_t<decltype(*parsed)>;
        if constexpr (std::is_integral_v<Parsed>) {
            return OptionValue{static_cast<std::int64_t>(*parsed)};
        } else if constexpr (std::is_floating_point_v<Parsed>) {
            return OptionValue{static_cast<double>(*parsed)};
        } else {
            return OptionValue{*parsed};
        }
    };
    switch (kind) {
        case OptionKind::Flag: return OptionValue{true};
        case OptionKind::Quality: return wrap(parseQuality(text, message));
        case OptionKind::Rate: return wrap(parseFrameRate(text, message));
        case OptionKind::Seconds: return wrap(parseSeconds(text, message));
        case OptionKind::Box: return wrap(parseBox(text, message));
        case OptionKind::ByteSize: return wrap(parseByteSize(text, message));
        case OptionKind::Text: return OptionValue{std::string(text)};
        case OptionKind::Threads: {
            std::int64_t threads = 0;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), threads);
            if (error != std::errc() || end != text.data() + text.size() || threads < 1 ||
                threads > kMaxThreads) {
                return std::nullopt;
            }
            return OptionValue{threads};
        }
    }
    return std::nullopt;
}

std::string commandLineName(OptionKey key) {
    const OptionRow* row = optionRow(key);
    return row == nullptr ? std::string() : "--" + std::string(longName(*row));
}

std::string windowName(OptionKey key) {
    const OptionRow* row = optionRow(key);
    if (row == nullptr || row->group == OptionGroup::CommandLine) return {};
    // The label without what it says of the field's unit or range.
    std::string name(row->label.substr(0, row->label.find('(')));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return row->group == OptionGroup::MoreOptions ? name + " (More options)" : name;
}

}  // namespace vantrel
