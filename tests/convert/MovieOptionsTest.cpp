#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/ConvertDriver.h"
#include "convert/JobIntake.h"
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

constexpr std::uint16_t kShowFrame = 1, kDoAction = 12, kDefineSound = 14, kStartSound = 15,
                        kSoundStreamBlock = 19, kSoundStreamHead2 = 45;

// Converts the folder with the settings given and the rate; its one job.
JobOutcome convertFolder(const fs::path& folder, ConvertSettings settings, float rate) {
    CVantrelDoc doc;
    doc.settings = std::move(settings);
    dropPaths(doc.jobs, {folder.string()});
    ChosenOptions options(CompressionType::Jpeg, ConvertOptions{false, 90, rate, true});
    const ConvertReport report = convertAll(doc, options);
    return report.jobs.empty() ? JobOutcome{} : report.jobs[0];
}

std::int32_t le16(const test::Bytes& body, std::size_t at) { return body[at] | body[at + 1] << 8; }

// With --stream-sound the sound (a companion made by FFmpeg's LAME, or a
// video's own) becomes a SoundStreamHead2 in the first frame and blocks
// before ShowFrames: the blocks' samples cover the movie's length to within
// one MP3 frame, FFmpeg decodes as many, and each block's SeekSamples
// places its first MP3 frame in its movie frame. At rates too low for a
// block the sound stays an event sound, with a warning; a sound longer than
// the movie is cut, with a warning.
TEST(StreamSound, TheSoundIsSplitAmongTheFrames) {
    struct Case {
        bool video;
        std::int32_t hz;
        int channels;
        float fps;
        int frames;
        double seconds;  // of the sound
        const char* warning;
    };
    const Case cases[] = {
        {false, 44100, 2, 15, 30, 2, ""},
        {false, 22050, 1, 12.5f, 25, 2, ""},
        {false, 11025, 2, 29.97f, 60, 2, ""},
        {false, 44100, 1, 15, 15, 2, "sound-cut"},
        {false, 44100, 2, 0.5f, 2, 4, "sound-not-streamed"},
        {true, 48000, 2, 15, 30, 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.hz) + " Hz at " + std::to_string(c.fps) + " fps" +
                     (c.video ? ", a video" : ""));
        test::ScratchDir dir;
        const std::string sine =
            "-f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(c.hz) +
            ":duration=" + std::to_string(c.seconds) + " -ac " + std::to_string(c.channels);
        if (c.video) {
            ASSERT_TRUE(test::ffmpeg("-f lavfi -i testsrc2=size=32x24:rate=25:duration=2 " + sine +
                                     " -c:v mpeg4 -c:a pcm_s16le '" +
                                     (dir.path() / "clip.avi").string() + "'"));
        } else {
            ASSERT_TRUE(test::ffmpeg(sine + " -c:a libmp3lame '" +
                                     (dir.path() / "walk.mp3").string() + "'"));
            for (int i = 1; i <= c.frames; ++i) {
                fs::copy_file(fs::path(VANTREL_TEST_DATA) / "convert" / "red4x3.bmp",
                              dir.path() / ("walk" + std::to_string(100 + i) + ".bmp"));
            }
        }
        ConvertSettings settings;
        settings.streamSound = true;
        const JobOutcome job = convertFolder(dir.path(), settings, c.fps);
        ASSERT_EQ(job.status, JobOutcome::Status::Converted) << test::reasonOf(job);
        ASSERT_EQ(job.frameCount, c.frames);
        std::vector<std::string> codes;
        for (const Fault& warning : job.warnings) codes.emplace_back(faultCodeName(warning.code));
        EXPECT_EQ(codes, (*c.warning != '\0' ? std::vector<std::string>{c.warning}
                                             : std::vector<std::string>{}));

        const SwfFile swf = test::readSwf(job.outputPath);
        ASSERT_TRUE(swf.valid);
        const bool streamed = std::string(c.warning) != "sound-not-streamed";
        EXPECT_EQ(swf.count(kDefineSound), streamed ? 0u : 1u);
        EXPECT_EQ(swf.count(kStartSound), streamed ? 0u : 1u);
        ASSERT_EQ(swf.count(kSoundStreamHead2), streamed ? 1u : 0u);
        if (!streamed) continue;

        const std::int32_t rate = c.hz == 48000 ? 44100 : c.hz;
        const std::int32_t perMp3Frame = rate == 44100 ? 1152 : 576;
        const std::int32_t rate256 = headerRate(c.fps);
        auto movieFrameStart = [&](std::int64_t i) { return i * rate * 256 / rate256; };
        std::int64_t frame = 0;
        std::int64_t samples = 0;
        std::int32_t firstSeek = 1;
        for (std::size_t t = 0; t < swf.tags.size(); ++t) {
            const SwfFile::Tag& tag = swf.tags[t];
            if (tag.code == kShowFrame) ++frame;
            if (tag.code == kSoundStreamHead2) {
                EXPECT_EQ(frame, 0);
                EXPECT_EQ(tag.body[1] >> 2 & 3, rate == 44100 ? 3 : rate == 22050 ? 2 : 1);
                EXPECT_EQ(tag.body[1] & 1, c.channels == 2 ? 1 : 0);
                EXPECT_EQ(le16(tag.body, 2), std::lround(rate * 256.0 / rate256));
                firstSeek = static_cast<std::int16_t>(le16(tag.body, 4));
            }
            if (tag.code != kSoundStreamBlock) continue;
            ASSERT_LT(t + 1, swf.tags.size());
            EXPECT_EQ(swf.tags[t + 1].code, kShowFrame);
            const std::int32_t count = le16(tag.body, 0);
            const auto seek = static_cast<std::int16_t>(le16(tag.body, 2));
            if (samples == 0) {
                EXPECT_EQ(seek, firstSeek);
            }
            // The block's first MP3 frame starts where the ones before it end.
            EXPECT_EQ(movieFrameStart(frame) - seek, samples) << frame;
            EXPECT_LE(seek, 0) << frame;
            EXPECT_GT(seek, -perMp3Frame) << frame;
            EXPECT_EQ(count % perMp3Frame, 0) << frame;
            samples += count;
        }
        const std::int64_t movie = movieFrameStart(c.frames);
        EXPECT_LT(std::abs(samples - movie), perMp3Frame);
        EXPECT_EQ(test::decodedSamples(job.outputPath), samples);
    }
}

