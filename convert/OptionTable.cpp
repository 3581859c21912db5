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

// Each row names only the fields it sets; the rest keep their defaults.
// GCC 12 warns of every field a designated initializer leaves out, even one
// with a default.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
std::vector<OptionRow> makeTable() {
    return {
        {.key = K::Lossless, .names = "-l,--lossless", .kind = Kind::Flag,
         .help = "store pictures losslessly (default: JPEG)", .group = Group::Dialog,
         .reportKey = "lossless", .reportPlace = 0, .label = "Lossless Compression",
         .assign =
             [](BatchRequest& r, const OptionValue& v) {
                 r.settings.compression =
                     given(v) ? CompressionType::Lossless : CompressionType::Jpeg;
             },
         .value = [](const BatchRequest& r) -> OptionValue {
             return r.settings.compression == CompressionType::Lossless;
         }},
        {.key = K::Quality, .names = "-q,--quality", .kind = Kind::Quality, .valueName = "N",
         .help = "JPEG colour quality, 1 to 100 (default 90)", .group = Group::Dialog,
         .reportKey = "quality", .reportPlace = 1, .label = "Color Quality(1-100)",
         .assign =
             [](BatchRequest& r, const OptionValue& v) {
                 r.settings.colorQuality = static_cast<std::int32_t>(std::get<std::int64_t>(v));
             },
         .value = [](const BatchRequest& r) -> OptionValue {
             return std::int64_t{r.settings.colorQuality};
         }},
        {.key = K::TargetSize, .names = "--target-size", .kind = Kind::ByteSize,
         .valueName = "SIZE",
         .help = "store each movie's pictures at the highest JPEG quality at which the movie "
                 "takes at most SIZE bytes (k = 1000, M = 1000000; Ki, Mi: 1024, 1048576)",
         .group = Group::MoreOptions, .reportKey = "target_size", .reportPlace = 13,
         .label = "Target Size",
         .tooltip = "The JPEG quality is chosen so the movie fits. Empty: none",
         .fieldName = "targetSize,targetUnit", .panelPlace = 1,
         .assign =
             [](BatchRequest& r, const OptionValue& v) {
                 const std::int64_t* bytes = std::get_if<std::int64_t>(&v);
                 r.settings.targetSize = bytes != nullptr ? static_cast<std::uint64_t>(*bytes) : 0;
             },
         .value =
             [](const BatchRequest& r) {
                 return noneOr(r.settings.targetSize > 0,
                               static_cast<std::int64_t>(r.settings.targetSize));
             }},
        {.key = K::Alpha, .names = "-a,--alpha", .kind = Kind::Flag,
         .help = "include the alpha channel", .group = Group::Dialog, .reportKey = "alpha",
         .reportPlace = 2, .label = "Include Alpha Channel",
         .assign = [](BatchRequest& r, const OptionValue& v) { r.settings.includeAlpha = given(v); },
         .value = [](const BatchRequest& r) -> OptionValue { return r.settings.includeAlpha; }},
        {.key = K::Rate, .names = "-r,--rate", .kind = Kind::Rate, .valueName = "FPS",
         .help = "frames per second, 0.01 to 255 (default 15)", .group = Group::Dialog,
         .reportKey = "frame_rate", .reportPlace = 3, .label = "Frame Rate (Per Second)",
         .assign =
             [](BatchRequest& r, const OptionValue& v) {
                 r.settings.frameRate = static_cast<float>(std::get<double>(v));
             },
         .value = [](const BatchRequest& r) -> OptionValue { return double{r.settings.frameRate}; }},
        {.key = K::Start, .names = "--start", .kind = Kind::Seconds, .valueName = "TIME",
         .help = "convert each video or sequence from TIME seconds in (pictures count at the rate)",
         .group = Group::MoreOptions, .reportKey = "start", .reportPlace = 8,
         .label = "Start (Seconds)", .tooltip = "For videos. Empty: from the start",
         .fieldName = "startSeconds", .panelPlace = 2,
         .assign =
             [](BatchRequest& r, const OptionValue& v) {
                 const double* seconds = std::get_if<double>(&v);
                 r.settings.cutStart = seconds != nullptr ? *seconds : 0.0;
             },
         .value = [](const BatchRequest& r) -> OptionValue { return r.settings.cutStart; }},
        {.key = K::End, .names = "--end", .kind = Kind::Seconds, .valueName = "TIME",
         .help = "convert each video or sequence up to TIME seconds in",
         .group = Group::MoreOptions, .reportKey = "end", .reportPlace = 9,
         .label = "End (Seconds)", .tooltip = "For videos. Empty: to the end",
         .fieldName = "endSeconds", .panelPlace = 3,
         .assign =
             [](BatchRequest& r, const OptionValue& v) {
                 const double* seconds = std::get_if<double>(&v);
                 r.settings.cutEnd = seconds != nullptr ? std::optional(*seconds) : std::nullopt;
             },
         .value =
             [](const BatchRequest& r) {
                 return noneOr(r.settings.cutEnd.has_value(), r.settings.cutEnd.value_or(0.0));
             }},
        {.key = K::MaxSize, .names = "--max-size", .kind = Kind::Box, .valueName = "WxH",
         .help = "scale pictures and video frames down to fit inside W x H pixels (default: no "
                 "limit)",
         .group = Group::MoreOptions, .reportKey = "max_size", .reportPlace = 12,
         .label = "Maximum Size (Pixels)", .tooltip = "Empty: no limit",
         .fieldName = "maxWidth,maxHeight", .panelPlace = 0,
         .assign =
             [](BatchRequest& r, const OptionValue& v) {
                 const PictureBox* box = std::get_if<PictureBox>(&v);
                 r.settings.maxSize = box != nullptr ? *box : PictureBox{};
             },
         .value =
             [](const BatchRequest& r) {
                 return noneOr(r.settings.maxSize.limits(), r.settings.maxSize);
             }},
        {.key = K::NoHtml, .names = "--no-html", .kind = Kind::Flag,
         .help = "write no HTML pages", .group = Group::Dialog, .reportKey = "html_page",
         .reportPlace = 4, .label = "Output HTML",
         .assign = [](BatchRequest& r, const OptionValue& v) { r.settings.outputHtml = !given(v); },
         .value = [](const BatchRequest& r) -> OptionValue { return r.settings.outputHtml; }},
        {.key = K::PlayerScript, .names = "--player-script", .kind = Kind::Text,
         .valueName = "URL",
         .help = "each page loads the Flash emulator script at URL, such as Ruffle's ruffle.js",
         .assign =
             [](BatchRequest& r, const OptionValue& v) {
                 r.settings.playerScript = std::get<std::string>(v);
             },
         .value = [](const BatchRequest& r) -> OptionValue { return r.settings.playerScript; }},
        {.key = K::NoVideoSound, .names = "--no-video-sound", .kind = Kind::Flag,
         .help = "videos without a companion MP3 file stay silent (default: they keep their own "
                 "sound)",
         .reportKey = "video_sound", .reportPlace = 5,
         .assign = [](BatchRequest& r, const OptionValue& v) { r.settings.videoSound = !given(v); },
         .value = [](const BatchRequest& r) -> OptionValue { return r.settings.videoSound; }},
        {.key = K::StreamSound, .names = "--stream-sound", .kind = Kind::Flag,
         .help = "write the sound as a stream, split among the frames, so that players drop "
                 "pictures to keep pace with it (default: one sound started in the first frame)",
         .group = Group::MoreOptions, .reportKey = "stream_sound", .reportPlace = 10,
         .label = "Stream Sound",
         .tooltip = "The sound keeps pace: a slow player skips pictures instead",
         .fieldName = "streamSound", .panelPlace = 4,
         .assign = [](BatchRequest& r, const OptionValue& v) { r.settings.streamSound = given(v); },
         .value = [](const BatchRequest& r) -> OptionValue { return r.settings.streamSound; }},
        {.key = K::PlayOnce, .names = "--play-once", .kind = Kind::Flag,
         .help = "stop on the last frame instead of looping, in the movie and its page",
         .group = Group::MoreOptions, .reportKey = "play_once", .reportPlace = 11,
         .label = "Play Once", .tooltip = "Stop at the last frame instead of looping",
         .fieldName = "playOnce", .panelPlace = 5,
         .assign = [](BatchRequest& r, const OptionValue& v) { r.settings.playOnce = given(v); },
         .value = [](const BatchRequest& r) -> OptionValue { return r.settings.playOnce; }},
        {.key = K::List, .names = "--list", .kind = Kind::Flag,
         .help = "print the queued jobs, one row each as the window lists them, and convert "
                 "nothing",
         .assign = [](BatchRequest& r, const OptionValue& v) { r.listOnly = given(v); },
         .value = [](const BatchRequest& r) -> OptionValue { return r.listOnly; }},
        {.key = K::DryRun, .names = "--dry-run", .kind = Kind::Flag,
         .help = "print the movie, page and sound each job would get, and write nothing",
         .reportKey = "dry_run", .reportPlace = 7,
         .assign = [](BatchRequest& r, const OptionValue& v) { r.dryRun = given(v); },
         .value = [](const BatchRequest& r) -> OptionValue { return r.dryRun; }},
        {.key = K::Quiet, .names = "--quiet", .kind = Kind::Flag, .help = "no progress display",
         .assign = [](BatchRequest& r, const OptionValue& v) { r.quiet = given(v); },
         .value = [](const BatchRequest& r) -> OptionValue { return r.quiet; }},
        {.key = K::NoSubfolders, .names = "--no-subfolders", .kind = Kind::Flag,
         .help = "search only each FOLDER's own files, none of its sub-folders",
         .assign = [](BatchRequest& r, const OptionValue& v) { r.subfolders = !given(v); },
         .value = [](const BatchRequest& r) -> OptionValue { return r.subfolders; }},
        {.key = K::Report, .names = "--report", .kind = Kind::Text, .valueName = "FILE",
         .help = "write the batch's report as JSON to FILE (-: standard output, and the lines of "
                 "converted jobs go to standard error)",
         .assign =
             [](BatchRequest& r, const OptionValue& v) { r.reportPath = std::get<std::string>(v); },
         .value = [](const BatchRequest& r) -> OptionValue { return r.reportPath; }},
        {.key = K::OutputDir, .names = "-o,--output-dir", .kind = Kind::Text, .valueName = "DIR",
         .help = "write movies and pages under DIR, each at its place under the folder given",
         .assign =
             [](BatchRequest& r, const OptionValue& v) {
                 r.settings.outputFolder = std::get<std::string>(v);
             },
         .value = [](const BatchRequest& r) -> OptionValue { return r.settings.outputFolder; }},
        {.key = K::NoOverwrite, .names = "-n,--no-overwrite", .kind = Kind::Flag,
         .help = "skip the jobs whose movie exists",
         .assign =
             [](BatchRequest& r, const OptionValue& v) { r.settings.replaceMovies = !given(v); },
         .value = [](const BatchRequest& r) -> OptionValue { return r.settings.replaceMovies; }},
        {.key = K::Jobs, .names = "-j,--jobs", .kind = Kind::Threads, .valueName = "N",
         .help = "threads that read, decode and encode each movie's frames (default: one per "
                 "core)",
         .reportKey = "threads", .reportPlace = 6,
         .assign =
             [](BatchRequest& r, const OptionValue& v) {
                 r.threads = static_cast<unsigned>(std::get<std::int64_t>(v));
             },
         .value = [](const BatchRequest& r) -> OptionValue { return std::int64_t{r.threads}; }},
    };
}
#pragma GCC diagnostic pop

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
