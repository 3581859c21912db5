#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "support/Bytes.h"
#include "support/FakeFrameSource.h"
#include "support/Faults.h"
#include "support/Inputs.h"
#include "support/SwfFile.h"
#include "support/Tools.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

const fs::path kVideos = kTestData / "video";

// Videos stored losslessly, so that their pictures can be compared.
class VideoConversion : public FakeVideoTest {
  protected:
    VideoConversion() { settings_.compression = CompressionType::Lossless; }
};

// Mean difference per colour byte of the movie's lossless picture `k` and
// FFmpeg's frame `f` of a 48 x 32 test video. Neighbouring frames of the test
// videos differ by 9 or more; other FFmpeg versions decode far closer than
// that.
double difference(const SwfFile& swf, std::size_t k, const Bytes& ffmpeg, std::size_t f) {
    constexpr std::size_t kVideoBytes = 48 * 32 * 3;
    const std::vector<LosslessPicture> pictures = losslessPictures(swf);
    if (k >= pictures.size() || pictures[k].argb.size() != kVideoBytes / 3 * 4 ||
        ffmpeg.size() < (f + 1) * kVideoBytes) {
        return 255.0;
    }
    const Bytes& argb = pictures[k].argb;
    double sum = 0.0;
    for (std::size_t i = 0; i < kVideoBytes; ++i) {
        sum += std::abs(argb[i / 3 * 4 + 3 - i % 3] - ffmpeg[f * kVideoBytes + i]);
    }
    return sum / kVideoBytes;
}

// Movie frame i at 15 frames per second shows the frame of a 25 fps video
// on screen i / 15 s in (at 0.2 s, the one that starts then).
TEST_F(VideoConversion, TenSecondsAtFifteenFramesPerSecond) {
    copy("convert/tone.mp3", "clip.avi.mp3");
    const JobOutcome job = convertFake({10.000000474974513, 250});
    EXPECT_EQ(job.status, JobOutcome::Status::Converted) << reasonOf(job);
    EXPECT_EQ(job.outputPath, (dir_ / "clip.swf").string());
    EXPECT_EQ(job.soundPath, (dir_ / "clip.avi.mp3").string());
    ASSERT_EQ(log_.grabbed.size(), 150u);
    EXPECT_EQ(std::vector<std::int32_t>(log_.grabbed.begin(), log_.grabbed.begin() + 4),
              (std::vector<std::int32_t>{0, 1, 3, 5}));
    EXPECT_EQ(log_.grabbed[148], 246);
    EXPECT_EQ(log_.grabbed[149], 248);
    const SwfFile swf = readSwf(dir_ / "clip.swf");
    ASSERT_TRUE(swf.valid);
    EXPECT_EQ(swf.frameCount, 150);
    EXPECT_EQ(swf.width, 160);
    EXPECT_EQ(swf.height, 120);
    EXPECT_EQ(job.width * 20, swf.width);  // the outcome states the stage in pixels
    EXPECT_EQ(job.height * 20, swf.height);
    EXPECT_EQ(swf.count(tag::DefineBitsLossless), 150u);
    EXPECT_EQ(swf.tags[3].code, tag::DefineSound);
    EXPECT_TRUE(fs::exists(dir_ / "clip.html"));
}

// Damage met on threads makes the movie again from the start on one
// thread: nothing of the first attempt stays, neither its frames without a
// picture nor its file, and the sound is there.
TEST_F(VideoConversion, DamageOnThreadsMakesTheMovieAgainOnOneThread) {
    copy("convert/tone.mp3", "clip.avi.mp3");
    settings_.frameRate = 10.0f;
    const JobOutcome one = convertFake({1.0, 10, 7}, 1);
    const Bytes movie = readFile(dir_ / "clip.swf");
    EXPECT_EQ(log_.decoderThreads, std::vector<unsigned>{1});
    for (const std::int32_t damagedAt : {0, 4}) {
        log_ = {};
        fs::remove(dir_ / "clip.swf");
        const JobOutcome job = convertFake({1.0, 10, 7, -1, damagedAt}, 3);
        EXPECT_EQ(log_.decoderThreads, (std::vector<unsigned>{3, 1}));
        EXPECT_EQ(outcomeLine(job, commandLineName), outcomeLine(one, commandLineName));
        EXPECT_EQ(warningLines(job, commandLineName), warningLines(one, commandLineName));
        ASSERT_EQ(job.missingPictures.size(), 1u);  // frame 7 only, from the second attempt
        EXPECT_EQ(job.missingPictures[0].frame, 7);
        EXPECT_TRUE(readFile(dir_ / "clip.swf") == movie) << damagedAt;
        EXPECT_EQ(scratch_.entries(), 3u);  // the video's sound, the movie, its page
    }
}

