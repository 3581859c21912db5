#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/Batch.h"
#include "support/Bytes.h"
#include "support/Faults.h"
#include "support/ScratchDir.h"
#include "support/Tools.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

// Converts the one job found in `folder`, its movie written under `output`
// without a page.
JobOutcome convertInto(const fs::path& folder, const fs::path& output, ConvertSettings settings,
                       unsigned threads) {
    settings.outputHtml = false;
    settings.outputFolder = output.string();
    return convertFolder(folder, settings, threads);
}

// A folder of inputs made by FFmpeg or ImageMagick; false when the tool failed.
using MakeInput = bool (*)(const fs::path& folder);

// A scratch folder whose folder "in" holds the inputs `make` made.
struct Input {
    explicit Input(MakeInput make) : made(fs::create_directories(in) && make(in)) {}
    ScratchDir dir;
    const fs::path in = dir.path() / "in";
    const bool made;
};

bool ffmpegPngs(const fs::path& folder) {
    return ffmpeg(
        "-f lavfi -i mandelbrot=size=240x180:rate=25 -vf noise=alls=6:allf=t -frames:v 40",
        folder / "walk%03d.png");
}

bool magickBmps(const fs::path& folder) {
    for (int i = 1; i <= 12; ++i) {
        const std::string picture = (folder / ("fern" + std::to_string(i) + ".bmp")).string();
        if (!magick("-seed " + std::to_string(i) + " -size 200x150 plasma:fractal BMP3:'" +
                    picture + "'")) {
            return false;
        }
    }
    return true;
}

bool ffmpegVideo(const fs::path& folder) {
    return ffmpeg(
        "-f lavfi -i mandelbrot=size=240x180:rate=25 -f lavfi -i sine=duration=4 "
        "-t 4 -c:v mpeg4 -q:v 3 -c:a pcm_s16le",
        folder / "clip.avi");
}

// Pictures of 200 x 150, flat or noise, named odd100.png... by `noisy`
// (their number from 0). An estimate samples every second one of sixteen.
bool flatAndNoise(const fs::path& folder, bool (*noisy)(int)) {
    for (int i = 0; i < 16; ++i) {
        const std::string filter = noisy(i) ? "noise=alls=100" : "null";
        if (!ffmpeg("-f lavfi -i color=gray:size=200x150 -vf " + filter + " -frames:v 1",
                    folder / ("odd" + std::to_string(100 + i) + ".png"))) {
            return false;
        }
    }
    return true;
}

// Flat pictures where the samples fall and noise between them: the movie
// comes out far over the estimate, and is converted again lower.
bool samplesMissTheDetail(const fs::path& folder) {
    return flatAndNoise(folder, [](int i) { return i % 2 == 0; });
}

// Noise where the samples fall and flat pictures between: the movie comes
// out far under the target, and is converted again higher.
bool samplesOverrateTheDetail(const fs::path& folder) {
    return flatAndNoise(folder, [](int i) { return i % 2 == 1; });
}

// H.264 with one keyframe (x264 places them 250 frames apart): a clip that
// fades in from black over its 4 s, and one flat for 3 s and noise for 3 s.
bool oneKeyframeFade(const fs::path& folder) {
    return ffmpeg(
        "-f lavfi -i testsrc2=size=160x120:rate=25,noise=alls=20:allf=t -vf fade=in:0:100 "
        "-t 4 -c:v libx264 -x264-params scenecut=0 -pix_fmt yuv420p",
        folder / "fade.mp4");
}

bool oneKeyframeFlatThenNoise(const fs::path& folder) {
    return ffmpeg(
        "-f lavfi -i color=c=0x306090:size=160x120:rate=25 -f lavfi -i "
        "testsrc2=size=160x120:rate=25,noise=alls=25:allf=t -filter_complex "
        "'[0:v]trim=duration=3[a];[1:v]trim=duration=3,setpts=PTS-STARTPTS[b];[a][b]concat' "
        "-c:v libx264 -x264-params scenecut=0 -pix_fmt yuv420p",
        folder / "half.mp4");
}

// Four seconds of small pictures at the default 15 fps beside 30 s of
// 320 kbit/s MP3: streamed, the movie keeps the sound's first 4 s.
bool shortSequenceLongSound(const fs::path& folder) {
    return ffmpeg("-f lavfi -i mandelbrot=size=80x60:rate=15 -frames:v 60",
                  folder / "walk%03d.png") &&
           ffmpeg("-f lavfi -i sine=duration=30 -ac 2 -c:a libmp3lame -b:a 320k",
                  folder / "walk.mp3");
}

