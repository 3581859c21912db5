#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "convert/JobOutcome.h"

namespace vantrel {

// Told how the batch advances, for a progress display, and asked whether to
// stop. The driver calls it from the thread it runs on.
class ConvertObserver {
  public:
    virtual ~ConvertObserver() = default;
    virtual void jobStarted(std::size_t /*job*/, std::size_t /*jobCount*/,
                            const std::string& /*source*/, const std::string& /*moviePath*/) {}
    virtual void frameAdded(std::int32_t /*framesDone*/, std::int32_t /*framesTotal*/) {}
    // Asked after every frame. Once it says yes, the movie being made is not
    // written and no further job starts; movies already written stay.
    virtual bool stopRequested() { return false; }
    // Told of each job's outcome as soon as it is known, in batch order,
    // also of the jobs skipped or never started; `job` is its place in the
    // report.
    virtual void jobFinished(std::size_t /*job*/, const JobOutcome& /*outcome*/) {}
};

}  // namespace vantrel