// A video shorter than one frame is skipped, one longer than a movie holds
// fails; neither is read, and nothing is written.
TEST_F(VideoConversion, VideosAMovieCannotHoldWriteNothing) {
    const struct {
        FakeVideo video;
        float rate;
        JobOutcome::Status status;
        FaultCode code;
    } cases[] = {
        {{0.04, 1}, 15.0f, JobOutcome::Status::Skipped, FaultCode::TooShort},
        {{3000.0, 75000}, 25.0f, JobOutcome::Status::Failed, FaultCode::TooManyFrames},
    };
    for (const auto& c : cases) {
        settings_.frameRate = c.rate;
        const JobOutcome job = convertFake(c.video);
        EXPECT_EQ(job.status, c.status);
        ASSERT_TRUE(job.fault);
        EXPECT_EQ(job.fault->code, c.code);
        EXPECT_EQ(job.fault->values[0], c.rate);
        EXPECT_TRUE(log_.grabbed.empty());
        EXPECT_EQ(scratch_.entries(), 0u);
    }
}

// At 5 frames per second frames 0, 2, 4, 6, 8 of ten are grabbed; one
// that fails shows the picture before it, or none when it is the first
// (then it is missing twice: no grab, then no picture).
TEST_F(VideoConversion, AFailedGrabShowsThePreviousPicture) {
    const struct {
        std::int32_t failAt;
        std::size_t missing;
        std::size_t pictures;
        std::uint16_t firstTag;
    } cases[] = {
        {4, 1, 5, tag::DefineBitsLossless},
        {0, 2, 4, tag::ShowFrame},
    };
    settings_.frameRate = 5.0f;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failAt);
        const JobOutcome job = convertFake({1.0, 10, c.failAt});
        EXPECT_EQ(job.status, JobOutcome::Status::Converted);
        ASSERT_EQ(job.missingPictures.size(), c.missing);
        EXPECT_EQ(brief(job.missingPictures[0]),
                  "damaged clip.avi frame " + std::to_string(c.failAt));
        const SwfFile swf = readSwf(dir_ / "clip.swf");
        ASSERT_TRUE(swf.valid);
        EXPECT_EQ(swf.frameCount, 5);
        EXPECT_EQ(swf.count(tag::DefineBitsLossless), c.pictures);
        EXPECT_EQ(swf.tags[0].code, c.firstTag);
    }
}

// A video's own sound comes in when there is no companion file, unless the
// settings leave it out, and lasts as long as the movie.
TEST_F(VideoConversion, AVideoKeepsItsOwnSound) {
    ASSERT_TRUE(
        ffmpeg("-f lavfi -i testsrc2=size=32x24:rate=25:duration=2 -f lavfi -i "
               "sine=sample_rate=48000:duration=2 -ac 2 -c:v mpeg4 -c:a pcm_s16le",
               dir_ / "clip.avi"));
    const Bytes tone = readFile(kTestData / "convert" / "tone.mp3");
    struct Case {
        const char* companion;
        bool videoSound;
        SoundOrigin sound;
    };
    for (const Case& c : {Case{"", true, SoundOrigin::Video}, Case{"", false, SoundOrigin::None},
                          Case{"Clip.mp3", true, SoundOrigin::Companion}}) {
        SCOPED_TRACE(c.companion);
        if (*c.companion != '\0') copy("convert/tone.mp3", c.companion);
        settings_.videoSound = c.videoSound;
        const JobOutcome job = convert().at(0);
        EXPECT_EQ(job.sound, c.sound);
        EXPECT_EQ(briefs(job.warnings), std::vector<std::string>{});
        const SwfFile swf = readSwf(job.outputPath);
        ASSERT_EQ(swf.count(tag::DefineSound), c.sound == SoundOrigin::None ? 0u : 1u);
        if (c.sound == SoundOrigin::None) continue;
        const Bytes& body = swf.tags[3].body;
        const Bytes data(body.begin() + 9, body.end());
        if (c.sound == SoundOrigin::Companion) {
            EXPECT_EQ(job.soundPath, (dir_ / c.companion).string());
            EXPECT_EQ(data, tone);
            continue;
        }
        EXPECT_EQ(body[2], 0x2F);  // 44.1 kHz stereo
        // After the seek samples, which players skip.
        const long samples =
            decodedSamples(scratch_.file("back.mp3", data)) - long(littleEndian(body, 7, 2));
        EXPECT_LE(samples, 2 * 44100);
        EXPECT_GT(samples, 2 * 44100 - 1152);
    }
}

