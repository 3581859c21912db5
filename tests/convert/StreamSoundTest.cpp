#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "support/Batch.h"
#include "support/Bytes.h"
#include "support/Faults.h"
#include "support/ScratchDir.h"
#include "support/SwfFile.h"
#include "support/Tools.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

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
        ScratchDir dir;
        const std::string sine = "-f lavfi -i sine=sample_rate=" + std::to_string(c.hz) +
                                 ":duration=" + std::to_string(c.seconds) + " -ac 2";
        ASSERT_TRUE(ffmpeg(
            c.video ? "-f lavfi -i testsrc2=size=32x24:rate=25:duration=2 " + sine + " -c:v mpeg4"
                    : sine,
            dir.path() / (c.video ? "clip.avi" : "walk.mp3")));
        for (int i = 1; !c.video && i <= c.frames; ++i) {
            fs::copy_file(fs::path(VANTREL_TEST_DATA) / "convert" / "red4x3.bmp",
                          dir.path() / ("walk" + std::to_string(100 + i) + ".bmp"));
        }
        ConvertSettings settings;
        settings.streamSound = true;
        settings.frameRate = c.fps;
        const JobOutcome job = convertFolder(dir.path(), settings);
        ASSERT_EQ(job.status, JobOutcome::Status::Converted) << reasonOf(job);
        std::string codes;
        for (const Fault& warning : job.warnings) codes += faultCodeName(warning.code);
        EXPECT_EQ(codes, c.warning);

        const SwfFile swf = readSwf(job.outputPath);
        ASSERT_TRUE(swf.valid);
        const bool streamed = codes != "sound-not-streamed";
        EXPECT_EQ(swf.count(tag::DefineSound) + swf.count(tag::StartSound), streamed ? 0u : 2u);
        ASSERT_EQ(swf.count(tag::SoundStreamHead2), streamed ? 1u : 0u);
        if (!streamed) continue;
        const std::int32_t rate = std::min(c.hz, 44100);
        std::int64_t frame = 0, samples = 0;
        for (std::size_t t = 0; t + 1 < swf.tags.size(); ++t) {
            const SwfFile::Tag& tag = swf.tags[t];
            frame += tag.code == tag::ShowFrame;
            if (tag.code == tag::SoundStreamHead2) {
                EXPECT_EQ(frame, 0);
                EXPECT_EQ(tag.body[1], rate == 44100 ? 0x2F : 0x2B);  // MP3, rate, 16-bit, stereo
                EXPECT_EQ(littleEndian(tag.body, 2, 2), std::lround(rate / c.fps));
            }
            if (tag.code != tag::SoundStreamBlock) continue;
            EXPECT_EQ(swf.tags[t + 1].code, tag::ShowFrame);
            samples += littleEndian(tag.body, 0, 2);
        }
        EXPECT_LT(std::abs(samples - std::int64_t(c.frames * rate / c.fps)),
                  rate == 44100 ? 1152 : 576);
        EXPECT_EQ(decodedSamples(job.outputPath), samples);
    }
}

}  // namespace
}  // namespace vantrel::test
