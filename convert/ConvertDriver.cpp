#include "convert/ConvertDriver.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <set>
#include <thread>

#include "convert/SequenceConversion.h"
#include "swf/AtomicFile.h"

namespace vantrel {

namespace {

namespace fs = std::filesystem;

bool stopRequested(ConvertObserver* observer) {
    return observer != nullptr && observer->stopRequested();
}

// Removes the temporary files that interrupted runs left in a folder the
// batch writes to, the first time one of its jobs does; a warning for each.
std::vector<Fault> clearFolder(const fs::path& folder, std::set<fs::path>& cleared) {
    std::error_code ec;
    const fs::path where = folder.empty() ? fs::path(".") : folder;
    if (!cleared.insert(fs::absolute(where, ec).lexically_normal()).second) return {};
    std::vector<Fault> removed;
    for (const fs::path& file : removeStaleTemporaries(where)) {
        removed.emplace_back(FaultCode::TempRemoved, FaultStep::ClearFolder, file.string());
    }
    return removed;
}

JobOutcome notConverted(const PlannedJob& job, JobOutcome::Status status, Fault fault) {
    JobOutcome outcome;
    outcome.status = status;
    outcome.source = job.source;
    outcome.fault = std::move(fault);
    return outcome;
}

}  // namespace

ConvertReport carryOut(const BatchPlan& plan, const ConvertSettings& settings,
                       ConvertObserver* observer, const FrameSourceFactory& makeFrameSource,
                       unsigned threads) {
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    ConvertReport report;
    std::size_t started = 0;
    std::set<fs::path> cleared;
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
            } else {
                std::vector<Fault> removed = clearFolder(folder, cleared);
                outcome = job.sequence() != nullptr
                              ? convertSequence(job, settings, observer, threads)
                              : convertVideo(job, settings, observer, makeFrameSource, threads);
                outcome.warnings.insert(outcome.warnings.begin(),
                                        std::make_move_iterator(removed.begin()),
                                        std::make_move_iterator(removed.end()));
            }
        }
        report.jobs.push_back(std::move(outcome));
        if (report.jobs.back().status == JobOutcome::Status::Stopped) report.stopped = true;
        if (observer != nullptr) observer->jobFinished(report.jobs.size() - 1, report.jobs.back());
    }
    return report;
}

}  // namespace vantrel
