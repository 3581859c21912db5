#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "sound/Mp3Encoder.h"
#include "support/Batch.h"
#include "support/Faults.h"
#include "support/ScratchDir.h"
#include "support/Tools.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

// Milliseconds from the start of the movie's sound, as FFmpeg's SWF reader
// decodes it, to the first sample above a fifth of its peak.
double onsetMs(const std::string& movie, std::int32_t rate) {
    const std::vector<float> sound = decodedSound(movie, "swf");
    if (sound.empty()) return -1;
    float peak = 0;
    for (const float sample : sound) peak = std::max(peak, std::abs(sample));
    const auto onset = std::find_if(sound.begin(), sound.end(),
                                    [&](float sample) { return std::abs(sample) > peak / 5; });
    return 1000.0 * static_cast<double>(onset - sound.begin()) / rate;
}

// A beep at the very start of a sound that movies cannot hold as it is (MP3
// at other rates, WAV named .mp3, a video's own sound) is heard within 30 ms
// of the first frame, as an event sound (its seek samples are the encoder's
// lead-in) and streamed. FFmpeg's reader, like Ruffle, does not skip a
// stream's seek samples: a streamed sound starts with the lead-in, which is
// 58 ms at 11.025 kHz.
TEST(SoundTiming, ABeepAtTheStartIsHeardWithTheFirstFrame) {
    struct Case {
        const char* name;  // what is made, by extension
        const char* codec;
        std::int32_t hz;
    };
    const Case cases[] = {
        {"walk.mp3", "libmp3lame", 8000},
        {"walk.mp3", "libmp3lame", 48000},
        {"walk.mp3", "pcm_s16le -f wav", 8000},
        {"walk.mp3", "pcm_s16le -f wav", 11025},
        {"walk.mp3", "pcm_s16le -f wav", 22050},
        {"walk.mp3", "pcm_s16le -f wav", 44100},
        {"walk.mp3", "pcm_s16le -f wav", 48000},
        {"clip.avi", "pcm_s16le", 11025},
        {"clip.mp4", "aac", 22050},
        {"clip.mp4", "aac", 48000},
    };
    const double lastOnsetMs = 1000.0 * kLeadInSamples / 11025 + 1;
    for (const Case& c : cases) {
        for (const bool streamed : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + " " + c.codec + " at " + std::to_string(c.hz) +
                         (streamed ? " Hz, streamed" : " Hz"));
            ScratchDir dir;
            const fs::path made = dir.path() / c.name;
            const bool video = made.extension() != ".mp3";
            const std::string beep =
                "-f lavfi -i \"aevalsrc='if(lt(t,0.1),0.8*sin(2*PI*1000*t),0)':s=" +
                std::to_string(c.hz) + ":d=1\" ";
            ASSERT_TRUE(ffmpeg((video ? "-f lavfi -i testsrc2=size=32x24:rate=15:duration=1 " +
                                            beep + "-c:v mpeg4 "
                                      : beep) +
                               "-c:a " + c.codec + " '" + made.string() + "'"));
            for (int i = 1; !video && i <= 15; ++i) {
                fs::copy_file(fs::path(VANTREL_TEST_DATA) / "convert" / "red4x3.bmp",
                              dir.path() / ("walk" + std::to_string(100 + i) + ".bmp"));
            }
            ConvertSettings settings;
            settings.streamSound = streamed;
            const JobOutcome job = convertFolder(dir.path(), settings);
            ASSERT_EQ(job.status, JobOutcome::Status::Converted) << reasonOf(job);

            const std::int32_t rate = nearestMp3Rate(c.hz);
            const double onset = onsetMs(job.outputPath, rate);
            EXPECT_GE(onset, 0);
            EXPECT_LE(onset, streamed && rate == 11025 ? lastOnsetMs : 30);
        }
    }
}

// Loud stereo sound from its first sample at 22.05 kHz: LAME may spend more
// on the first frame kept than an MPEG-2 frame can hold with what the next
// frames borrow (seed 2 here). Then no frame is left out and the seek
// samples are the whole delay; either way the sound starts where they say.
TEST(SoundTiming, TheSoundStartsWhereItsSeekSamplesSay) {
    ScratchDir dir;
    const std::string path = (dir.path() / "noise.wav").string();
    for (const int seed : {1, 2}) {
        SCOPED_TRACE(seed);
        ASSERT_TRUE(
            ffmpeg("-f lavfi -i anoisesrc=sample_rate=22050:amplitude=1:color=brown:"
                   "seed=" +
                   std::to_string(seed) + " -t 0.5 -ac 2 '" + path + "'"));
        const EncodedMp3 encoded = encodeMp3(path, "wav", FaultStep::VideoSound, 0.5);
        ASSERT_FALSE(encoded.fault);
        // Left out: one 576-sample frame of the delay, or none.
        EXPECT_EQ(encoded.seekSamples, kLeadInSamples + (seed == 1 ? 0 : 576));
        const std::vector<float> sound = decodedSound(dir.file("noise.mp3", *encoded.bytes), "mp3");
        EXPECT_EQ(sound.size(), encoded.seekSamples + encoded.sampleCount);
        const auto loud = std::find_if(sound.begin(), sound.end(),
                                       [](float sample) { return std::abs(sample) > 0.05f; });
        EXPECT_NEAR(loud - sound.begin(), encoded.seekSamples, 8);
    }
}

}  // namespace
}  // namespace vantrel::test