// Each test video becomes a movie whose pictures are FFmpeg's decode, the
// same bytes on one thread as on several. Every container is queued by its
// extension and gives as many frames as its stated length holds, the first
// FFmpeg's frame 0. A video whose frames are spaced unevenly keeps its
// timing: each movie frame is the one FFmpeg's fps filter gives then,
// rounding times up to its ticks, that is the last frame shown at or before
// that time. A video stored on its side, as phones record upright video,
// becomes an upright movie: a portrait stage, its pictures FFmpeg's turned
// decode (at the video's own rate, movie frame k shows video frame k).
TEST_F(VideoConversion, TestVideosBecomeMoviesOfFfmpegsPictures) {
    struct Case {
        const char* file;
        float rate;
        std::uint16_t frames;
        std::vector<std::size_t> pictures;  // compared with FFmpeg's frames of their index
        const char* reference = "";         // FFmpeg's frames in one file; else file.K.bgr.gz for K
        std::int32_t width = 48, height = 32;
    };
    std::vector<std::size_t> all(22);
    std::iota(all.begin(), all.end(), 0);
    const Case cases[] = {
        {"h264.mp4", 25, 24, {0}},
        {"h264.m4v", 25, 24, {0}},
        {"mpeg4.mov", 25, 24, {0}},
        {"h264.mkv", 25, 24, {0}},
        {"vp9.webm", 25, 24, {0}},
        {"wmv2.wmv", 25, 24, {0}},
        {"flv1.flv", 25, 24, {0}},
        {"theora.ogv", 25, 24, {0}},
        {"cut.mp4", 25, 22, {0}},
        {"vfr.mkv", 10, 22, all, "vfr.mkv.fps10.bgr.gz"},  // 2.24 s
        {"turned90.mp4", 25, 24, {0, 9}, "", 32, 48},
    };
    // A folder for each, so that no two share a movie.
    for (const Case& c : cases) {
        copy("video/" + std::string(c.file), c.file + std::string("/") + c.file);
    }
    ASSERT_EQ(queued().videoJobs.size(), std::size(cases));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        settings_.frameRate = c.rate;
        const fs::path path = dir_ / c.file / c.file;
        std::vector<Bytes> movies;
        for (const unsigned threads : {1u, 2u}) {
            convert({{}, {{path.string()}}}, threads);
            movies.push_back(readFile(fs::path(path).replace_extension(".swf")));
        }
        EXPECT_TRUE(movies[0] == movies[1]);
        const SwfFile swf = readSwf(fs::path(path).replace_extension(".swf"));
        ASSERT_TRUE(swf.valid);
        EXPECT_EQ(swf.frameCount, c.frames);
        EXPECT_EQ(swf.width, c.width * 20);
        EXPECT_EQ(swf.height, c.height * 20);
        for (const std::size_t k : c.pictures) {
            // FFmpeg's frame k, in the file of all frames or in one of its own.
            const bool inOne = *c.reference != '\0';
            const Bytes ffmpeg = gunzipped(
                kVideos / (inOne ? c.reference : c.file + ("." + std::to_string(k) + ".bgr.gz")));
            EXPECT_LT(difference(swf, k, ffmpeg, inOne ? k : 0), 1.0) << k;
        }
    }
}

