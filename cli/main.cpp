// vantrel-cli: converts dropped folders from the command line, the way one
// drop onto the window followed by one Convert command would.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/Formats.h"
#include "cli/ConsoleObserver.h"
#include "cli/JsonReport.h"
#include "cli/StopSignal.h"
#include "convert/ConvertDriver.h"
#include "convert/JobIntake.h"
#include "convert/OptionText.h"
#include "convert/VantrelDoc.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

using vantrel::CompressionType;
using vantrel::JobOutcome;

constexpr int kExitOk = 0;
constexpr int kExitProblems = 1;
constexpr int kExitUsage = 2;

// Converted and planned jobs go to `lines`: standard output, unless the
// JSON report takes it; the rest, and every warning, to standard error.
void printOutcome(const JobOutcome& outcome, std::ostream& lines) {
    for (const std::string& warning : vantrel::warningLines(outcome)) {
        std::cerr << "warning: " << warning << "\n";
    }
    const bool wanted = outcome.status == JobOutcome::Status::Converted ||
                        outcome.status == JobOutcome::Status::Planned;
    // Flushed, so that a script reading the lines sees each job as it ends.
    (wanted ? lines : std::cerr) << vantrel::outcomeLine(outcome) << std::endl;
}

// A file of the batch that the report may not be, in words: "the batch
// reads this file (picture /a/walk2.bmp of /a/walk(1 - 3).bmp)".
std::string batchFileText(const vantrel::BatchFile& file) {
    using Role = vantrel::BatchFile::Role;
    static constexpr const char* kRoles[] = {"picture", "video", "sound", "movie", "page"};
    const bool written = file.role == Role::Movie || file.role == Role::Page;
    return std::string("the batch ") + (written ? "writes" : "reads") + " this file (" +
           kRoles[static_cast<int>(file.role)] + " " + file.path + " of " + file.source + ")";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Converts numbered picture sequences and videos in FOLDERs into SWF movies.",
                 "vantrel-cli"};
    app.set_version_flag("-V,--version", "vantrel-cli " VANTREL_VERSION);
    app.footer(
        "Pictures: " + vantrel::patternList(vantrel::MediaKind::Picture) +
        ".\nVideos: " + vantrel::patternList(vantrel::MediaKind::Video) +
        ".\n\n"
        "Sound: pictures walk001.bmp, walk002.bmp, ... take the sound of walk.mp3 beside them; a\n"
        "video clip.avi that of clip.avi.mp3, else clip.mp3 (the names in any letter case), else\n"
        "its own sound. A sound file that is not MP3 at 44.1, 22.05 or 11.025 kHz, which movies\n"
        "can state (MP3 at 48 kHz, MPEG audio Layer II, AAC, WAV, ...), is re-encoded as MP3.\n"
        "\n"
        "A video FILE given instead of a folder is converted too. Ctrl-C (SIGINT) or SIGTERM\n"
        "stops after the current frame; the movies already written stay.\n"
        "\n"
        "Exit status: 0 when every job was converted (or, with -n, kept); 1 when nothing was\n"
        "found, an item was refused or missing, a folder could not be read, a page could not\n"
        "be written, or a job was skipped or failed; 2 for invalid options; 130 or 143 when\n"
        "stopped by SIGINT or SIGTERM.");

    bool lossless = false;
    bool alpha = false;
    bool noHtml = false;
    std::string playerScript;
    bool noVideoSound = false;
    bool streamSound = false;
    bool playOnce = false;
    bool list = false;
    bool dryRun = false;
    bool quiet = false;
    bool noSubFolders = false;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    std::string qualityText = "90";
    std::string rateText = "15";
    std::string startText;
    std::string endText;
    std::string maxSizeText;
    std::string targetSizeText;
    std::string reportPath;
    std::vector<std::string> folders;
    std::string outputFolder;
    bool noOverwrite = false;
    app.add_flag("-l,--lossless", lossless, "store pictures losslessly (default: JPEG)");
    app.add_option("-q,--quality", qualityText, "JPEG colour quality, 1 to 100 (default 90)")
        ->type_name("N");
    app.add_option("--target-size", targetSizeText,
                   "store each movie's pictures at the highest JPEG quality at which the movie "
                   "takes at most SIZE bytes (k = 1000, M = 1000000; Ki, Mi: 1024, 1048576)")
        ->type_name("SIZE");
    app.add_flag("-a,--alpha", alpha, "include the alpha channel");
    app.add_option("-r,--rate", rateText, "frames per second, 0.01 to 255 (default 15)")
        ->type_name("FPS");
    app.add_option(
           "--start", startText,
           "convert each video or sequence from TIME seconds in (pictures count at the rate)")
        ->type_name("TIME");
    app.add_option("--end", endText, "convert each video or sequence up to TIME seconds in")
        ->type_name("TIME");
    app.add_option("--max-size", maxSizeText,
                   "scale pictures and video frames down to fit inside W x H pixels (default: "
                   "no limit)")
        ->type_name("WxH");
    app.add_flag("--no-html", noHtml, "write no HTML pages");
    app.add_option("--player-script", playerScript,
                   "each page loads the Flash emulator script at URL, such as Ruffle's ruffle.js")
        ->type_name("URL");
    app.add_flag("--no-video-sound", noVideoSound,
                 "videos without a companion MP3 file stay silent (default: they keep their own "
                 "sound)");
    app.add_flag("--stream-sound", streamSound,
                 "write the sound as a stream, split among the frames, so that players drop "
                 "pictures to keep pace with it (default: one sound started in the first frame)");
    app.add_flag("--play-once", playOnce,
                 "stop on the last frame instead of looping, in the movie and its page");
    app.add_flag(
        "--list", list,
        "print the queued jobs, one row each as the window lists them, and convert nothing");
    app.add_flag("--dry-run", dryRun,
                 "print the movie, page and sound each job would get, and write nothing");
    app.add_flag("--quiet", quiet, "no progress display");
    app.add_flag("--no-subfolders", noSubFolders,
                 "search only each FOLDER's own files, none of its sub-folders");
    app.add_option("--report", reportPath,
                   "write the batch's report as JSON to FILE (-: standard output, and the lines "
                   "of converted jobs go to standard error)")
        ->type_name("FILE");
    app.add_option("-o,--output-dir", outputFolder,
                   "write movies and pages under DIR, each at its place under the folder given")
        ->type_name("DIR");
    app.add_flag("-n,--no-overwrite", noOverwrite, "skip the jobs whose movie exists");
    app.add_option("-j,--jobs", jobs,
                   "threads that read, decode and encode each movie's frames (default: one per "
                   "core)")
        ->type_name("N")
        ->check(CLI::Range(1u, 1024u));
    app.add_option("FOLDER", folders, "folders to search for pictures and videos, or video files")
        ->required()
        ->type_name("");
    // An empty value, as an unset shell variable gives, would otherwise
    // pass for the option left out. Checked before any option's own check.
    const CLI::Validator notEmpty(
        [](const std::string& value) {
            return value.empty() ? "an empty value: give one, or leave the option out"
                                 : std::string();
        },
        "");
    for (CLI::Option* option : app.get_options()) {
        if (option->nonpositional() && option->get_type_size() > 0) option->transform(notEmpty);
    }

    // CLI11 reads "--name=" as the name alone, which then takes the next
    // word as its value; split, the value is the empty word it is. CLI11
    // takes the words last first.
    std::vector<std::string> words;
    for (int i = argc - 1; i > 0; --i) words.emplace_back(argv[i]);
    for (auto word = words.end(); word != words.begin();) {
        --word;
        if (*word == "--") break;
        const CLI::Option* option = word->ends_with('=')
                                        ? app.get_option_no_throw(word->substr(0, word->size() - 1))
                                        : nullptr;
        if (option != nullptr && option->get_type_size() > 0) {
            word->pop_back();
            word = words.insert(word, std::string());
        }
    }

    try {
        app.parse(words);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }

    std::string message;
    const std::optional<std::int32_t> quality = vantrel::parseQuality(qualityText, message);
    if (!quality) {
        std::cerr << "vantrel-cli: --quality " << qualityText << ": " << message << "\n";
        return kExitUsage;
    }
    const std::optional<float> rate = vantrel::parseFrameRate(rateText, message);
    if (!rate) {
        std::cerr << "vantrel-cli: --rate " << rateText << ": " << message << "\n";
        return kExitUsage;
    }
    std::optional<double> cutStart = 0.0;
    std::optional<double> cutEnd;
    for (auto [name, text, value] :
         {std::tuple("--start", &startText, &cutStart), std::tuple("--end", &endText, &cutEnd)}) {
        if (text->empty() && app.count(name) == 0) continue;
        *value = vantrel::parseSeconds(*text, message);
        if (!*value) {
            std::cerr << "vantrel-cli: " << name << " " << *text << ": " << message << "\n";
            return kExitUsage;
        }
    }
    if (cutEnd && *cutEnd <= *cutStart) {
        std::cerr << "vantrel-cli: --end " << endText << ": not after --start " << *cutStart
                  << "\n";
        return kExitUsage;
    }
    const std::optional<vantrel::PictureBox> maxSize =
        maxSizeText.empty() ? vantrel::PictureBox{} : vantrel::parseBox(maxSizeText, message);
    if (!maxSize) {
        std::cerr << "vantrel-cli: --max-size " << maxSizeText << ": " << message << "\n";
        return kExitUsage;
    }

    std::optional<std::uint64_t> targetSize;
    if (!targetSizeText.empty()) {
        targetSize = vantrel::parseByteSize(targetSizeText, message);
        if (!targetSize) {
            std::cerr << "vantrel-cli: --target-size " << targetSizeText << ": " << message << "\n";
            return kExitUsage;
        }
        if (lossless) {
            std::cerr << "vantrel-cli: --target-size: lossless pictures (--lossless) have no "
                         "quality to choose\n";
            return kExitUsage;
        }
    }

    vantrel::JsonReportFile jsonReport(list ? "" : reportPath);
    if (!jsonReport.error().empty()) {
        std::cerr << "vantrel-cli: --report " << reportPath << ": " << jsonReport.error() << "\n";
        return kExitUsage;
    }
    if (const std::optional<vantrel::Fault> refused =
            list ? std::nullopt : vantrel::outputFolderRefusal(outputFolder)) {
        std::cerr << "vantrel-cli: " << vantrel::faultText(*refused) << "\n";
        return kExitUsage;
    }

    // The report says which videos failed; the decoder's own chatter about
    // damaged streams would only clutter the terminal.
    av_log_set_level(AV_LOG_QUIET);

    vantrel::CVantrelDoc doc;
    vantrel::ConvertSettings& settings = doc.settings;
    settings.compression = lossless ? CompressionType::Lossless : CompressionType::Jpeg;
    settings.includeAlpha = alpha;
    settings.colorQuality = *quality;
    settings.frameRate = *rate;
    settings.outputHtml = !noHtml;
    settings.videoSound = !noVideoSound;
    settings.outputFolder = outputFolder;
    settings.replaceMovies = !noOverwrite;
    settings.playerScript = playerScript;
    settings.cutStart = *cutStart;
    settings.cutEnd = cutEnd;
    settings.streamSound = streamSound;
    settings.playOnce = playOnce;
    settings.maxSize = *maxSize;
    settings.targetSize = targetSize.value_or(0);
    bool problems = false;
    const vantrel::DropResult drop = vantrel::dropPaths(
        doc.jobs, folders, vantrel::DroppedFiles::TakeVideos,
        noSubFolders ? vantrel::FolderDepth::FolderOnly : vantrel::FolderDepth::WithSubFolders);
    for (const vantrel::Fault& fault : vantrel::dropFaults(drop)) {
        if (fault.step == vantrel::FaultStep::PassOver) std::cerr << "warning: ";
        std::cerr << fault.path << ": " << vantrel::faultText(fault) << "\n";
        problems = true;
    }

    if (list) {
        for (const std::string& row : vantrel::listRows(doc.jobs)) std::cout << row << "\n";
        return problems ? kExitProblems : kExitOk;
    }
    const vantrel::ReportOptions used{settings, jobs, dryRun};
    // Only a dry run needs the videos' headers: a real run opens each video itself.
    const vantrel::BatchPlan plan = vantrel::planBatch(
        doc.jobs, doc.settings,
        dryRun ? vantrel::VideoHeaders::Read : vantrel::VideoHeaders::Unread);
    if (const std::optional<vantrel::BatchFile> taken =
            jsonReport.file().empty() ? std::nullopt
                                      : vantrel::batchFileAt(plan, jsonReport.file())) {
        std::cerr << "vantrel-cli: --report " << reportPath << ": " << batchFileText(*taken)
                  << "\n";
        return kExitUsage;
    }
    const vantrel::StopSignal stop;
    vantrel::ConvertReport report;
    const auto told = [&](const JobOutcome& outcome) {
        printOutcome(outcome, jsonReport.lines());
        problems = vantrel::isProblem(outcome) || problems;
    };
    if (doc.jobs.isEmpty()) {
        std::cerr << "vantrel-cli: no picture sequences or videos found\n";
        problems = true;
    } else if (dryRun) {
        report = vantrel::plannedReport(plan);
        for (const JobOutcome& outcome : report.jobs) told(outcome);
    } else {
        vantrel::ConsoleObserver observer(!quiet && ::isatty(STDERR_FILENO), stop, told);
        report = vantrel::carryOut(plan, doc.settings, &observer, {}, jobs);
    }
    vantrel::Fault unwritten;
    if (!jsonReport.write(VANTREL_VERSION, used, drop, report, unwritten)) {
        std::cerr << "vantrel-cli: --report: " << vantrel::faultText(unwritten) << "\n";
        problems = true;
    }
    if (stop.received() != 0) return 128 + stop.received();
    return problems ? kExitProblems : kExitOk;
}
