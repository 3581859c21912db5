#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <string>

#include "convert/ConvertDriver.h"

namespace vantrel {

// Where a batch stands, as the status bar shows it while it runs.
struct BatchProgress {
    std::size_t job = 0;  // counted from 0
    std::size_t jobCount = 0;
    std::string moviePath;
    std::int32_t framesDone = 0;
    std::int32_t framesTotal = 0;
};

// "Converting walk.swf: frame 12 of 120, job 1 of 3".
QString progressText(const BatchProgress& progress);

// One line for the status bar when a batch has ended:
// "3 movies written, 1 job failed: clip.avi: video cannot be opened".
QString summaryLine(const ConvertReport& report);

// The jobs that are problems (isProblem), one "source: reason" line each,
// for a message box; empty when there are none.
QStringList problemLines(const ConvertReport& report);

// The heading of that box: "This job was not converted:" for one,
// "These jobs were not converted:" for more.
QString problemHeading(qsizetype problems);

// Every picture that gave no picture and every warning, job by job.
QString warningDetails(const ConvertReport& report);

// Where each written movie's sound came from, one line each:
// "walk.swf: sound /anim/walk.mp3", "clip.swf: the video's own sound".
QString soundDetails(const ConvertReport& report);

// The JPEG quality a target size chose, for each written movie that had
// one: "clip.swf: JPEG quality 63 for the target size"; empty when none did.
QString qualityDetails(const ConvertReport& report);

}  // namespace vantrel