// Movie frame i shows the video frame on screen i / rate seconds in, in
// every container: at the video's own rate each frame once, and where a
// movie frame's time meets a video frame's start (0.2 s at 15 and 25 frames
// per second) that frame. Also where the frames are spaced unevenly and the
// container rounds their times (to whole milliseconds in Matroska), and in
// transport and program streams, whose times start late.
TEST_F(VideoConversion, VideosAreSampledByTime) {
    const std::string uneven =  // ten frames 1/15 s apart, then ten 1/5 s apart
        " -frames:v 20 -vf \"setpts='if(lt(N,10),N,3*N-20)/(15*TB)'\" -fps_mode passthrough";
    const std::pair<const char*, std::string> videos[] = {
        {"a.avi", "-c:v mpeg4 -q:v 2 -bf 2"},
        {"b.mp4", "-c:v libx264 -bf 2"},
        {"c.mkv", "-c:v libx264 -bf 2"},
        {"d.mkv", "-c:v libx264 -bf 2" + uneven},
        {"e.mp4", "-c:v libx264 -bf 2" + uneven},
        {"f.ts", "-c:v mpeg2video -q:v 2 -bf 2"},
        {"g.m2ts", "-c:v libx264 -bf 2 -mpegts_m2ts_mode 1"},
        {"h.vob", "-c:v mpeg2video -q:v 2 -bf 2"},
        {"i.3gp", "-c:v libx264 -bf 2"}};
    for (const auto& [name, codec] : videos) {
        ASSERT_TRUE(ffmpeg(numberedFrames(15, 3.0) + codec, dir_ / name));
    }
    for (const int rate : {15, 10, 25}) {
        settings_.frameRate = float(rate);
        convert();
        for (const auto& [name, codec] : videos) {
            const bool even = codec.find("setpts") == std::string::npos;
            const std::vector<int> shown =
                framesShown(readSwf((dir_ / name).replace_extension(".swf")));
            // 3 s, or 2.533 s cut to whole milliseconds.
            EXPECT_NEAR(double(shown.size()), even ? 3 * rate : 2.533 * rate, even ? 0.0 : 1.0);
            std::vector<int> expected;  // the last frame that starts at or before 15 i / rate ticks
            for (int i = 0; i < int(shown.size()); ++i) {
                const int tick = 15 * i / rate;
                expected.push_back(even || tick < 10 ? tick : std::min((tick + 20) / 3, 19));
            }
            EXPECT_EQ(shown, expected) << name << " at " << rate;
        }
    }
}

// A cut keeps the part asked for: movie frame i shows the frame on screen at
// start + i / rate, and the video's sound starts with the part and lasts as
// long as it. A start past the pictures' end skips the job.
TEST_F(VideoConversion, ACutKeepsThePartAskedFor) {
    // Five frames a second: frame k's grey stays inside the video range.
    ASSERT_TRUE(ffmpeg(
        numberedFrames(5, 6.0) + "-f lavfi -i sine=duration=6 -c:v mpeg4 -q:v 2 -c:a libmp3lame",
        dir_ / "clip.mkv"));
    const struct {
        float rate;
        double start;
        std::optional<double> end;
        int frames;  // -1: skipped
    } cases[] = {
        {10, 2, {}, 40},  {10, 2.5, 4, 15}, {5, 1.1, 3, 9},
        {10, 0, 1.5, 15}, {10, 4, {}, 20},  {10, 6.5, {}, -1},
    };
    settings_.outputHtml = false;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        settings_.cutStart = c.start;
        settings_.cutEnd = c.end;
        settings_.frameRate = c.rate;
        const JobOutcome job = convert().at(0);
        if (c.frames < 0) {
            EXPECT_EQ(job.status, JobOutcome::Status::Skipped);
            ASSERT_TRUE(job.fault);
            EXPECT_EQ(job.fault->code, FaultCode::StartPastEnd) << reasonOf(job);
            continue;
        }
        ASSERT_EQ(job.status, JobOutcome::Status::Converted) << reasonOf(job);
        const SwfFile swf = readSwf(job.outputPath);
        std::vector<int> expected;
        for (int i = 0; i < c.frames; ++i) {
            expected.push_back(int(std::floor((c.start + i / c.rate) * 5 + 1e-6)));
        }
        EXPECT_EQ(framesShown(swf), expected);
        EXPECT_NEAR(swf.soundSamples() / 44100.0, c.frames / c.rate, 1152 / 44100.0 + 0.002);
    }
}

