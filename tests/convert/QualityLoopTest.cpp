#include <gtest/gtest.h>

#include <filesystem>

#include "convert/ConvertDriver.h"
#include "convert/JobIntake.h"
#include "support/Bytes.h"
#include "support/DamagedVideo.h"
#include "support/Faults.h"
#include "support/ScratchDir.h"
#include "support/Tools.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

// A damaged H.264 video, whose decoder runs on threads of its own, fitted to
// a target size: a try whose decoder threads meet the damage is made again
// on one thread, so that each try, and the quality chosen from them, is
// that of one thread.
TEST(QualityLoop, ADamagedVideoFitsItsTargetAlikeOnAnyNumberOfThreads) {
    test::ScratchDir dir;
    const fs::path clip = dir.path() / "in" / "clip.mp4";
    fs::create_directories(clip.parent_path());
    ASSERT_TRUE(
        test::ffmpeg("-f lavfi -i testsrc2=size=160x96:rate=25,noise=alls=20:allf=t -t 2.4 "
                     "-c:v libx264 -bf 3 -g 12 -pix_fmt yuv420p '" +
                     clip.string() + "'"));
    ASSERT_GE(test::damageEveryThirdPacket(clip.string()), 50u);
    ConvertSettings settings;
    settings.outputHtml = false;
    settings.targetSize = 60000;
    JobList jobs;
    dropPaths(jobs, {clip.parent_path().string()});
    std::vector<JobOutcome> outcomes;
    for (const unsigned threads : {1u, 8u}) {
        settings.outputFolder = (dir.path() / std::to_string(threads)).string();
        outcomes.push_back(
            carryOut(planBatch(jobs, settings), settings, nullptr, {}, threads).jobs.at(0));
        ASSERT_EQ(outcomes.back().status, JobOutcome::Status::Converted)
            << test::reasonOf(outcomes.back());
    }
    EXPECT_EQ(outcomes[1].quality, outcomes[0].quality);
    EXPECT_EQ(test::texts(outcomes[1].missingPictures), test::texts(outcomes[0].missingPictures));
    EXPECT_TRUE(test::readFile(outcomes[1].outputPath) == test::readFile(outcomes[0].outputPath));
}

}  // namespace
}  // namespace vantrel
