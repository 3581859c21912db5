#include <gtest/gtest.h>

#include <filesystem>

#include "convert/ConvertDriver.h"
#include "support/Faults.h"
#include "support/Inputs.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

using QualityLoop = InputsTest;

// A damaged H.264 video, whose decoder runs on threads of its own, fitted to
// a target size: a try whose decoder threads meet the damage is made again
// on one thread, so that each try, and the quality chosen from them, is
// that of one thread.
TEST_F(QualityLoop, ADamagedVideoFitsItsTargetAlikeOnAnyNumberOfThreads) {
    const fs::path clip = dir_ / "in" / "clip.mp4";
    fs::create_directories(clip.parent_path());
    ASSERT_TRUE(
        ffmpeg("-f lavfi -i testsrc2=size=160x96:rate=25,noise=alls=20:allf=t -t 2.4 "
               "-c:v libx264 -bf 3 -g 12 -pix_fmt yuv420p",
               clip));
    ASSERT_GE(damageEveryThirdPacket(clip.string()), 50u);
    settings_.outputHtml = false;
    settings_.targetSize = 60000;
    JobList jobs;
    dropPaths(jobs, {clip.parent_path().string()});
    std::vector<JobOutcome> outcomes;
    for (const unsigned threads : {1u, 8u}) {
        settings_.outputFolder = (dir_ / std::to_string(threads)).string();
        outcomes.push_back(
            carryOut(planBatch(jobs, settings_), settings_, nullptr, {}, threads).jobs.at(0));
        ASSERT_EQ(outcomes.back().status, JobOutcome::Status::Converted)
            << reasonOf(outcomes.back());
    }
    EXPECT_EQ(outcomes[1].quality, outcomes[0].quality);
    EXPECT_EQ(texts(outcomes[1].missingPictures), texts(outcomes[0].missingPictures));
    EXPECT_TRUE(readFile(outcomes[1].outputPath) == readFile(outcomes[0].outputPath));
}

}  // namespace
}  // namespace vantrel::test
