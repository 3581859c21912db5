#pragma once

#include <filesystem>

#include "convert/ConvertDriver.h"
#include "convert/JobIntake.h"

namespace vantrel::test {

// The jobs planned and carried out, as a front end does with a batch.
inline ConvertReport convertJobs(const JobList& jobs, const ConvertSettings& settings,
                                 ConvertObserver* observer = nullptr,
                                 const FrameSourceFactory& makeFrameSource = {},
                                 unsigned threads = 0) {
    return carryOut(planBatch(jobs, settings, VideoHeaders::Unread), settings, observer,
                    makeFrameSource, threads);
}

// The one job a drop of `folder` queues, carried out; a failed outcome
// without a fault when the drop queues another number of jobs.
inline JobOutcome convertFolder(const std::filesystem::path& folder,
                                const ConvertSettings& settings, unsigned threads = 0) {
    JobList jobs;
    dropPaths(jobs, {folder.string()});
    const ConvertReport report = convertJobs(jobs, settings, nullptr, {}, threads);
    if (report.jobs.size() == 1) return report.jobs[0];
    JobOutcome none;
    none.status = JobOutcome::Status::Failed;
    return none;
}

}  // namespace vantrel::test
