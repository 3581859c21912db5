#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "sound/Mp3Source.h"
#include "sound/Mp3Stream.h"
#include "support/ScratchDir.h"
#include "support/Tools.h"
#include "swf/SwfMovie.h"

namespace vantrel::test {
namespace {

// Two seconds of tone from FFmpeg's LAME, cut into the blocks of a movie:
// every MP3 frame lies whole in the block of the movie frame during which
// it starts, the blocks hold every frame the movie's time covers, and
// SeekSamples places each block against its movie frame's start, counted
// from where the sound starts after the payload's lead-in.
TEST(Mp3Stream, EachFrameGoesToTheMovieFrameInWhichItStarts) {
    struct Case {
        std::int32_t hz;
        int channels;
        float fps;
        std::int32_t frames;  // of the movie
        bool fits;
        std::int64_t lead = 0;  // samples before the sound
    };
    const Case cases[] = {
        {44100, 2, 15, 31, true},       {44100, 1, 12.5f, 26, true},
        {22050, 2, 29.97f, 61, true},   {11025, 1, 29.97f, 61, true},
        {44100, 2, 1, 3, true},         {44100, 1, 0.5f, 2, false},
        {22050, 2, 0.5f, 2, true},      {11025, 2, 1, 3, true},
        {44100, 2, 15, 10, true},       {22050, 1, 12.5f, 7, true},
        {44100, 2, 15, 31, true, 640},  {11025, 1, 29.97f, 61, true, 640},
        {22050, 2, 0.5f, 2, true, 640}, {22050, 1, 12.5f, 7, true, 640},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.hz) + " Hz, " + std::to_string(c.channels) + " channels, " +
                     std::to_string(c.fps) + " fps, " + std::to_string(c.frames) + " frames, " +
                     std::to_string(c.lead) + " samples before");
        const std::string path = (dir.path() / "tone.mp3").string();
        ASSERT_TRUE(ffmpeg("-f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(c.hz) +
                           ":duration=2 -ac " + std::to_string(c.channels) + " -c:a libmp3lame '" +
                           path + "'"));
        Mp3Source source;
        ASSERT_TRUE(source.load(path));
        const std::uint8_t* payload = source.bytes()->data() + source.payloadStart();
        const std::int32_t rate256 = headerRate(c.fps);
        const Mp3StreamSplit split =
            splitMp3Frames(payload, source.payloadLength(), rate256, c.frames, c.lead);

        EXPECT_EQ(split.sampleRate, c.hz);
        EXPECT_EQ(split.samplesPerFrame, std::lround(c.hz * 256.0 / rate256));
        EXPECT_EQ(split.fits(), c.fits);
        ASSERT_EQ(split.blocks.size(), std::size_t(c.frames));
        EXPECT_EQ(split.soundSamples, source.sampleCount());

        const std::int64_t perFrame = c.hz == 44100 ? 1152 : 576;
        auto movieFrameStart = [&](std::int64_t i) { return i * c.hz * 256 / rate256; };
        std::int64_t before = -c.lead;  // the sound's samples of the blocks so far
        for (std::size_t i = 0; i < split.blocks.size(); ++i) {
            const Mp3Block& block = split.blocks[i];
            const auto at = static_cast<std::int64_t>(i);
            if (!block.spans.empty()) {
                // Its MP3 frames follow the ones before and start in this frame.
                EXPECT_EQ(movieFrameStart(at) - block.seekSamples, before) << i;
                EXPECT_LE(block.seekSamples, i == 0 ? c.lead : 0) << i;
                EXPECT_LT(before + block.sampleCount - perFrame, movieFrameStart(at + 1)) << i;
                EXPECT_EQ(payload[block.spans[0].offset], 0xFF) << i;
            }
            before += block.sampleCount;
        }
        EXPECT_EQ(std::uint64_t(before + c.lead) + split.leftOut, split.soundSamples);
        // What is left out starts once the movie has ended, and nothing more.
        const std::int64_t end = movieFrameStart(c.frames) + c.lead;
        const std::int64_t kept = (end + perFrame - 1) / perFrame * perFrame;
        EXPECT_EQ(split.leftOut, std::uint64_t(std::max<std::int64_t>(
                                     0, std::int64_t(split.soundSamples) - kept)));
    }
}

}  // namespace
}  // namespace vantrel::test
