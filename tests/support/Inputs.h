#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/BatchPlan.h"
#include "convert/JobIntake.h"
#include "convert/SequenceConversion.h"
#include "convert/VideoConversion.h"
#include "support/Bytes.h"
#include "support/ScratchDir.h"
#include "support/SwfFile.h"
#include "support/Tools.h"

namespace vantrel::test {

inline const std::filesystem::path kTestData = VANTREL_TEST_DATA;

// A test with a scratch folder of inputs, copied from the test data or made
// by tools, and the settings they are converted at.
class InputsTest : public ::testing::Test {
  protected:
    // Copies tests/data/`from` into the folder as `to`, making its folders.
    void copy(const std::string& from, const std::string& to) const {
        std::filesystem::create_directories((dir_ / to).parent_path());
        std::filesystem::copy_file(kTestData / from, dir_ / to,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    // The jobs a drop of the folder queues.
    JobList queued() const {
        JobList jobs;
        dropPaths(jobs, {dir_.string()});
        return jobs;
    }
    // The jobs planned as a run plans them.
    std::vector<PlannedJob> planned(const JobList& jobs) const {
        return planBatch(jobs, settings_, VideoHeaders::Unread).jobs;
    }
    // Each job converted by the unit of its kind, without the driver: no
    // refusal is kept to, no folder made or cleared.
    std::vector<JobOutcome> convert(const JobList& jobs, unsigned threads = 2,
                                    const FrameSourceFactory& makeFrameSource = {}) const {
        std::vector<JobOutcome> outcomes;
        for (const PlannedJob& job : planned(jobs)) {
            outcomes.push_back(
                job.sequence() != nullptr
                    ? convertSequence(job, settings_, nullptr, threads)
                    : convertVideo(job, settings_, nullptr, makeFrameSource, threads));
        }
        return outcomes;
    }
    std::vector<JobOutcome> convert() const { return convert(queued()); }

    ScratchDir scratch_;
    const std::filesystem::path dir_ = scratch_.path();
    ConvertSettings settings_;
};

// FFmpeg's input of flat grey 32 x 24 frames whose frame k has luma 16 + 4k,
// so that a movie frame's lossless bitmap tells which video frame it shows.
inline std::string numberedFrames(int rate, double seconds) {
    return "-f lavfi -i 'color=black:size=32x24:rate=" + std::to_string(rate) +
           ":duration=" + std::to_string(seconds) +
           ",format=yuv420p,geq=lum=16+4*N:cb=128:cr=128' ";
}

// The numbered frame each movie frame shows, from the red of grey
// (Y - 16) * 255 / 219: the frame's own picture, or the one before it kept
// on the stage; -1 before the first.
inline std::vector<int> framesShown(const SwfFile& swf) {
    std::vector<int> shown;
    int picture = -1;
    for (const SwfFile::Tag& t : swf.tags) {
        if (t.code == tag::ShowFrame) shown.push_back(picture);
        if (t.code != tag::DefineBitsLossless) continue;
        const LosslessPicture stored = losslessPicture(t);
        if (!stored.argb.empty()) picture = int(std::lround(stored.argb[1] * 219.0 / 255.0 / 4.0));
    }
    return shown;
}

}  // namespace vantrel::test
