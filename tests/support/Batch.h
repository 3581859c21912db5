#pragma once

#include "convert/ConvertDriver.h"

namespace vantrel::test {

// The jobs planned and carried out, as a front end does with a batch.
inline ConvertReport convertJobs(const JobList& jobs, const ConvertSettings& settings,
                                 ConvertObserver* observer = nullptr,
                                 const FrameSourceFactory& makeFrameSource = {},
                                 unsigned threads = 0) {
    return carryOut(planBatch(jobs, settings, VideoHeaders::Unread), settings, observer,
                    makeFrameSource, threads);
}

}  // namespace vantrel::test
