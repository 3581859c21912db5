// vantrel-cli: converts dropped folders from the command line, the way one
// drop onto the window followed by one Convert command would.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "base/Formats.h"
#include "cli/ConsoleObserver.h"
#include "cli/JsonReport.h"
#include "cli/OptionParser.h"
#include "cli/StopSignal.h"
#include "convert/ConvertDriver.h"
#include "convert/JobIntake.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

using vantrel::JobOutcome;

constexpr int kExitOk = 0;
constexpr int kExitProblems = 1;
constexpr int kExitUsage = 2;

// Converted and planned jobs go to `lines`: standard output, unless the
// JSON report takes it; the rest, and every warning, to standard error.
void printOutcome(const JobOutcome& outcome, std::ostream& lines) {
    for (const std::string& warning : vantrel::warningLines(outcome, vantrel::commandLineName)) {
        std::cerr << "warning: " << warning << "\n";
    }
    const bool wanted = outcome.status == JobOutcome::Status::Converted ||
                        outcome.status == JobOutcome::Status::Planned;
    // Flushed, so that a script reading the lines sees each job as it ends.
    (wanted ? lines : std::cerr) << vantrel::outcomeLine(outcome, vantrel::commandLineName) << std::endl;
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

    vantrel::BatchRequest request;
    const vantrel::OptionParser options(app);
    std::vector<std::string> folders;
    app.add_option("FOLDER", folders, "folders to search for pictures and videos, or video files")
        ->required()
        ->type_name("");

    try {
        app.parse(options.words(argc, argv));
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }
    if (const std::optional<std::string> refused = options.read(request)) {
        std::cerr << "vantrel-cli: " << *refused << "\n";
        return kExitUsage;
    }
    const vantrel::ConvertSettings& settings = request.settings;
    const bool list = request.listOnly;
    const std::string& reportPath = request.reportPath;

    vantrel::JsonReportFile jsonReport(list ? "" : reportPath);
    if (!jsonReport.error().empty()) {
        std::cerr << "vantrel-cli: --report " << reportPath << ": " << jsonReport.error() << "\n";
        return kExitUsage;
    }
    if (const std::optional<vantrel::Fault> refused =
            list ? std::nullopt : vantrel::outputFolderRefusal(settings.outputFolder)) {
        std::cerr << "vantrel-cli: " << vantrel::faultText(*refused, vantrel::commandLineName) << "\n";
        return kExitUsage;
    }

    // The report says which videos failed; the decoder's own chatter about
    // damaged streams would only clutter the terminal.
    av_log_set_level(AV_LOG_QUIET);

    vantrel::JobList jobs;
    bool problems = false;
    const vantrel::DropResult drop = vantrel::dropPaths(
        jobs, folders, vantrel::DroppedFiles::TakeVideos,
        request.subfolders ? vantrel::FolderDepth::WithSubFolders : vantrel::FolderDepth::FolderOnly);
    for (const vantrel::Fault& fault : vantrel::dropFaults(drop)) {
        if (fault.step == vantrel::FaultStep::PassOver) std::cerr << "warning: ";
        std::cerr << fault.path << ": " << vantrel::faultText(fault, vantrel::commandLineName) << "\n";
        problems = true;
    }

    if (list) {
        for (const std::string& row : vantrel::listRows(jobs)) std::cout << row << "\n";
        return problems ? kExitProblems : kExitOk;
    }
    // Only a dry run needs the videos' headers: a real run opens each video itself.
    const vantrel::BatchPlan plan = vantrel::planBatch(
        jobs, settings,
        request.dryRun ? vantrel::VideoHeaders::Read : vantrel::VideoHeaders::Unread);
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
    if (jobs.isEmpty()) {
        std::cerr << "vantrel-cli: no picture sequences or videos found\n";
        problems = true;
    } else if (request.dryRun) {
        report = vantrel::plannedReport(plan);
        for (const JobOutcome& outcome : report.jobs) told(outcome);
    } else {
        vantrel::ConsoleObserver observer(!request.quiet && ::isatty(STDERR_FILENO), stop, told);
        report = vantrel::carryOut(plan, settings, &observer, {}, request.threads);
    }
    vantrel::Fault unwritten;
    if (!jsonReport.write(VANTREL_VERSION, request, drop, report, unwritten)) {
        std::cerr << "vantrel-cli: --report: " << vantrel::faultText(unwritten, vantrel::commandLineName) << "\n";
        problems = true;
    }
    if (stop.received() != 0) return 128 + stop.received();
    return problems ? kExitProblems : kExitOk;
}
