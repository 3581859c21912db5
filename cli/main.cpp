// vantrel-cli: converts dropped folders from the command line, the way one
// drop onto the window followed by one Convert command would.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "convert/ConvertDriver.h"
#include "convert/JobIntake.h"
#include "convert/OptionText.h"
#include "convert/VantrelDoc.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

using vantrel::CompressionType;
using vantrel::ConvertOptions;
using vantrel::JobOutcome;

constexpr int kExitOk = 0;
constexpr int kExitProblems = 1;
constexpr int kExitUsage = 2;

// One status line on a terminal, rewritten in place.
class ProgressLine : public vantrel::ConvertObserver {
public:
    ~ProgressLine() override { clear(); }

    void jobStarted(std::size_t job, std::size_t jobCount, const std::string& source,
                    const std::string& /*moviePath*/) override {
        prefix_ = "[" + std::to_string(job + 1) + "/" + std::to_string(jobCount) + "] " + source;
        show(prefix_);
    }
    void frameAdded(std::int32_t framesDone, std::int32_t framesTotal) override {
        show(prefix_ + ": frame " + std::to_string(framesDone) + "/" + std::to_string(framesTotal));
    }

private:
    void show(const std::string& text) {
        std::fprintf(stderr, "\r\033[K%s", text.c_str());
        std::fflush(stderr);
        shown_ = true;
    }
    void clear() {
        if (!shown_) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }

    std::string prefix_;
    bool shown_ = false;
};

void printOutcome(const JobOutcome& outcome) {
    for (const std::string& missing : outcome.missingPictures) {
        std::cerr << "warning: " << missing << "\n";
    }
    for (const std::string& warning : outcome.warnings) std::cerr << "warning: " << warning << "\n";
    switch (outcome.status) {
        case JobOutcome::Status::Converted: {
            std::cout << "converted " << outcome.source << " -> " << outcome.outputPath << " ("
                      << outcome.frameCount << (outcome.frameCount == 1 ? " frame" : " frames");
            std::cout << ", " << vantrel::soundText(outcome);
            if (!outcome.pagePath.empty()) std::cout << ", page " << outcome.pagePath;
            std::cout << ")\n";
            break;
        }
        case JobOutcome::Status::Skipped:
            std::cerr << "skipped " << outcome.source << ": " << outcome.reason << "\n";
            break;
        case JobOutcome::Status::Failed:
            std::cerr << "failed " << outcome.source << ": " << outcome.reason << "\n";
            break;
        case JobOutcome::Status::Stopped:
            std::cerr << "stopped " << outcome.source << ": " << outcome.reason << "\n";
            break;
    }
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Converts numbered picture sequences and videos in FOLDERs into SWF movies.",
                 "vantrel-cli"};
    app.set_version_flag("-V,--version", "vantrel-cli 1.05");
    app.footer(
        "Sound: pictures walk001.bmp, walk002.bmp, ... take the sound of walk.mp3 beside them; a\n"
        "video clip.avi that of clip.avi.mp3, else clip.mp3 (the names in any letter case), else\n"
        "its own sound. MP3 files at 48, 32, 24, 16, 12 or 8 kHz are re-encoded at 44.1, 22.05\n"
        "or 11.025 kHz, which movies can state.");

    bool lossless = false;
    bool alpha = false;
    bool noHtml = false;
    std::string playerScript;
    bool noVideoSound = false;
    bool list = false;
    bool quiet = false;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    std::string qualityText = "90";
    std::string rateText = "15";
    std::vector<std::string> folders;
    app.add_flag("-l,--lossless", lossless, "store pictures losslessly (default: JPEG)");
    app.add_option("-q,--quality", qualityText, "JPEG colour quality, 1 to 100 (default 90)")
        ->type_name("N");
    app.add_flag("-a,--alpha", alpha, "include the alpha channel");
    app.add_option("-r,--rate", rateText, "frames per second, 0.01 to 255 (default 15)")
        ->type_name("FPS");
    app.add_flag("--no-html", noHtml, "write no HTML pages");
    app.add_option("--player-script", playerScript,
                   "each page loads the Flash emulator script at URL, such as Ruffle's ruffle.js")
        ->type_name("URL");
    app.add_flag("--no-video-sound", noVideoSound,
                 "videos without a companion MP3 file stay silent (default: they keep their own "
                 "sound)");
    app.add_flag("--list", list,
                 "print the queued jobs, one row each as the window lists them, and convert nothing");
    app.add_flag("--quiet", quiet, "no progress display");
    app.add_option("-j,--jobs", jobs,
                   "threads that read and encode each movie's frames (default: one per core)")
        ->type_name("N")
        ->check(CLI::Range(1u, 1024u));
    app.add_option("FOLDER", folders, "folders to search for pictures and videos")
        ->required()
        ->type_name("");

    try {
        app.parse(argc, argv);
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

    // The report says which videos failed; the decoder's own chatter about
    // damaged streams would only clutter the terminal.
    av_log_set_level(AV_LOG_QUIET);

    vantrel::CVantrelDoc doc;
    doc.settings.videoSound = !noVideoSound;
    doc.settings.playerScript = playerScript;
    bool problems = false;
    const vantrel::DropResult drop = vantrel::dropPaths(doc.jobs, folders);
    for (const std::string& path : drop.refused) {
        std::cerr << path << ": " << vantrel::kNotFolderMessage << "\n";
        problems = true;
    }
    for (const std::string& path : drop.unreadable) {
        std::cerr << path << ": cannot be read\n";
        problems = true;
    }

    if (list) {
        for (const std::string& row : vantrel::listRows(doc.jobs)) std::cout << row << "\n";
        return problems ? kExitProblems : kExitOk;
    }
    if (doc.jobs.isEmpty()) {
        std::cerr << "vantrel-cli: no picture sequences or videos found\n";
        return problems ? kExitProblems : kExitOk;
    }

    vantrel::ChosenOptions prompt(lossless ? CompressionType::Lossless : CompressionType::Jpeg,
                             ConvertOptions{alpha, *quality, *rate, !noHtml});
    vantrel::ConvertReport report;
    {
        std::optional<ProgressLine> progress;
        if (!quiet && ::isatty(STDERR_FILENO)) progress.emplace();
        report = vantrel::convertAll(doc, prompt, progress ? &*progress : nullptr, {}, jobs);
    }
    for (const JobOutcome& outcome : report.jobs) {
        printOutcome(outcome);
        if (outcome.status != JobOutcome::Status::Converted) problems = true;
    }
    return problems ? kExitProblems : kExitOk;
}
