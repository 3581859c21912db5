#include "convert/ConvertDriver.h"

#include <algorithm>
#include <filesystem>
#include <thread>

#include "convert/SequenceConversion.h"

namespace vantrel {

namespace {

namespace fs = std::filesystem;

bool stopRequested(ConvertObserver* observer) {
    return observer != nullptr && observer->stopRequested();
}

JobOutcome notConverted(const PlannedJob& job, JobOutcome::Status status, Fault fault) {
    JobOutcome outcome;
    outcome.status = status;
    outcome.source = job.source;
    outcome.fault = std::move(fault);
    return outcome;
}

}  // namespace

void applyOptions(const ConvertOptions& options, ConvertSettings& settings) {
    settings.includeAlpha = options.includeAlpha;
    settings.colorQuality = options.colorQuality;
    settings.frameRate = options.frameRate;
    settings.outputHtml = options.outputHtml;
}

ConvertReport convertAll(CVantrelDoc& doc, OptionsPrompt& prompt, ConvertObserver* observer,
                         const FrameSourceFactory& makeFrameSource, unsigned threads) {
    const std::optional<ConvertOptions> options = prompt.ask(doc.settings);
    if (!options) {
        ConvertReport report;
        report.cancelled = true;
        return report;
    }
    applyOptions(*options, doc.settings);
    return carryOut(planBatch(doc.jobs, doc.settings), doc.settings, observer, makeFrameSource,
                    threads);
}

ConvertReport carryOut(const BatchPlan& plan, const ConvertSettings& settings,
                       ConvertObserver* observer, const FrameSourceFactory& makeFrameSource,
                       unsigned threads) {
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    ConvertReport report;
    std::size_t started = 0;
    for (const PlannedJob& job : plan.jobs) {
        JobOutcome outcome;
        if (!report.stopped && stopRequested(observer)) report.stopped = true;
        if (report.stopped) {
            outcome = notConverted(job, JobOutcome::Status::Stopped,
                                   {FaultCode::Stopped, FaultStep::StartJob});
        } else {
            if (observer != nullptr) {
                observer->jobStarted(started++, plan.jobs.size(), job.source, job.moviePath);
            }
            std::error_code ec;
            const fs::path folder = fs::path(job.moviePath).parent_path();
            if (job.refusal) {
                outcome = notConverted(job, job.refusal->status, job.refusal->fault);
            } else if (job.makeFolder && (fs::create_directories(folder, ec), ec)) {
                outcome = notConverted(job, JobOutcome::Status::Failed,
                                       {writeFaultCode(ec.value()), FaultStep::MakeFolder,
                                        folder.string(), ec.message()});
            } else if (job.sequence() != nullptr) {
                outcome = convertSequence(job, settings, observer, threads);
            } else {
                outcome = convertVideo(job, settings, observer, makeFrameSource, threads);
            }
        }
        report.jobs.push_back(std::move(outcome));
        if (report.jobs.back().status == JobOutcome::Status::Stopped) report.stopped = true;
        if (observer != nullptr) observer->jobFinished(report.jobs.size() - 1, report.jobs.back());
    }
    return report;
}

}  // namespace vantrel