// With --play-once the last frame stops the movie and the page does not
// loop; without it neither does.
TEST(PlayOnce, TheLastFrameStopsAndThePageDoesNotLoop) {
    for (const bool once : {false, true}) {
        SCOPED_TRACE(once);
        test::ScratchDir dir;
        for (const char* name : {"walk1.bmp", "walk2.bmp", "walk3.bmp"}) {
            fs::copy_file(fs::path(VANTREL_TEST_DATA) / "convert" / "red4x3.bmp",
                          dir.path() / name);
        }
        ConvertSettings settings;
        settings.playOnce = once;
        const JobOutcome job = convertFolder(dir.path(), settings, 15);
        ASSERT_EQ(job.status, JobOutcome::Status::Converted) << test::reasonOf(job);
        const SwfFile swf = test::readSwf(job.outputPath);
        ASSERT_TRUE(swf.valid);
        ASSERT_EQ(swf.count(kDoAction), once ? 1u : 0u);
        const test::Bytes page = test::readFile(job.pagePath);
        const std::string text(page.begin(), page.end());
        EXPECT_EQ(text.find("<param name=loop value=false>\n<embed ") != std::string::npos, once);
        EXPECT_EQ(text.find(" quality=high loop=false width=") != std::string::npos, once);
        if (!once) continue;
        // End, ShowFrame, DoAction with Stop and the end of the actions.
        const std::size_t n = swf.tags.size();
        ASSERT_GE(n, 3u);
        EXPECT_EQ(swf.tags[n - 3].code, kDoAction);
        EXPECT_EQ(swf.tags[n - 3].body, test::hex("07 00"));
        EXPECT_EQ(swf.tags[n - 2].code, kShowFrame);
    }
}

}  // namespace
}  // namespace vantrel