// A video cut short (to 40 % of its bytes, as a file still being written
// may be) ends with its last picture and its sound cut to match, with one
// warning; a sound that runs on past the pictures holds the last one, with
// one note. No frame gets a warning of its own.
TEST_F(VideoConversion, MoviesEndWhereTheVideosDataEnds) {
    const auto made = [](int seconds, int sound) {
        return numberedFrames(4, seconds) + "-f lavfi -i sine=duration=" + std::to_string(sound) +
               " -c:v mpeg4 -c:a libmp3lame ";
    };
    const struct {
        const char* name;
        std::string make;
        FaultCode code;
        double until;  // the length the file states, or where the sound ends
    } videos[] = {
        {"a.mkv", made(12, 12), FaultCode::PicturesEndEarly, 12.0},
        {"b.mp4", made(12, 12) + "-movflags +faststart", FaultCode::PicturesEndEarly, 12.0},
        {"c.mkv", made(3, 6), FaultCode::SoundRunsOn, 6.0},
        {"d.mp4", made(3, 6), FaultCode::SoundRunsOn, 6.0},
        {"e.avi", made(3, 6), FaultCode::SoundRunsOn, 6.0},
        {"f.mkv", made(3, 6) + "-f matroska - >", FaultCode::SoundRunsOn, 6.0}};  // no length
    JobList jobs;
    for (const auto& video : videos) {
        const fs::path path = dir_ / video.name;
        ASSERT_TRUE(ffmpeg(video.make, path));
        if (video.code == FaultCode::PicturesEndEarly) {
            fs::resize_file(path, fs::file_size(path) * 2 / 5);
        }
        jobs.videoJobs.push_back({path.string()});
    }
    settings_.frameRate = 4.0f;
    settings_.outputHtml = false;
    const std::vector<JobOutcome> outcomes = convert(jobs);
    ASSERT_EQ(outcomes.size(), std::size(videos));
    for (std::size_t k = 0; k < std::size(videos); ++k) {
        const JobOutcome& job = outcomes[k];
        SCOPED_TRACE(job.source);
        EXPECT_EQ(briefs(job.missingPictures), std::vector<std::string>{});
        ASSERT_EQ(job.warnings.size(), 1u);
        EXPECT_EQ(job.warnings[0].code, videos[k].code);
        EXPECT_NEAR(job.warnings[0].values[1], videos[k].until, 0.1);
        // The frames FFmpeg decodes, then the last one held. The AVI stores
        // one more, as unchanged from the one before.
        const int frames = std::stoi(
            commandOutput("ffprobe -v error -select_streams v -count_frames -show_entries "
                          "stream=nb_read_frames -of csv=p=0 '" +
                          (dir_ / videos[k].name).string() + "'"));
        EXPECT_NEAR(job.warnings[0].values[0], frames / 4.0, 0.26);
        const SwfFile swf = readSwf(job.outputPath);
        const std::vector<int> shown = framesShown(swf);
        // As long as the sound's 6 s, or as the pictures reach.
        const bool runsOn = videos[k].code == FaultCode::SoundRunsOn;
        EXPECT_NEAR(double(shown.size()), runsOn ? 24 : frames, runsOn ? 0.0 : 1.0);
        for (int i = 0; i < int(shown.size()); ++i) {
            EXPECT_EQ(shown[i], std::min(i, frames - 1)) << i;
        }
        // The last picture is stored once (the AVI's unchanged frame aside),
        // however long the sound runs on.
        EXPECT_LE(swf.count(tag::DefineBitsLossless), std::size_t(frames) + 1);
        // The sound lasts as long as the movie, less up to one MP3 frame.
        ASSERT_EQ(swf.tags[3].code, tag::DefineSound);
        EXPECT_NEAR(swf.soundSamples() / 44100.0, swf.frameCount / 4.0, 0.03);
    }
}

}  // namespace
}  // namespace vantrel::test
