#pragma once

#include <filesystem>

#include "convert/ConvertDriver.h"
#include "convert/JobIntake.h"

namespace vantrel::test {

// The one job a drop of `folder` queues, carried out; a failed outcome
// without a fault when the drop queues another number of jobs.
inline JobOutcome convertFolder(const std::filesystem::path& folder,
                                const ConvertSettings& settings, unsigned threads = 0) {
    JobList jobs;
    dropPaths(jobs, {folder.string()});
    const ConvertReport report =
        carryOut(planBatch(jobs, settings, VideoHeaders::Unread), settings, nullptr, {}, threads);
    if (report.jobs.size() == 1) return report.jobs[0];
    JobOutcome none;
    none.status = JobOutcome::Status::Failed;
    return none;
}

}  // namespace vantrel::test