// The movie fits the target at a quality within five steps of the highest
// that fits; it is byte for byte the movie of a plain conversion at the
// quality chosen, on any number of threads.
TEST(TargetSize, MoviesFitTheTargetAtTheQualityChosen) {
    struct Case {
        const char* name;
        MakeInput make;
        std::uint64_t target;
        void (*set)(ConvertSettings&) = [](ConvertSettings&) {};
    };
    const Case cases[] = {
        {"FFmpeg's PNG sequence", ffmpegPngs, 250000},
        {"FFmpeg's PNG sequence, small", ffmpegPngs, 120000},
        {"ImageMagick's BMP sequence", magickBmps, 60000},
        {"FFmpeg's video with its sound", ffmpegVideo, 300000},
        {"pictures the samples miss", samplesMissTheDetail, 60000},
        {"pictures the samples overrate", samplesOverrateTheDetail, 120000},
        {"a clip of one keyframe fading in", oneKeyframeFade, 200000},
        {"a cut late in a clip of one keyframe", oneKeyframeFlatThenNoise, 200000,
         [](ConvertSettings& s) {
             s.cutStart = 2.5;
             s.cutEnd = 4.5;
         }},
        {"a streamed sound longer than the pictures", shortSequenceLongSound, 300000,
         [](ConvertSettings& s) { s.streamSound = true; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Input input(c.make);
        ASSERT_TRUE(input.made);
        const fs::path& in = input.in;
        const fs::path& dir = input.dir.path();
        ConvertSettings settings;
        c.set(settings);
        settings.targetSize = c.target;
        const JobOutcome fitted = convertInto(in, dir / "fitted", settings, 2);
        ASSERT_EQ(fitted.status, JobOutcome::Status::Converted) << reasonOf(fitted);
        ASSERT_GE(fitted.quality, 1);
        EXPECT_LE(fs::file_size(fitted.outputPath), c.target) << "quality " << fitted.quality;

        const JobOutcome once = convertInto(in, dir / "one", settings, 1);
        EXPECT_EQ(once.quality, fitted.quality);
        EXPECT_EQ(readFile(once.outputPath), readFile(fitted.outputPath));
        ConvertSettings plain = settings;
        plain.targetSize = 0;
        plain.colorQuality = fitted.quality;
        const JobOutcome same = convertInto(in, dir / "plain", plain, 3);
        EXPECT_EQ(same.quality, 0);
        EXPECT_EQ(readFile(same.outputPath), readFile(fitted.outputPath));
        if (fitted.quality + 6 <= 100) {
            plain.colorQuality = fitted.quality + 6;
            const JobOutcome higher = convertInto(in, dir / "higher", plain, 2);
            EXPECT_GT(fs::file_size(higher.outputPath), c.target)
                << "quality " << fitted.quality << " where " << plain.colorQuality << " fits";
        }
    }
}

// When not even quality 1 fits, nothing is written, and an earlier movie
// of the name stays. A sound that takes the target by itself is said to.
TEST(TargetSize, AMovieThatCannotFitIsNotWritten) {
    struct Case {
        const char* name;
        MakeInput make;
        std::uint64_t target;
        FaultCode code;
        const char* other;  // the fault's second path, under the input folder
    };
    const Case cases[] = {
        {"pictures", ffmpegVideo, 60000, FaultCode::OverTargetSize, ""},
        {"a video's own sound", ffmpegVideo, 20000, FaultCode::SoundOverTarget, ""},
        {"a companion", shortSequenceLongSound, 1000000, FaultCode::SoundOverTarget, "walk.mp3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Input input(c.make);
        ASSERT_TRUE(input.made);
        const fs::path& in = input.in;
        const fs::path out = input.dir.path() / "out";
        fs::create_directories(out);
        std::ofstream(out / "clip.swf") << "old";
        ConvertSettings settings;
        settings.targetSize = c.target;
        const JobOutcome outcome = convertInto(in, out, settings, 2);
        EXPECT_EQ(outcome.status, JobOutcome::Status::Failed);
        ASSERT_TRUE(outcome.fault);
        EXPECT_EQ(outcome.fault->code, c.code) << reasonOf(outcome);
        EXPECT_EQ(outcome.fault->other, *c.other ? (in / c.other).string() : "");
        EXPECT_EQ(outcome.quality, 0);
        EXPECT_EQ(readFile(out / "clip.swf"), Bytes({'o', 'l', 'd'}));
        EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 1);
    }
}

}  // namespace
}  // namespace vantrel::test
