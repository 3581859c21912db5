#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/ConvertDriver.h"
#include "convert/JobIntake.h"
#include "support/Batch.h"
#include "support/Bytes.h"
#include "support/Faults.h"
#include "support/ScratchDir.h"
#include "support/SwfFile.h"
#include "support/Tools.h"
#include "swf/SwfMovie.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using test::SwfFile;

constexpr std::uint16_t kShowFrame = 1, kDefineSound = 14, kStartSound = 15, kSoundStreamBlock = 19,
                        kSoundStreamHead2 = 45;

// Converts the folder with the settings given and the rate; its one job.
JobOutcome convertFolder(const fs::path& folder, ConvertSettings settings, float rate) {
    JobList jobs;
    dropPaths(jobs, {folder.string()});
    settings.frameRate = rate;
    const ConvertReport report = test::convertJobs(jobs, settings);
    return report.jobs.empty() ? JobOutcome{} : report.jobs[0];
}

std::int32_t le16(const test::Bytes& body, std::size_t at) { return body[at] | body[at + 1] << 8; }

// With --stream-sound the sound (a companion made by FFmpeg's LAME, or a
// video's own) becomes a SoundStreamHead2 in the first frame and a block
// before each ShowFrame whose samples add up to the movie's length within
// one MP3 frame, as FFmpeg decodes them. At rates too low for a block the
// sound stays an event sound; a sound longer than the movie is cut. Both
// are warned of.
TEST(StreamSound, TheSoundIsSplitAmongTheFrames) {
    struct Case {
        bool video;
        std::int32_t hz;  // of the sound made; the movie's is 44.1 kHz for 48
        float fps;
        int frames;
        int seconds;  // of the sound
        const char* warning;
    };
    const Case cases[] = {
        {false, 22050, 12.5f, 25, 2, ""},
        {false, 44100, 15, 15, 2, "sound-cut"},
        {false, 44100, 0.5f, 2, 4, "sound-not-streamed"},
        {true, 48000, 15, 30, 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.hz) + " Hz at " + std::to_string(c.fps) + " fps");
        test::ScratchDir dir;
        const std::string sine = "-f lavfi -i sine=sample_rate=" + std::to_string(c.hz) +
                                 ":duration=" + std::to_string(c.seconds) + " -ac 2";
        const fs::path made = dir.path() / (c.video ? "clip.avi" : "walk.mp3");
        ASSERT_TRUE(test::ffmpeg(
            (c.video ? "-f lavfi -i testsrc2=size=32x24:rate=25:duration=2 " + sine + " -c:v mpeg4"
                     : sine) +
            " '" + made.string() + "'"));
        for (int i = 1; !c.video && i <= c.frames; ++i) {
            fs::copy_file(fs::path(VANTREL_TEST_DATA) / "convert" / "red4x3.bmp",
                          dir.path() / ("walk" + std::to_string(100 + i) + ".bmp"));
        }
        ConvertSettings settings;
        settings.streamSound = true;
        const JobOutcome job = convertFolder(dir.path(), settings, c.fps);
        ASSERT_EQ(job.status, JobOutcome::Status::Converted) << test::reasonOf(job);
        std::string codes;
        for (const Fault& warning : job.warnings) codes += faultCodeName(warning.code);
        EXPECT_EQ(codes, c.warning);

        const SwfFile swf = test::readSwf(job.outputPath);
        ASSERT_TRUE(swf.valid);
        const bool streamed = codes != "sound-not-streamed";
        EXPECT_EQ(swf.count(kDefineSound) + swf.count(kStartSound), streamed ? 0u : 2u);
        ASSERT_EQ(swf.count(kSoundStreamHead2), streamed ? 1u : 0u);
        if (!streamed) continue;
        const std::int32_t rate = std::min(c.hz, 44100);
        std::int64_t frame = 0, samples = 0;
        for (std::size_t t = 0; t + 1 < swf.tags.size(); ++t) {
            const SwfFile::Tag& tag = swf.tags[t];
            frame += tag.code == kShowFrame;
            if (tag.code == kSoundStreamHead2) {
                EXPECT_EQ(frame, 0);
                EXPECT_EQ(tag.body[1], rate == 44100 ? 0x2F : 0x2B);  // MP3, rate, 16-bit, stereo
                EXPECT_EQ(le16(tag.body, 2), std::lround(rate / c.fps));
            }
            if (tag.code != kSoundStreamBlock) continue;
            EXPECT_EQ(swf.tags[t + 1].code, kShowFrame);
            samples += le16(tag.body, 0);
        }
        EXPECT_LT(std::abs(samples - std::int64_t(c.frames * rate / c.fps)),
                  rate == 44100 ? 1152 : 576);
        EXPECT_EQ(test::decodedSamples(job.outputPath), samples);
    }
}

}  // namespace
}  // namespace vantrel
