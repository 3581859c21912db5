#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "convert/ConvertDriver.h"
#include "convert/JobIntake.h"
#include "support/Bytes.h"
#include "support/Faults.h"
#include "support/ScratchDir.h"
#include "support/Tools.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

// Converts the one job found in `folder`, its movie written under `output`.
JobOutcome convertFolder(const fs::path& folder, const fs::path& output, ConvertSettings settings,
                         unsigned threads) {
    settings.outputHtml = false;
    settings.outputFolder = output.string();
    JobList jobs;
    dropPaths(jobs, {folder.string()});
    const ConvertReport report =
        carryOut(planBatch(jobs, settings), settings, nullptr, {}, threads);
    return report.jobs.size() == 1 ? report.jobs[0] : JobOutcome{};
}

// A folder of inputs made by FFmpeg or ImageMagick; false when the tool failed.
using MakeInput = bool (*)(const fs::path& folder);

bool ffmpegPngs(const fs::path& folder) {
    return test::ffmpeg(
        "-f lavfi -i mandelbrot=size=240x180:rate=25 -vf noise=alls=6:allf=t "
        "-frames:v 40 '" +
        (folder / "walk%03d.png").string() + "'");
}

bool magickBmps(const fs::path& folder) {
    for (int i = 1; i <= 12; ++i) {
        const std::string picture = (folder / ("fern" + std::to_string(i) + ".bmp")).string();
        if (std::system(("convert -seed " + std::to_string(i) +
                         " -size 200x150 plasma:fractal BMP3:'" + picture + "'")
                            .c_str()) != 0) {
            return false;
        }
    }
    return true;
}

bool ffmpegVideo(const fs::path& folder) {
    return test::ffmpeg(
        "-f lavfi -i mandelbrot=size=240x180:rate=25 -f lavfi -i sine=duration=4 "
        "-t 4 -c:v mpeg4 -q:v 3 -c:a pcm_s16le '" +
        (folder / "clip.avi").string() + "'");
}

// Flat pictures where the samples fall (every second of 16 pictures) and
// noise between them: the estimate falls far short, and the movie is
// converted again at a lower quality.
bool samplesMissTheDetail(const fs::path& folder) {
    for (int i = 0; i < 16; ++i) {
        const std::string filter = i % 2 == 1 ? "null" : "noise=alls=100";
        if (!test::ffmpeg("-f lavfi -i color=gray:size=200x150 -vf " + filter + " -frames:v 1 '" +
                          (folder / ("odd" + std::to_string(100 + i) + ".png")).string() + "'")) {
            return false;
        }
    }
    return true;
}

// The movie fits the target, within 15 % of it when the estimate holds; it
// is byte for byte the movie of a plain conversion at the quality chosen,
// on any number of threads.
TEST(TargetSize, MoviesFitTheTargetAtTheQualityChosen) {
    struct Case {
        const char* name;
        MakeInput make;
        std::uint64_t target;
        bool close;  // within 15 % of the target
    };
    const Case cases[] = {
        {"FFmpeg's PNG sequence", ffmpegPngs, 250000, true},
        {"FFmpeg's PNG sequence, small", ffmpegPngs, 120000, true},
        {"ImageMagick's BMP sequence", magickBmps, 60000, true},
        {"FFmpeg's video with its sound", ffmpegVideo, 300000, true},
        {"pictures the samples miss", samplesMissTheDetail, 60000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScratchDir dir;
        const fs::path in = dir.path() / "in";
        fs::create_directories(in);
        ASSERT_TRUE(c.make(in));
        ConvertSettings settings;
        settings.targetSize = c.target;
        const JobOutcome fitted = convertFolder(in, dir.path() / "fitted", settings, 2);
        ASSERT_EQ(fitted.status, JobOutcome::Status::Converted) << test::reasonOf(fitted);
        ASSERT_GE(fitted.quality, 1);
        const std::uint64_t bytes = fs::file_size(fitted.outputPath);
        EXPECT_LE(bytes, c.target) << "quality " << fitted.quality;
        if (c.close) {
            EXPECT_GE(bytes, c.target * 85 / 100) << "quality " << fitted.quality;
        }

        const JobOutcome once = convertFolder(in, dir.path() / "one", settings, 1);
        EXPECT_EQ(once.quality, fitted.quality);
        EXPECT_EQ(test::readFile(once.outputPath), test::readFile(fitted.outputPath));
        ConvertSettings plain;
        plain.colorQuality = fitted.quality;
        const JobOutcome same = convertFolder(in, dir.path() / "plain", plain, 3);
        EXPECT_EQ(same.quality, 0);
        EXPECT_EQ(test::readFile(same.outputPath), test::readFile(fitted.outputPath));
    }
}

// When not even quality 1 fits, nothing is written, and an earlier movie
// of the name stays.
TEST(TargetSize, AMovieThatCannotFitIsNotWritten) {
    test::ScratchDir dir;
    const fs::path in = dir.path() / "in";
    fs::create_directories(in);
    ASSERT_TRUE(ffmpegVideo(in));
    const fs::path out = dir.path() / "out";
    fs::create_directories(out);
    std::ofstream(out / "clip.swf") << "old";
    ConvertSettings settings;
    settings.targetSize = 20000;
    const JobOutcome outcome = convertFolder(in, out, settings, 2);
    EXPECT_EQ(outcome.status, JobOutcome::Status::Failed);
    ASSERT_TRUE(outcome.fault);
    EXPECT_EQ(outcome.fault->code, FaultCode::OverTargetSize);
    EXPECT_EQ(outcome.quality, 0);
    EXPECT_NE(test::reasonOf(outcome).find("even at quality 1 the movie would take about"),
              std::string::npos)
        << test::reasonOf(outcome);
    EXPECT_NE(test::reasonOf(outcome).find("more than the target size of 20 kB: make its "
                                           "pictures smaller with --max-size"),
              std::string::npos)
        << test::reasonOf(outcome);
    EXPECT_EQ(test::readFile(out / "clip.swf"), test::Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 1);
}

}  // namespace
}  // namespace vantrel
