#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <array>
#include <cmath>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <tuple>

#include "convert/ConvertDriver.h"
#include "convert/JobIntake.h"
#include "convert/VantrelDoc.h"
#include "swf/SwfMovie.h"
#include "video/VideoFrameSource.h"
#include "support/Batch.h"
#include "support/Bytes.h"
#include "support/Faults.h"
#include "support/Jobs.h"
#include "support/ScratchDir.h"
#include "support/SwfFile.h"
#include "support/Tools.h"
#include "swf/SwfMovie.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using test::readSwf;
using test::SwfFile;

constexpr std::uint16_t kDefineShape = 2, kDefineSound = 14, kStartSound = 15,
                        kDefineBitsLossless = 20, kDefineBitsJpeg2 = 21, kPlaceObject2 = 26,
                        kDefineBitsJpeg3 = 35, kDefineBitsLossless2 = 36, kShowFrame = 1;

const fs::path kData = fs::path(VANTREL_TEST_DATA) / "convert";

class DriverTest : public ::testing::Test {
protected:
    void copy(const std::string& from, const std::string& to) {
        fs::copy_file(kData / from, dir_ / to, fs::copy_options::overwrite_existing);
    }
    void queue() { dropPaths(doc_.jobs, {dir_.string()}); }
    // The batch with these picture options and the rest of doc_.settings.
    ConvertReport convert(const ConvertSettings& options = {},
                          CompressionType compression = CompressionType::Jpeg,
                          ConvertObserver* observer = nullptr,
                          const FrameSourceFactory& makeFrameSource = {}, unsigned threads = 0) {
        doc_.settings.compression = compression;
        doc_.settings.includeAlpha = options.includeAlpha;
        doc_.settings.colorQuality = options.colorQuality;
        doc_.settings.frameRate = options.frameRate;
        doc_.settings.outputHtml = options.outputHtml;
        return test::convertJobs(doc_.jobs, doc_.settings, observer, makeFrameSource, threads);
    }

    test::ScratchDir scratch_;
    const fs::path dir_ = scratch_.path();
    CVantrelDoc doc_;
};

TEST(DriverArithmetic, HeaderRates) {
    EXPECT_EQ(headerRate(15.0f), 3840);
    EXPECT_EQ(headerRate(12.5f), 3200);
    EXPECT_EQ(headerRate(29.97f), 7672);
    EXPECT_EQ(headerRate(0.01f), 2);
    EXPECT_EQ(headerRate(255.0f), 65280);
    // Rates a header cannot hold come out as 0, which the movie refuses.
    EXPECT_EQ(headerRate(0.0f), 0);
    EXPECT_EQ(headerRate(-5.0f), 0);
    EXPECT_EQ(headerRate(256.0f), 0);
    EXPECT_EQ(headerRate(1e30f), 0);
    EXPECT_EQ(headerRate(std::numeric_limits<float>::quiet_NaN()), 0);
}

// Movie frame i at 15 frames per second shows the frame of a 25 fps video
// on screen i / 15 s in (at 0.2 s, the one that starts then).
TEST(DriverArithmetic, VideoFramesAreSampledByTime) {
    VideoFrameSource source;
    ASSERT_TRUE(source.open(VANTREL_TEST_DATA "/video/tenseconds.avi"));
    const std::vector<std::int32_t> first = {0, 1, 3, 5};
    for (std::int32_t i = 0; i < 4; ++i) EXPECT_EQ(source.frameShownAt(i / 15.0), first[i]);
    EXPECT_EQ(source.frameShownAt(148 / 15.0), 246);
    EXPECT_EQ(source.frameShownAt(149 / 15.0), 248);
    EXPECT_EQ(videoMoviePath("/v/clip.avi"), "/v/clip.swf");
    EXPECT_EQ(videoMoviePath("/v.x/clip.mpeg"), "/v.x/clip.swf");
    EXPECT_EQ(videoMoviePath("/v.x/clip"), "/v.x/clip.swf");
}

TEST_F(DriverTest, SequenceBecomesOneMovieWithSoundAndPage) {
    copy("red4x3.bmp", "walk001.bmp");
    copy("blue4x3.bmp", "walk002.bmp");
    copy("red4x3.bmp", "walk010.bmp");
    copy("tone.mp3", "walk.mp3");
    queue();
    const ConvertReport report = convert();
    ASSERT_EQ(report.jobs.size(), 1u);
    const JobOutcome& job = report.jobs[0];
    EXPECT_EQ(job.status, JobOutcome::Status::Converted) << test::reasonOf(job);
    EXPECT_EQ(job.outputPath, (dir_ / "walk.swf").string());
    EXPECT_EQ(job.frameCount, 3);
    EXPECT_EQ(job.soundPath, (dir_ / "walk.mp3").string());
    EXPECT_EQ(job.pagePath, (dir_ / "walk.html").string());
    EXPECT_TRUE(job.missingPictures.empty());

    const SwfFile swf = readSwf(dir_ / "walk.swf");
    ASSERT_TRUE(swf.valid);
    EXPECT_EQ(swf.width, 80);
    EXPECT_EQ(swf.height, 60);
    EXPECT_EQ(swf.rate, 0x0F00);
    EXPECT_EQ(swf.frameCount, 3);
    const std::vector<std::uint16_t> expected = {
        kDefineBitsJpeg2, kDefineShape, kPlaceObject2, kDefineSound, kStartSound, kShowFrame,
        kDefineBitsJpeg2, kDefineShape, kPlaceObject2, kShowFrame,
        kDefineBitsJpeg2, kDefineShape, kPlaceObject2, kShowFrame, 0};
    EXPECT_EQ(swf.codes(), expected);
    EXPECT_EQ(swf.tags[3].body[0], 3);  // DefineSound id after the first frame's two
    EXPECT_TRUE(fs::exists(dir_ / "walk.html"));
}

// Pictures named by their number alone give a movie named after their folder
// rather than a hidden ".swf".
TEST_F(DriverTest, AnEmptyNameStemTakesTheFolderName) {
    for (const auto& [prefix, movie] : std::map<std::string, std::string>{
             {"/a/walk", "/a/walk.swf"}, {"/a/pics/./", "/a/pics/./pics.swf"}, {"/", "/movie.swf"}}) {
        EXPECT_EQ(sequenceMoviePath(sequenceJob(prefix, "bmp", {"1"})), movie);
    }
    fs::create_directory(dir_ / "pics");
    copy("red4x3.bmp", "pics/0001.bmp");
    copy("tone.mp3", "pics/pics.mp3");
    queue();
    const JobOutcome job = convert().jobs.at(0);
    EXPECT_EQ(job.pagePath, (dir_ / "pics" / "pics.html").string());
    EXPECT_EQ(job.soundPath, (dir_ / "pics" / "pics.mp3").string());
}

TEST_F(DriverTest, StorageFollowsTheOptions) {
    copy("red4x3.tga", "a1.tga");
    copy("red4x3.jpg", "b1.jpg");
    queue();
    const std::map<std::pair<CompressionType, bool>, std::uint16_t> codes = {
        {{CompressionType::Jpeg, false}, kDefineBitsJpeg2},
        {{CompressionType::Jpeg, true}, kDefineBitsJpeg3},
        {{CompressionType::Lossless, false}, kDefineBitsLossless},
        {{CompressionType::Lossless, true}, kDefineBitsLossless2}};
    for (const auto& [choice, code] : codes) {
        ConvertSettings options;
        options.includeAlpha = choice.second;
        options.outputHtml = false;
        const ConvertReport report = convert(options, choice.first);
        ASSERT_EQ(report.jobs.size(), 2u);
        for (const char* name : {"a.swf", "b.swf"}) {
            const SwfFile swf = readSwf(dir_ / name);
            ASSERT_TRUE(swf.valid) << name;
            EXPECT_EQ(swf.tags[0].code, code) << name;
        }
        EXPECT_EQ(doc_.settings.compression, choice.first);
        EXPECT_EQ(doc_.settings.includeAlpha, choice.second);
    }
    EXPECT_FALSE(fs::exists(dir_ / "a.html"));
}

// Each picture is read from the file it was found as (w1.bmp loses to
// w1.tga), whatever the kind of the file that started its sequence.
TEST_F(DriverTest, PicturesOfMixedKindsAreReadFromTheirOwnFiles) {
    for (const auto& [from, to] : std::map<std::string, std::string>{
             {"red4x3.tga", "w1.tga"}, {"green6x5.bmp", "w1.bmp"}, {"blue4x3.bmp", "w2.bmp"},
             {"red4x3.jpg", "w3.jpg"}}) {
        copy(from, to);
    }
    queue();
    const JobOutcome job = convert().jobs.at(0);
    EXPECT_EQ(job.status, JobOutcome::Status::Converted);
    EXPECT_EQ(test::texts(job.missingPictures), std::vector<std::string>{});
    EXPECT_EQ(readSwf(job.outputPath).count(kDefineBitsJpeg2), 3u);
    EXPECT_TRUE(job.warnings.empty());  // no 6 x 5 picture among them
}

// Lossless frames of opaque pictures hold their pixels exactly, here as
// ImageMagick decodes the PNG files (image/*.rgba).
TEST_F(DriverTest, PngAndJpegSequencesConvert) {
    const fs::path images = fs::path(VANTREL_TEST_DATA) / "image";
    const char* const pngs[] = {"png_rgb8.png", "png_palette8.png", "png_grey4.png"};
    for (int k = 0; k < 3; ++k) {
        fs::copy_file(images / pngs[k], dir_ / ("walk" + std::to_string(k + 1) + ".png"));
    }
    copy("red4x3.jpg", "x1.jpeg");
    copy("red4x3.jpg", "x2.jpeg");
    queue();
    ConvertSettings options;
    options.outputHtml = false;
    const ConvertReport report = convert(options, CompressionType::Lossless);
    ASSERT_EQ(report.jobs.size(), 2u);
    EXPECT_EQ(report.jobs[0].frameCount, 2);
    const SwfFile swf = readSwf(dir_ / "walk.swf");
    ASSERT_TRUE(swf.valid);
    int k = 0;
    for (const SwfFile::Tag& tag : swf.tags) {
        if (tag.code != kDefineBitsLossless || k == 3) continue;
        // Id, format, width, height, then zlib of 255, red, green, blue per pixel.
        const test::Bytes reference = test::readFile(images / (std::string(pngs[k]) + ".rgba"));
        test::Bytes pixels(reference.size() + 1);
        uLongf length = pixels.size();
        ASSERT_EQ(uncompress(pixels.data(), &length, tag.body.data() + 7, tag.body.size() - 7), Z_OK);
        pixels.resize(length);
        for (std::size_t i = 0; i < pixels.size(); i += 4)
            std::rotate(pixels.begin() + i, pixels.begin() + i + 1, pixels.begin() + i + 4);
        EXPECT_EQ(pixels, reference) << pngs[k];
        ++k;
    }
    EXPECT_EQ(k, 3);
}

TEST_F(DriverTest, UnreadableFirstPictureWithSoundStillPlacesTheFirstPicture) {
    doc_.jobs.folderJobs.push_back(sequenceJob((dir_ / "w").string(), "bmp", {"1", "2"}));
    fs::create_directories(dir_ / "w1.bmp");  // not a readable picture
    copy("green6x5.bmp", "w2.bmp");
    copy("tone.mp3", "w.mp3");
    const ConvertReport report = convert();
    ASSERT_EQ(report.jobs[0].missingPictures.size(), 1u);
    const SwfFile swf = readSwf(dir_ / "w.swf");
    ASSERT_TRUE(swf.valid);
    const std::vector<std::uint16_t> expected = {kDefineSound, kStartSound, kShowFrame,
                                                 kDefineBitsJpeg2, kDefineShape, kPlaceObject2,
                                                 kShowFrame, 0};
    ASSERT_EQ(swf.codes(), expected);
    EXPECT_EQ(swf.tags[0].body[0], 1);  // DefineSound id 1
    // The first picture is placed, not moved: a move at an empty depth shows nothing.
    EXPECT_EQ(swf.tags[5].body, test::hex("06 01 00 03 00 00"));
    EXPECT_EQ(swf.width, 120);                                 // the last picture's size
}

// The stage is the last picture's size; pictures of another size are named
// in warnings, only the first few of a long run.
TEST_F(DriverTest, FrameSizeIsTheLastDecodedPicturesAndOtherSizesAreWarnedOf) {
    const std::string odd = " is 4 x 3 pixels, the stage 6 x 5";
    const std::map<int, std::vector<std::string>> warnings = {
        {1, {"s1.bmp" + odd}},
        {4, {"s1.bmp" + odd, "s2.bmp" + odd, "s3.bmp" + odd, "s4.bmp" + odd}},
        {5, {"s1.bmp" + odd, "s2.bmp" + odd, "s3.bmp" + odd,
             "2 more pictures differ in size from the stage"}}};
    for (const auto& [small, expected] : warnings) {
        for (int k = 1; k <= small; ++k) copy("red4x3.bmp", "s" + std::to_string(k) + ".bmp");
        copy("green6x5.bmp", "s" + std::to_string(small + 1) + ".bmp");
        queue();
        EXPECT_EQ(test::texts(convert().jobs.at(0).warnings), expected);
        const SwfFile swf = readSwf(dir_ / "s.swf");
        EXPECT_EQ(swf.width, 120);
        EXPECT_EQ(swf.height, 100);
    }
    // Fitted into a box, each is named with its file's size and the size it
    // was scaled to: 4 x 3 to 3 x 2, beside the stage 6 x 5 scaled to 3 x 3.
    doc_.settings.maxSize = {3, 3};
    queue();
    const JobOutcome job = convert().jobs.at(0);
    ASSERT_EQ(job.warnings.size(), 4u);
    EXPECT_EQ(job.warnings[0].values, (std::array<double, 6>{4, 3, 3, 3, 3, 2}));
}

// ImageMagick's palette pictures: one whose text chunk has a bad checksum
// is read without it, with a warning; one with a bad palette checksum is not
// read. A rate the movie stores more than 0.5 % off (it has 1/256 steps) is
// a warning too, of the plan as well.
TEST_F(DriverTest, DroppedChunksAndChangedRatesAreWarnings) {
    const fs::path png = dir_ / "w1.png";
    ASSERT_EQ(
        std::system(("convert -size 4x3 xc:red -set comment hi PNG8:" + png.string()).c_str()), 0);
    const test::Bytes good = test::readFile(png);
    for (const auto& [name, type] : {std::pair{"w1.png", "tEXt"}, {"w2.png", "PLTE"}}) {
        const test::Bytes bad = test::withBadChecksum(good, type);
        std::ofstream(dir_ / name)
            .write(reinterpret_cast<const char*>(bad.data()), std::ssize(bad));
    }
    queue();
    const std::string dropped = png.string() +
                                ": an ancillary chunk with a bad checksum (text, time, gamma or "
                                "the like) was left out";
    const std::string stored = " frames per second is stored in the movie as ";
    const std::pair<float, std::vector<std::string>> cases[] = {
        {15.0f, {dropped}},
        {29.97f, {dropped}},
        {0.01f, {"the rate 0.01" + stored + "0.00781", dropped}},
        {0.3f, {"the rate 0.3" + stored + "0.297", dropped}},
    };
    for (const auto& [rate, warnings] : cases) {
        ConvertSettings options;
        options.frameRate = rate;
        const JobOutcome job = convert(options).jobs.at(0);
        EXPECT_EQ(test::texts(job.warnings), warnings) << rate;
        EXPECT_EQ(job.missingPictures.size(), 1u);
        EXPECT_EQ(test::texts(plannedReport(planBatch(doc_.jobs, doc_.settings)).jobs[0].warnings),
                  std::vector<std::string>(warnings.begin(), warnings.end() - 1));
    }
}

TEST_F(DriverTest, ConvertingTwiceOverwritesAndCancelConvertsNothing) {
    copy("red4x3.bmp", "x1.bmp");
    queue();
    convert();
    const auto first = test::readFile(dir_ / "x.swf");
    fs::remove(dir_ / "x.html");
    convert();
    EXPECT_EQ(test::readFile(dir_ / "x.swf"), first);
    EXPECT_TRUE(fs::exists(dir_ / "x.html"));
    EXPECT_FALSE(doc_.jobs.isEmpty());  // the jobs stay queued

}

TEST_F(DriverTest, UnwritableMovieFailsAndWritesNoPage) {
    doc_.jobs.folderJobs.push_back(sequenceJob((dir_ / "missing" / "m").string(), "bmp", {"1"}));
    const ConvertReport report = convert();
    ASSERT_EQ(report.jobs.size(), 1u);
    EXPECT_EQ(report.jobs[0].status, JobOutcome::Status::Failed);
    EXPECT_NE(test::reasonOf(report.jobs[0]).find("cannot write " + (dir_ / "missing" / "m.swf").string() +
                                         ": No such file or directory"),
              std::string::npos)
        << test::reasonOf(report.jobs[0]);
    EXPECT_TRUE(report.jobs[0].pagePath.empty());
}

// Frames are read and encoded on several threads, finishing out of order;
// the movies must not show it.
TEST_F(DriverTest, MoviesDoNotDependOnTheNumberOfThreads) {
    const char* pictures[] = {"red4x3.tga", "blue4x3.bmp", "green6x5.bmp"};
    for (int i = 1; i <= 40; ++i) {
        const std::string from = pictures[i % 3];
        copy(from, "seq" + std::to_string(i) + from.substr(from.size() - 4));
    }
    copy("tone.mp3", "seq.mp3");
    fs::copy_file(fs::path(VANTREL_TEST_DATA) / "video" / "mpeg4.avi", dir_ / "clip.avi");
    queue();
    ASSERT_EQ(doc_.jobs.folderJobs.size(), 1u);
    ASSERT_EQ(doc_.jobs.videoJobs.size(), 1u);

    struct Storage {
        CompressionType compression;
        bool alpha;
    };
    for (const Storage storage : {Storage{CompressionType::Jpeg, false},
                                  Storage{CompressionType::Jpeg, true},
                                  Storage{CompressionType::Lossless, false},
                                  Storage{CompressionType::Lossless, true}}) {
        ConvertSettings options;
        options.includeAlpha = storage.alpha;
        std::map<std::string, test::Bytes> first;
        for (unsigned threads : {1u, 2u, 8u}) {
            const ConvertReport report = convert(options, storage.compression, nullptr, {}, threads);
            for (const JobOutcome& job : report.jobs) {
                ASSERT_EQ(job.status, JobOutcome::Status::Converted) << job.source << test::reasonOf(job);
                const test::Bytes movie = test::readFile(job.outputPath);
                if (threads == 1) {
                    first[job.outputPath] = movie;
                } else {
                    EXPECT_EQ(movie, first[job.outputPath])
                        << job.outputPath << " with " << threads << " threads, alpha "
                        << storage.alpha << ", compression " << int(storage.compression);
                }
            }
        }
    }
}

// An MJPEG video with two bytes changed in the middle of some frames: the
// decoder gives those frames partly decoded, and their rest must not show
// whichever earlier frame's buffer it was given back.
TEST_F(DriverTest, DamagedVideosDoNotDependOnTheNumberOfThreads) {
    const std::string clip = (dir_ / "clip.avi").string();
    ASSERT_TRUE(test::ffmpeg("-f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 20 -c:v mjpeg '" +
                             clip + "'"));
    std::istringstream packets(test::commandOutput(
        "ffprobe -v error -select_streams v -show_entries packet=pos,size -of csv=p=0 '" + clip +
        "'"));
    test::Bytes bytes = test::readFile(clip);
    int frame = 0;
    for (std::size_t size, pos; packets >> size && packets.ignore() >> pos; ++frame) {
        if (frame % 3 != 1) continue;
        bytes.at(pos + size / 2) ^= 0x5A;
        bytes.at(pos + size / 2 + 1) ^= 0xA5;
    }
    ASSERT_EQ(frame, 20);
    scratch_.file("clip.avi", bytes);
    queue();
    for (const auto compression : {CompressionType::Jpeg, CompressionType::Lossless}) {
        for (const float rate : {25.0f, 10.0f}) {
            ConvertSettings options;
            options.frameRate = rate;
            std::vector<test::Bytes> movies;
            for (const unsigned threads : {1u, 4u}) {
                ASSERT_EQ(convert(options, compression, nullptr, {}, threads).jobs.at(0).status,
                          JobOutcome::Status::Converted);
                movies.push_back(test::readFile(dir_ / "clip.swf"));
            }
            EXPECT_TRUE(movies[0] == movies[1]) << rate << " fps, compression " << int(compression);
        }
    }
}

// Videos made by the ffmpeg program with B-frames where the codec has them,
// and with sound: H.264 and VP9 decode on threads of their own, MPEG-4 and
// MPEG-2 on one.
struct ThreadedCodec {
    const char* file;
    const char* options;
};
const ThreadedCodec kThreadedCodecs[] = {
    {"h264.mp4", "-c:v libx264 -bf 3 -g 12 -pix_fmt yuv420p -c:a aac"},
    {"mpeg4.avi", "-c:v mpeg4 -bf 2 -g 12 -q:v 4 -c:a libmp3lame"},
    {"vp9.webm", "-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -g 12 -c:a libopus"},
    {"mpeg2.mpg", "-c:v mpeg2video -bf 2 -g 12 -q:v 4 -c:a mp2"},
};

// The movie and the outcome's lines of one conversion.
struct Converted {
    test::Bytes movie;
    std::vector<std::string> lines;
    bool operator==(const Converted&) const = default;
};

class ThreadedDecodeTest : public DriverTest {
protected:
    // Makes the video `file` of 60 frames with two seconds of sound; when
    // `damage`, two bytes in the middle of every third video packet are
    // changed.
    void make(const ThreadedCodec& codec, bool damage) {
        for (const auto& entry : fs::directory_iterator(dir_)) fs::remove_all(entry.path());
        const std::string clip = (dir_ / codec.file).string();
        ASSERT_TRUE(
            test::ffmpeg("-f lavfi -i testsrc2=size=160x96:rate=25 -f lavfi -i "
                         "sine=frequency=440:sample_rate=44100 -t 2.4 " +
                         std::string(codec.options) + " '" + clip + "'"));
        if (!damage) return;
        std::istringstream packets(test::commandOutput(
            "ffprobe -v error -select_streams v -show_entries packet=pos,size -of csv=p=0 '" +
            clip + "'"));
        test::Bytes bytes = test::readFile(clip);
        int frame = 0;
        for (std::size_t size, pos; packets >> size && packets.ignore() >> pos; ++frame) {
            if (frame % 3 != 1 || size < 8) continue;
            bytes.at(pos + size / 2) ^= 0x5A;
            bytes.at(pos + size / 2 + 1) ^= 0xA5;
        }
        ASSERT_GE(frame, 50) << codec.file;
        scratch_.file(codec.file, bytes);
    }
    Converted convertOn(unsigned threads, float rate) {
        doc_.jobs.clear();
        queue();
        ConvertSettings options;
        options.frameRate = rate;
        options.outputHtml = false;
        const ConvertReport report = convert(options, CompressionType::Jpeg, nullptr, {}, threads);
        const JobOutcome& job = report.jobs.at(0);
        Converted converted{{}, warningLines(job, commandLineName)};
        converted.lines.push_back(outcomeLine(job, commandLineName));
        for (const Fault& missing : job.missingPictures)
            converted.lines.push_back(test::words(missing));
        const fs::path movie = fs::path(job.source).replace_extension(".swf");
        if (job.status == JobOutcome::Status::Converted) converted.movie = test::readFile(movie);
        return converted;
    }
};

// At 25 frames per second every frame is shown; at 10 frames are passed
// over. Damaged or not, the movies equal those of one thread.
TEST_F(ThreadedDecodeTest, MoviesDoNotDependOnTheNumberOfThreads) {
    for (const ThreadedCodec& codec : kThreadedCodecs) {
        for (const bool damage : {false, true}) {
            make(codec, damage);
            for (const float rate : {25.0f, 10.0f}) {
                const Converted one = convertOn(1, rate);
                if (!damage) {
                    ASSERT_FALSE(one.movie.empty()) << codec.file;
                }
                for (const unsigned threads : {2u, 8u}) {
                    EXPECT_TRUE(convertOn(threads, rate) == one)
                        << codec.file << (damage ? " damaged" : "") << ", " << rate << " fps, "
                        << threads << " threads";
                }
            }
        }
    }
}

}  // namespace
}  // namespace vantrel

namespace vantrel {
namespace {

// A video of known length whose frames are plain colours by index.
class FakeFrameSource : public FrameSource {
public:
    struct Log {
        std::vector<std::int32_t> grabbed;
        std::vector<unsigned> decoderThreads;  // asked of each source made
    };
    FakeFrameSource(Log& log, double duration, std::int32_t frames, bool opens = true)
        : log_(log), duration_(duration), frames_(frames), opens_(opens) {}

    bool open(const std::string&) override { return opens_; }
    void setDecoderThreads(unsigned threads) override {
        threads_ = threads;
        log_.decoderThreads.push_back(threads);
    }
    bool restartOnOneThread() const override { return restart_; }
    std::int32_t videoWidth() const override { return 8; }
    std::int32_t videoHeight() const override { return 6; }
    double durationSeconds() const override { return duration_; }
    std::int32_t frameCount() const override { return frames_; }
    bool grabFrame(std::int32_t index, RasterImage& picture) override {
        log_.grabbed.push_back(index);
        if (threads_ > 1 && index >= damagedOnThreadsAt) restart_ = true;
        if (index == failAt || restart_) return false;
        picture.resize(8, 6);
        std::fill(picture.pixels.begin(), picture.pixels.end(), 0xFF000000u | index);
        return true;
    }
    // Frames spaced evenly over the length.
    std::int32_t frameShownAt(double seconds) override {
        return std::int32_t((seconds + kSameTimeSeconds) * frames_ / duration_);
    }
    bool grabAtTime(double, RasterImage&) override { return false; }
    bool isBufferEmpty() const override { return log_.grabbed.empty(); }
    void close() override {}

    std::int32_t failAt = -1;
    // From this frame on, decoding on several threads meets damage.
    std::int32_t damagedOnThreadsAt = std::numeric_limits<std::int32_t>::max();

private:
    Log& log_;
    unsigned threads_ = 1;
    bool restart_ = false;
    double duration_;
    std::int32_t frames_;
    bool opens_;
};

class VideoDriverTest : public DriverTest {
  protected:
    ConvertReport convertVideo(double duration, std::int32_t frames, float rate,
                               std::int32_t failAt = -1, unsigned threads = 0,
                               std::int32_t damagedOnThreadsAt = -1) {
        doc_.jobs.videoJobs.push_back({(dir_ / "clip.avi").string()});
        ConvertSettings options;
        options.frameRate = rate;
        return convert(options, CompressionType::Lossless, nullptr,
            [&, duration, frames, failAt, damagedOnThreadsAt] {
                auto source = std::make_unique<FakeFrameSource>(log_, duration, frames);
                source->failAt = failAt;
                if (damagedOnThreadsAt >= 0) source->damagedOnThreadsAt = damagedOnThreadsAt;
                return source;
            },
            threads);
    }
    FakeFrameSource::Log log_;
};

TEST_F(VideoDriverTest, TenSecondsAtFifteenFramesPerSecond) {
    copy("tone.mp3", "clip.avi.mp3");
    const ConvertReport report = convertVideo(10.000000474974513, 250, 15.0f);
    ASSERT_EQ(report.jobs.size(), 1u);
    const JobOutcome& job = report.jobs[0];
    EXPECT_EQ(job.status, JobOutcome::Status::Converted) << test::reasonOf(job);
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
    EXPECT_EQ(swf.count(kDefineBitsLossless), 150u);
    EXPECT_EQ(swf.tags[3].code, kDefineSound);
    EXPECT_TRUE(fs::exists(dir_ / "clip.html"));
}

// Damage met on threads makes the movie again from the start on one
// thread: nothing of the first attempt stays, neither its frames without a
// picture nor its file, and the sound is there.
TEST_F(VideoDriverTest, DamageOnThreadsMakesTheMovieAgainOnOneThread) {
    copy("tone.mp3", "clip.avi.mp3");
    const JobOutcome one = convertVideo(1.0, 10, 10.0f, 7, 1).jobs.at(0);
    const test::Bytes movie = test::readFile(dir_ / "clip.swf");
    EXPECT_EQ(log_.decoderThreads, std::vector<unsigned>{1});
    for (const std::int32_t damagedAt : {0, 4}) {
        log_ = {};
        doc_.jobs.clear();
        fs::remove(dir_ / "clip.swf");
        const JobOutcome job = convertVideo(1.0, 10, 10.0f, 7, 3, damagedAt).jobs.at(0);
        EXPECT_EQ(log_.decoderThreads, (std::vector<unsigned>{3, 1}));
        EXPECT_EQ(outcomeLine(job, commandLineName), outcomeLine(one, commandLineName));
        EXPECT_EQ(warningLines(job, commandLineName), warningLines(one, commandLineName));
        ASSERT_EQ(job.missingPictures.size(), 1u);  // frame 7 only, from the second attempt
        EXPECT_EQ(job.missingPictures[0].frame, 7);
        EXPECT_TRUE(test::readFile(dir_ / "clip.swf") == movie) << damagedAt;
        EXPECT_EQ(scratch_.entries(), 3u);  // the video's sound, the movie, its page
    }
}

TEST_F(VideoDriverTest, TooShortVideosWriteNothing) {
    const ConvertReport report = convertVideo(0.04, 1, 15.0f);
    ASSERT_EQ(report.jobs.size(), 1u);
    EXPECT_EQ(report.jobs[0].status, JobOutcome::Status::Skipped);
    EXPECT_EQ(test::reasonOf(report.jobs[0]), "shorter than one frame at 15 frames per second");
    EXPECT_TRUE(log_.grabbed.empty());
    EXPECT_FALSE(fs::exists(dir_ / "clip.swf"));
    EXPECT_FALSE(fs::exists(dir_ / "clip.html"));
}

// Movies that players play badly are warned of once, with the option that
// avoids it: more frames than Flash Player plays, a rate over 60.
TEST_F(VideoDriverTest, MoviesPlayersPlayBadlyAreWarnedOf) {
    const struct {
        double duration;
        float rate;
        std::vector<std::string> warnings;
    } cases[] = {
        {1.0, 60.0f, {}},
        {1.0, 61.0f,
         {"61 frames per second: Flash Player plays at most 60, Ruffle faster, so the movie "
          "plays at different speeds; lower --rate"}},
        {16001 / 15.0, 15.0f,
         {"16001 frames: Flash Player stops at 16000; cut the movie with --end or lower "
          "--rate"}},
    };
    doc_.settings.videoSound = false;
    for (const auto& c : cases) {
        doc_.jobs.clear();
        const ConvertReport report = convertVideo(c.duration, 10, c.rate);
        ASSERT_EQ(report.jobs.size(), 1u);
        EXPECT_EQ(report.jobs[0].status, JobOutcome::Status::Converted);
        EXPECT_EQ(test::texts(report.jobs[0].warnings), c.warnings);
    }
}

TEST_F(VideoDriverTest, FailedGrabsRepeatThePreviousPicture) {
    const ConvertReport report = convertVideo(1.0, 10, 5.0f, 4);  // grabs 0, 2, 4, 6, 8
    const JobOutcome& job = report.jobs[0];
    EXPECT_EQ(job.status, JobOutcome::Status::Converted);
    ASSERT_EQ(job.missingPictures.size(), 1u);
    EXPECT_EQ(test::words(job.missingPictures[0]), (dir_ / "clip.avi").string() + " frame 4: cannot be decoded");
    const SwfFile swf = readSwf(dir_ / "clip.swf");
    EXPECT_EQ(swf.frameCount, 5);
    EXPECT_EQ(swf.count(kDefineBitsLossless), 5u);
}

TEST_F(VideoDriverTest, AFirstGrabThatFailsGivesAnEmptyFrame) {
    const ConvertReport report = convertVideo(1.0, 10, 5.0f, 0);
    const SwfFile swf = readSwf(dir_ / "clip.swf");
    ASSERT_TRUE(swf.valid);
    EXPECT_EQ(swf.frameCount, 5);
    EXPECT_EQ(swf.count(kDefineBitsLossless), 4u);
    EXPECT_EQ(swf.tags[0].code, kShowFrame);
    EXPECT_EQ(report.jobs[0].missingPictures.size(), 2u);  // no grab, then no picture
}

// A job in which no picture could be read writes nothing, and leaves the
// movie and page of an earlier run as they were.
TEST_F(VideoDriverTest, NoReadablePictureWritesNothingAndKeepsEarlierFiles) {
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(24);
    for (const bool video : {false, true}) {
        for (const bool earlier : {false, true}) {
            for (const auto& entry : fs::directory_iterator(dir_)) fs::remove_all(entry.path());
            const std::vector<fs::path> files = {dir_ / (video ? "clip.swf" : "gone.swf"),
                                                 dir_ / (video ? "clip.html" : "gone.html")};
            for (const fs::path& file : files) {
                if (!earlier) continue;
                std::ofstream(file) << "earlier";
                fs::last_write_time(file, past);
            }
            doc_.jobs.clear();
            doc_.jobs.folderJobs.push_back(sequenceJob((dir_ / "gone").string(), "bmp", {"1", "2"}));
            // Every grab of the video asks for frame 0, which fails.
            const JobOutcome job = (video ? convertVideo(1.0, 1, 5.0f, 0) : convert()).jobs.back();
            EXPECT_EQ(job.status, JobOutcome::Status::Failed);
            EXPECT_EQ(test::reasonOf(job), "no picture could be read: no movie written");
            EXPECT_TRUE(job.outputPath.empty() && job.pagePath.empty());
            EXPECT_EQ(scratch_.entries(), earlier ? 2u : 0u);
            for (const fs::path& file : files) {
                if (!earlier) continue;
                EXPECT_EQ(test::readFile(file), test::Bytes({'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
                EXPECT_EQ(fs::last_write_time(file), past) << file;
            }
        }
    }
}

TEST_F(VideoDriverTest, VideosTooLongForOneMovieAreRefused) {
    const ConvertReport report = convertVideo(3000.0, 75000, 25.0f);
    EXPECT_EQ(report.jobs[0].status, JobOutcome::Status::Failed);
    EXPECT_NE(test::reasonOf(report.jobs[0]).find("32767 frames"), std::string::npos);
    EXPECT_TRUE(log_.grabbed.empty());
    EXPECT_FALSE(fs::exists(dir_ / "clip.swf"));
}

}  // namespace
}  // namespace vantrel

namespace vantrel {
namespace {

TEST_F(DriverTest, AnUnusableSoundFileIsAWarning) {
    copy("red4x3.bmp", "s1.bmp");
    std::ofstream(dir_ / "s.mp3") << "not an mp3 file at all";
    queue();
    const ConvertReport report = convert();
    ASSERT_EQ(report.jobs.size(), 1u);
    EXPECT_EQ(report.jobs[0].status, JobOutcome::Status::Converted);
    EXPECT_TRUE(report.jobs[0].soundPath.empty());
    ASSERT_EQ(report.jobs[0].warnings.size(), 1u);
    const std::string warning = test::words(report.jobs[0].warnings[0]);
    EXPECT_EQ(warning.rfind("no sound: ", 0), 0u) << warning;
    EXPECT_NE(warning.find((dir_ / "s.mp3").string()), std::string::npos);
    EXPECT_EQ(readSwf(dir_ / "s.swf").count(kDefineSound), 0u);
}

}  // namespace
}  // namespace vantrel

namespace vantrel {
namespace {

// However the path to it is spelled.
TEST_F(DriverTest, JobsWhoseMoviesShareAFileKeepTheFirst) {
    copy("red4x3.bmp", "clip1.bmp");
    fs::create_directory_symlink(dir_, dir_ / "link");
    for (const fs::path& prefix : {dir_ / "clip", dir_ / "." / "clip", dir_ / "link" / "clip",
                                  dir_ / "gone" / ".." / "clip"}) {
        doc_.jobs.folderJobs.push_back(sequenceJob(prefix.string(), "bmp", {"1"}));
    }
    doc_.jobs.videoJobs.push_back({(dir_ / "clip.avi").string()});
    doc_.jobs.videoJobs.push_back({(dir_ / "link" / "clip.mpeg").string()});
    int opened = 0;
    const ConvertReport report = convert({}, CompressionType::Jpeg, nullptr, [&]() -> std::unique_ptr<FrameSource> {
        ++opened;
        return nullptr;
    });
    ASSERT_EQ(report.jobs.size(), 6u);
    EXPECT_EQ(report.jobs[0].status, JobOutcome::Status::Converted);
    for (std::size_t j = 1; j < report.jobs.size(); ++j) {
        EXPECT_EQ(report.jobs[j].status, JobOutcome::Status::Skipped) << j;
    }
    EXPECT_EQ(test::reasonOf(report.jobs[5]), "its movie " + (dir_ / "link" / "clip.swf").string() +
                                         " is already made from " + report.jobs[0].source +
                                         " in this batch");
    EXPECT_EQ(opened, 0);
}

// The first job to write into a folder removes the temporary files killed
// runs left there over an hour ago: regular files of exactly their names,
// of this user. Each removal is a warning of that job.
TEST_F(DriverTest, StrayTemporariesOfKilledRunsAreRemoved) {
    // Path; file, directory, link or file of another user; minutes old; removed.
    const std::tuple<std::string, char, int, bool> cases[] = {
        {"a/.vantrel-0123abcd.tmp", 'f', 61, true},   {"b/.vantrel-ffffffff.tmp", 'f', 600, true},
        {"a/.vantrel-89abcdef.tmp", 'f', 59, false},  {"a/.vantrel-0123ABCD.tmp", 'f', 600, false},
        {"a/.vantrel-0123abc.tmp", 'f', 600, false},  {"a/.vantrel-22222222.tmp", 'd', 600, false},
        {"a/.vantrel-33333333.tmp", 'l', 600, false}, {"a/.vantrel-44444444.tmp", 'u', 600, false},
    };
    for (const char* name : {"a/x1.bmp", "a/y1.bmp", "b/z1.bmp"}) {
        fs::create_directories((dir_ / name).parent_path());
        copy("red4x3.bmp", name);
    }
    for (const auto& [name, kind, minutes, removed] : cases) {
        const fs::path path = dir_ / name;
        if (kind == 'd') fs::create_directory(path);
        if (kind == 'l') fs::create_symlink("x1.bmp", path);
        if (kind == 'f' || kind == 'u') std::ofstream(path) << "half a movie";
        // Only root can give a file away.
        if (kind == 'u' && ::lchown(path.c_str(), ::geteuid() + 1, -1) != 0) continue;
        const timespec old{std::time(nullptr) - 60 * minutes, 0};
        const timespec times[] = {old, old};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << name;
    }
    queue();
    std::vector<std::vector<std::string>> warned;
    for (const JobOutcome& job : convert().jobs) warned.push_back(test::texts(job.warnings));
    const std::string left = ", a temporary file left by an interrupted run";
    EXPECT_EQ(warned, (std::vector<std::vector<std::string>>{
                          {"removed " + (dir_ / "a/.vantrel-0123abcd.tmp").string() + left},
                          {},
                          {"removed " + (dir_ / "b/.vantrel-ffffffff.tmp").string() + left}}));
    for (const auto& [name, kind, minutes, removed] : cases) {
        EXPECT_EQ(fs::exists(fs::symlink_status(dir_ / name)), !removed) << name;
    }
}

TEST(DriverArithmetic, OutputMoviePaths) {
    const std::vector<std::array<std::string, 4>> cases = {
        // movie beside its source, dropped folder, output folder, movie written
        {"/src/a/b/walk.swf", "/src", "/out", "/out/a/b/walk.swf"},
        {"/src/a/walk.swf", "/src//", "out/", "out/a/walk.swf"},
        {"./a/walk.swf", ".", "/out", "/out/a/walk.swf"},
        {"in/clip.swf", "in", "/out", "/out/clip.swf"},
        {"clip.swf", "", "/out", "/out/clip.swf"},
        {"/elsewhere/clip.swf", "/src", "/out", "/out/clip.swf"},
        {"/src/walk.swf", "/src", "", "/src/walk.swf"},
    };
    for (const auto& [movie, root, folder, expected] : cases) {
        EXPECT_EQ(outputMoviePath(movie, root, folder), expected) << movie << " " << root;
    }
}

TEST_F(DriverTest, MorePicturesThanIdsAreRefusedBeforeAnyWork) {
    FolderJob job{(dir_ / "many").string(), "bmp", {}};
    for (int i = 1; i <= 32768; ++i) job.pictures.push_back({std::to_string(i), "bmp"});
    doc_.jobs.folderJobs.push_back(job);
    const ConvertReport report = convert();
    EXPECT_EQ(report.jobs[0].status, JobOutcome::Status::Failed);
    EXPECT_EQ(test::reasonOf(report.jobs[0]), "32768 pictures are more than one movie can hold (32767)");
    EXPECT_FALSE(fs::exists(dir_ / "many.swf"));
}

TEST_F(DriverTest, APipeNamedLikeAPictureDoesNotBlock) {
    copy("red4x3.bmp", "p1.bmp");
    ASSERT_EQ(::mkfifo((dir_ / "p2.bmp").c_str(), 0600), 0);
    doc_.jobs.folderJobs.push_back(sequenceJob((dir_ / "p").string(), "bmp", {"1", "2"}));
    const ConvertReport report = convert();
    EXPECT_EQ(report.jobs[0].status, JobOutcome::Status::Converted);
    ASSERT_EQ(report.jobs[0].missingPictures.size(), 1u);
    EXPECT_NE(test::words(report.jobs[0].missingPictures[0]).find("not a regular file"),
              std::string::npos);
}

// Stops the batch once the given job has added the given number of frames.
class StoppingObserver : public ConvertObserver {
public:
    StoppingObserver(std::size_t job, std::int32_t frames) : stopJob_(job), stopFrames_(frames) {}
    void jobStarted(std::size_t job, std::size_t, const std::string&,
                    const std::string& moviePath) override {
        job_ = job;
        movies.push_back(moviePath);
        events.push_back("start " + std::to_string(job));
    }
    void jobFinished(std::size_t job, const JobOutcome&) override {
        events.push_back("end " + std::to_string(job));
    }
    void frameAdded(std::int32_t done, std::int32_t) override { done_ = done; }
    bool stopRequested() override { return job_ == stopJob_ && done_ >= stopFrames_; }

    std::vector<std::string> movies;
    std::vector<std::string> events;

private:
    std::size_t stopJob_;
    std::int32_t stopFrames_;
    std::size_t job_ = 0;
    std::int32_t done_ = 0;
};

TEST_F(VideoDriverTest, StopKeepsEarlierMoviesAndWritesNothingOfTheCurrentOne) {
    copy("red4x3.bmp", "x1.bmp");
    queue();
    doc_.jobs.videoJobs.push_back({(dir_ / "clip.avi").string()});
    doc_.jobs.videoJobs.push_back({(dir_ / "later.avi").string()});
    StoppingObserver observer(1, 2);
    // One thread, so no frame is grabbed ahead of the stop.
    const ConvertReport report = convert({}, CompressionType::Jpeg, &observer, [&] { return std::make_unique<FakeFrameSource>(log_, 1.0, 25); },
        1);

    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(observer.movies, (std::vector<std::string>{(dir_ / "x.swf").string(),
                                                         (dir_ / "clip.swf").string()}));
    ASSERT_EQ(report.jobs.size(), 3u);
    EXPECT_EQ(report.jobs[0].status, JobOutcome::Status::Converted);
    EXPECT_EQ(report.jobs[1].status, JobOutcome::Status::Stopped);
    EXPECT_EQ(test::reasonOf(report.jobs[1]), "stopped before its movie was written");
    EXPECT_EQ(report.jobs[2].status, JobOutcome::Status::Stopped);
    EXPECT_EQ(test::reasonOf(report.jobs[2]), "not started: the batch was stopped");
    // Each outcome is told as soon as it is known, also for the job never started.
    EXPECT_EQ(observer.events,
              (std::vector<std::string>{"start 0", "end 0", "start 1", "end 1", "end 2"}));
    EXPECT_EQ(log_.grabbed.size(), 2u);
    // The folder holds the picture and the first job's movie and page only.
    EXPECT_EQ(scratch_.entries(), 3u);
    EXPECT_TRUE(fs::exists(dir_ / "x.swf"));
}

// A frame that cannot be held in memory fails its job; nothing of the movie
// is left behind.
TEST_F(VideoDriverTest, AFailureInTheMiddleOfAMovieLeavesNoFile) {
    class ThrowingSource : public FakeFrameSource {
    public:
        using FakeFrameSource::FakeFrameSource;
        bool grabFrame(std::int32_t index, RasterImage& picture) override {
            if (index == 13) throw std::bad_alloc();
            return FakeFrameSource::grabFrame(index, picture);
        }
    };
    doc_.jobs.videoJobs.push_back({(dir_ / "clip.avi").string()});
    for (unsigned threads : {1u, 3u}) {
        const ConvertReport report = convert({}, CompressionType::Jpeg, nullptr,
            [&] { return std::make_unique<ThrowingSource>(log_, 2.0, 50); }, threads);
        ASSERT_EQ(report.jobs.size(), 1u);
        EXPECT_EQ(report.jobs[0].status, JobOutcome::Status::Failed);
        EXPECT_EQ(test::reasonOf(report.jobs[0]), "not enough memory for its frames");
        EXPECT_EQ(scratch_.entries(), 0u) << threads;
    }
}

// A file that stops growing halfway (here a file size limit, as a full disk
// would) fails the job at once and leaves nothing behind.
TEST_F(VideoDriverTest, AMovieThatCannotBeWrittenToTheEndFailsAndLeavesNothing) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const ConvertReport report = convertVideo(20.0, 500, 100.0f);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    ASSERT_EQ(report.jobs.size(), 1u);
    EXPECT_EQ(report.jobs[0].status, JobOutcome::Status::Failed);
    EXPECT_EQ(test::reasonOf(report.jobs[0]),
              "cannot write " + (dir_ / "clip.swf").string() + ": File too large");
    EXPECT_LT(log_.grabbed.size(), 2000u);  // it did not go on to the end
    EXPECT_EQ(scratch_.entries(), 0u);
}

}  // namespace
}  // namespace vantrel

namespace vantrel {
namespace {

TEST_F(DriverTest, CompanionsAreFoundWhateverTheirLetterCase) {
    struct Case {
        std::vector<std::string> files;  // a name ending in "/" is a folder
        bool video;                      // the movie of clip.avi, else walk.swf
        std::string found;
    };
    const Case cases[] = {
        {{"WALK.MP3"}, false, "WALK.MP3"},
        {{"Walk.Mp3", "WALK.MP3", "walk.mp3"}, false, "walk.mp3"},
        {{"Walk.Mp3", "WALK.MP3"}, false, "WALK.MP3"},
        {{"walks.mp3", "walk.mp3.txt", "WALK.MP3/"}, false, ""},
        {{"Clip.MP3"}, true, "Clip.MP3"},
        {{"clip.mp3", "CLIP.AVI.MP3"}, true, "CLIP.AVI.MP3"},
        {{"clip.mp3", "clip.avi.mp3/"}, true, "clip.mp3"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const fs::path folder = dir_ / std::to_string(n++);
        fs::create_directory(folder);
        for (const std::string& name : c.files) {
            if (name.back() == '/') {
                fs::create_directory(folder / name);
            } else {
                std::ofstream(folder / name) << "x";
            }
        }
        const std::string found = c.video ? videoSoundPath((folder / "clip.avi").string())
                                          : sequenceSoundPath((folder / "walk.swf").string());
        EXPECT_EQ(found, c.found.empty() ? "" : (folder / c.found).string()) << n;
    }
}

// A video's own sound comes in when there is no companion file, unless the
// settings leave it out, and lasts as long as the movie.
TEST_F(DriverTest, AVideoKeepsItsOwnSound) {
    ASSERT_TRUE(test::ffmpeg("-f lavfi -i testsrc2=size=32x24:rate=25:duration=2 -f lavfi -i "
                             "sine=sample_rate=48000:duration=2 -ac 2 -c:v mpeg4 -c:a pcm_s16le '" +
                             (dir_ / "clip.avi").string() + "'"));
    const test::Bytes tone = test::readFile(kData / "tone.mp3");
    struct Case {
        const char* companion;
        bool videoSound;
        SoundOrigin sound;
    };
    for (const Case& c : {Case{"", true, SoundOrigin::Video},
                          Case{"", false, SoundOrigin::None},
                          Case{"Clip.mp3", true, SoundOrigin::Companion}}) {
        SCOPED_TRACE(c.companion);
        fs::remove(dir_ / "Clip.mp3");
        if (*c.companion != '\0') copy("tone.mp3", c.companion);
        doc_.jobs.clear();
        queue();
        doc_.settings.videoSound = c.videoSound;
        const JobOutcome job = convert().jobs.at(0);
        EXPECT_EQ(job.sound, c.sound);
        EXPECT_EQ(test::texts(job.warnings), std::vector<std::string>{});
        const SwfFile swf = readSwf(job.outputPath);
        ASSERT_EQ(swf.count(kDefineSound), c.sound == SoundOrigin::None ? 0u : 1u);
        if (c.sound == SoundOrigin::None) continue;
        const test::Bytes& body = swf.tags[3].body;
        const test::Bytes data(body.begin() + 9, body.end());
        if (c.sound == SoundOrigin::Companion) {
            EXPECT_EQ(job.soundPath, (dir_ / c.companion).string());
            EXPECT_EQ(data, tone);
            continue;
        }
        EXPECT_EQ(body[2], 0x2F);  // 44.1 kHz stereo
        // After the seek samples, which players skip.
        const long samples =
            test::decodedSamples(scratch_.file("back.mp3", data)) - (body[7] | body[8] << 8);
        EXPECT_LE(samples, 2 * 44100);
        EXPECT_GT(samples, 2 * 44100 - 1152);
    }
}

const fs::path kVideos = fs::path(VANTREL_TEST_DATA) / "video";
constexpr std::size_t kVideoBytes = 48 * 32 * 3;

// FFmpeg's decode of frames: 24-bit rows (blue, green, red), gzipped.
test::Bytes gunzip(const fs::path& path) {
    test::Bytes bytes(1 << 20);
    gzFile file = gzopen(path.c_str(), "rb");
    const int n = file != nullptr ? gzread(file, bytes.data(), unsigned(bytes.size())) : 0;
    if (file != nullptr) gzclose(file);
    bytes.resize(std::size_t(std::max(n, 0)));
    return bytes;
}

// Mean difference per colour byte of the movie's lossless picture `k` and
// FFmpeg's frame `f`. Neighbouring frames of the test videos differ by 9 or
// more; other FFmpeg versions decode far closer than that.
double difference(const SwfFile& swf, std::size_t k, const test::Bytes& ffmpeg, std::size_t f) {
    for (const SwfFile::Tag& tag : swf.tags) {
        if (tag.code != kDefineBitsLossless || k-- > 0) continue;
        test::Bytes argb(kVideoBytes / 3 * 4);
        uLongf length = argb.size();
        if (uncompress(argb.data(), &length, tag.body.data() + 7, tag.body.size() - 7) != Z_OK ||
            length != argb.size() || ffmpeg.size() < (f + 1) * kVideoBytes) {
            break;
        }
        double sum = 0.0;
        for (std::size_t i = 0; i < kVideoBytes; ++i) {
            sum += std::abs(argb[i / 3 * 4 + 3 - i % 3] - ffmpeg[f * kVideoBytes + i]);
        }
        return sum / kVideoBytes;
    }
    return 255.0;
}

// Each container is queued by its extension and becomes a movie of as many
// frames as its stated length holds, the first one FFmpeg's frame 0.
TEST_F(DriverTest, VideosInEveryContainerBecomeMovies) {
    const std::pair<const char*, std::uint16_t> cases[] = {
        {"h264.mp4", 24}, {"h264.m4v", 24}, {"mpeg4.mov", 24}, {"h264.mkv", 24},
        {"vp9.webm", 24}, {"wmv2.wmv", 24}, {"flv1.flv", 24},  {"theora.ogv", 24},
        {"cut.mp4", 22}};
    // A folder for each container, so that no two share a movie.
    const auto copy = [&](const char* file) {
        return dir_ / fs::path(file).extension().string().substr(1) / file;
    };
    for (const auto& [file, frames] : cases) {
        fs::create_directories(copy(file).parent_path());
        fs::copy_file(kVideos / file, copy(file));
    }
    queue();
    ASSERT_EQ(doc_.jobs.videoJobs.size(), std::size(cases));
    ConvertSettings options;
    options.frameRate = 25.0f;
    convert(options, CompressionType::Lossless);
    for (const auto& [file, frames] : cases) {
        const SwfFile swf = readSwf(copy(file).replace_extension(".swf"));
        EXPECT_EQ(swf.frameCount, frames) << file;
        const test::Bytes first = gunzip(kVideos / (std::string(file) + ".0.bgr.gz"));
        EXPECT_LT(difference(swf, 0, first, 0), 1.0) << file;
    }
}

// A video whose frames are spaced unevenly keeps its timing: each movie
// frame is the one FFmpeg's fps filter gives then, rounding times up to its
// ticks, that is the last frame shown at or before that time.
TEST_F(DriverTest, AVariableRateVideoKeepsItsTiming) {
    fs::copy_file(kVideos / "vfr.mkv", dir_ / "vfr.mkv");
    queue();
    ConvertSettings options;
    options.frameRate = 10.0f;
    convert(options, CompressionType::Lossless);
    const SwfFile swf = readSwf(dir_ / "vfr.swf");
    EXPECT_EQ(swf.frameCount, 22);  // 2.24 s
    const test::Bytes ffmpeg = gunzip(kVideos / "vfr.mkv.fps10.bgr.gz");
    for (std::size_t i = 0; i < 22; ++i) EXPECT_LT(difference(swf, i, ffmpeg, i), 1.0) << i;
}

// FFmpeg's input of flat grey 32 x 24 frames whose frame k has luma 16 + 4k,
// so that a movie frame's lossless bitmap tells which video frame it shows.
std::string numberedFrames(int rate, double seconds) {
    return "-f lavfi -i 'color=black:size=32x24:rate=" + std::to_string(rate) +
           ":duration=" + std::to_string(seconds) +
           ",format=yuv420p,geq=lum=16+4*N:cb=128:cr=128' ";
}

// The video frame each movie frame shows, from the red of grey
// (Y - 16) * 255 / 219: the frame's own picture, or the one before it kept
// on the stage; -1 before the first.
std::vector<int> framesShown(const SwfFile& swf) {
    std::vector<int> shown;
    int picture = -1;
    for (const SwfFile::Tag& tag : swf.tags) {
        test::Bytes argb(32 * 24 * 4);
        uLongf length = argb.size();
        if (tag.code == kShowFrame) shown.push_back(picture);
        if (tag.code == kDefineBitsLossless &&
            uncompress(argb.data(), &length, tag.body.data() + 7, tag.body.size() - 7) == Z_OK) {
            picture = int(std::lround(argb[1] * 219.0 / 255.0 / 4.0));
        }
    }
    return shown;
}

// Movie frame i shows the video frame on screen i / rate seconds in, in
// every container: at the video's own rate each frame once, and where a
// movie frame's time meets a video frame's start (0.2 s at 15 and 25 frames
// per second) that frame. Also where the frames are spaced unevenly and the
// container rounds their times (to whole milliseconds in Matroska), and in
// transport and program streams, whose times start late.
TEST_F(DriverTest, VideosAreSampledByTime) {
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
        ASSERT_TRUE(test::ffmpeg(numberedFrames(15, 3.0) + codec + " '" + (dir_ / name).string() +
                                 "'"));
    }
    queue();
    for (const int rate : {15, 10, 25}) {
        ConvertSettings options;
        options.frameRate = float(rate);
        convert(options, CompressionType::Lossless);
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

// A cut keeps the part asked for: movie frame i of a video shows the frame
// on screen at start + i / rate, a sequence's pictures count at the rate
// (picture k at k / rate), and the sound, a sequence's companion too, starts
// with the part and lasts as long as it. A start past the pictures' end
// skips the job.
TEST_F(DriverTest, ACutKeepsThePartAskedFor) {
    // Five frames a second: frame k's grey stays inside the video range.
    ASSERT_TRUE(test::ffmpeg(numberedFrames(5, 6.0) +
                             "-f lavfi -i sine=duration=6 -c:v mpeg4 -q:v 2 -c:a libmp3lame '" +
                             (dir_ / "clip.mkv").string() + "'"));
    ASSERT_TRUE(test::ffmpeg(numberedFrames(10, 3.0) + "-start_number 0 '" +
                             (dir_ / "walk%03d.bmp").string() + "'"));
    ASSERT_TRUE(test::ffmpeg("-f lavfi -i sine=duration=3 '" + (dir_ / "walk.mp3").string() + "'"));
    queue();
    const struct {
        float rate;
        double start;
        std::optional<double> end;
        int first;  // the sequence's first picture; -1: skipped
        int pictures;
        double walkSound;  // seconds
        int clipFrames;    // -1: skipped
    } cases[] = {
        {10, 2, {}, 20, 10, 1.0, 40},   {10, 2.5, 4, 25, 5, 0.5, 15}, {5, 1.1, 3, 5, 9, 1.8, 9},
        {10, 0, 1.5, 0, 15, 1.5, 15},   {10, 4, {}, -1, 0, 0, 20},    {10, 6.5, {}, -1, 0, 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        doc_.settings.cutStart = c.start;
        doc_.settings.cutEnd = c.end;
        ConvertSettings options;
        options.frameRate = c.rate;
        options.outputHtml = false;
        const ConvertReport report = convert(options, CompressionType::Lossless);
        ASSERT_EQ(report.jobs.size(), 2u);
        const auto soundSeconds = [](const SwfFile& swf) {
            for (const SwfFile::Tag& tag : swf.tags) {
                if (tag.code != kDefineSound) continue;
                const test::Bytes& b = tag.body;
                return (b[3] | b[4] << 8 | b[5] << 16 | b[6] << 24) / 44100.0;
            }
            return 0.0;
        };
        for (const JobOutcome& job : report.jobs) {
            const bool walk = job.source.find("walk") != std::string::npos;
            if ((walk ? c.first : c.clipFrames) < 0) {
                EXPECT_EQ(job.status, JobOutcome::Status::Skipped);
                ASSERT_TRUE(job.fault);
                EXPECT_EQ(job.fault->code, FaultCode::StartPastEnd) << test::reasonOf(job);
                continue;
            }
            ASSERT_EQ(job.status, JobOutcome::Status::Converted) << test::reasonOf(job);
            const SwfFile swf = readSwf(job.outputPath);
            std::vector<int> expected;
            for (int i = 0; i < (walk ? c.pictures : c.clipFrames); ++i) {
                expected.push_back(walk ? c.first + i
                                        : int(std::floor((c.start + i / c.rate) * 5 + 1e-6)));
            }
            EXPECT_EQ(framesShown(swf), expected) << job.source;
            const double sound = walk ? c.walkSound : c.clipFrames / c.rate;
            EXPECT_NEAR(soundSeconds(swf), sound, 1152 / 44100.0 + 0.002) << job.source;
        }
    }
}

// A video cut short (to 40 % of its bytes, as a file still being written
// may be) ends with its last picture and its sound cut to match, with one
// warning; a sound that runs on past the pictures holds the last one, with
// one note. No frame gets a warning of its own.
TEST_F(DriverTest, MoviesEndWhereTheVideosDataEnds) {
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
    for (const auto& video : videos) {
        const fs::path path = dir_ / video.name;
        ASSERT_TRUE(test::ffmpeg(video.make + " '" + path.string() + "'"));
        if (video.code == FaultCode::PicturesEndEarly) {
            fs::resize_file(path, fs::file_size(path) * 2 / 5);
        }
        doc_.jobs.videoJobs.push_back({path.string()});
    }
    ConvertSettings options;
    options.frameRate = 4.0f;
    options.outputHtml = false;
    const ConvertReport report = convert(options, CompressionType::Lossless);
    ASSERT_EQ(report.jobs.size(), std::size(videos));
    for (std::size_t k = 0; k < std::size(videos); ++k) {
        const JobOutcome& job = report.jobs[k];
        SCOPED_TRACE(job.source);
        EXPECT_EQ(test::texts(job.missingPictures), std::vector<std::string>{});
        ASSERT_EQ(job.warnings.size(), 1u);
        EXPECT_EQ(job.warnings[0].code, videos[k].code);
        EXPECT_NEAR(job.warnings[0].values[1], videos[k].until, 0.1);
        // The frames FFmpeg decodes, then the last one held. The AVI stores
        // one more, as unchanged from the one before.
        const int frames = std::stoi(
            test::commandOutput("ffprobe -v error -select_streams v -count_frames -show_entries "
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
        EXPECT_LE(swf.count(kDefineBitsLossless), std::size_t(frames) + 1);
        // The sound lasts as long as the movie, less up to one MP3 frame.
        ASSERT_EQ(swf.tags[3].code, kDefineSound);
        const test::Bytes& sound = swf.tags[3].body;
        const double samples = sound[3] | sound[4] << 8 | sound[5] << 16 | sound[6] << 24;
        EXPECT_NEAR(samples / 44100.0, swf.frameCount / 4.0, 0.03);
    }
}
}  // namespace
}  // namespace vantrel

namespace vantrel {
namespace {

// A video stored on its side, as phones record upright video, becomes an
// upright movie: a portrait stage, its pictures FFmpeg's turned decode (at
// the video's own rate, movie frame k shows video frame k), the same bytes
// on one thread as on several.
TEST_F(DriverTest, AVideoStoredOnItsSideBecomesAnUprightMovie) {
    fs::copy_file(kVideos / "turned90.mp4", dir_ / "turned90.mp4");
    queue();
    ConvertSettings options;
    options.frameRate = 25.0f;
    test::Bytes first;
    for (unsigned threads : {1u, 2u}) {
        convert(options, CompressionType::Lossless, nullptr, {}, threads);
        const SwfFile swf = readSwf(dir_ / "turned90.swf");
        EXPECT_TRUE(swf.valid && swf.width == 32 * 20 && swf.height == 48 * 20);
        EXPECT_LT(difference(swf, 0, gunzip(kVideos / "turned90.mp4.0.bgr.gz"), 0), 1.0);
        EXPECT_LT(difference(swf, 9, gunzip(kVideos / "turned90.mp4.9.bgr.gz"), 0), 1.0);
        if (threads == 1) first = test::readFile(dir_ / "turned90.swf");
    }
    EXPECT_EQ(test::readFile(dir_ / "turned90.swf"), first);
}

}  // namespace
}  // namespace vantrel

namespace vantrel {
namespace {

// The first picture of a movie stored losslessly with alpha: its size and
// its alpha, red, green, blue bytes, colours premultiplied.
struct StoredPicture {
    int width = 0;
    int height = 0;
    test::Bytes argb;
};

StoredPicture firstPicture(const SwfFile& swf) {
    StoredPicture picture;
    for (const SwfFile::Tag& tag : swf.tags) {
        if (tag.code != kDefineBitsLossless2) continue;
        picture.width = tag.body[3] | tag.body[4] << 8;
        picture.height = tag.body[5] | tag.body[6] << 8;
        picture.argb.resize(std::size_t(picture.width) * picture.height * 4);
        uLongf length = picture.argb.size();
        if (uncompress(picture.argb.data(), &length, tag.body.data() + 7, tag.body.size() - 7) !=
            Z_OK) {
            picture.argb.clear();
        }
        break;
    }
    return picture;
}

// The PSNR of a stored picture against blue, green, red, alpha bytes.
double psnr(const StoredPicture& picture, const test::Bytes& bgra) {
    if (picture.argb.size() != bgra.size() || bgra.empty()) return 0.0;
    double sum = 0.0;
    for (std::size_t i = 0; i < bgra.size(); ++i) {
        const double d = picture.argb[i] - bgra[i / 4 * 4 + 3 - i % 4];
        sum += d * d;
    }
    return sum == 0.0 ? INFINITY : 10.0 * std::log10(255.0 * 255.0 * bgra.size() / sum);
}

// Pictures and video frames larger than the box are scaled into it, the
// stage with them, as close to FFmpeg's scaler with the same filter as
// 40 dB: pictures premultiplied by alpha, each channel on its own; video
// frames in one call from their own colour format, then turned. A hard edge
// against transparent green leaves no green in the scaled edge. Those that
// fit keep every byte.
TEST_F(DriverTest, MaxSizeFitsPicturesAndVideosIntoTheBox) {
    const auto pictures = [](const char* size) {
        return std::string("format=gbrap,premultiply=inplace=1,scale=") + size +
               ":flags=lanczos+accurate_rnd+full_chroma_int+full_chroma_inp";
    };
    const auto video = [](const char* size) {
        return std::string("scale=") + size + ":flags=lanczos,format=bgr24";
    };
    const std::string edge =
        "-f lavfi -i color=size=61x33,format=rgba -vf \"geq=r='255*lt(X+2*Y,50)':"
        "g='255*gte(X+2*Y,50)':b=0:a='255*lt(X+2*Y,50)'\" -frames:v 1";
    const std::string clip = ":duration=0.2 -frames:v 5 -c:v ";
    const struct {
        const char* name;       // a folder of its own, and the file made in it
        std::string make;       // FFmpeg's arguments, or none for the test video
        int width, height;      // the stage; a source that fits keeps its size
        std::string reference;  // FFmpeg's filter, or none for the bytes unboxed
    } cases[] = {
        {"wide/walk1.png", "-f lavfi -i testsrc2=size=101x57,format=rgb24 -frames:v 1", 40, 23,
         pictures("40:23")},
        {"tall/walk1.png", "-f lavfi -i testsrc2=size=57x101,format=rgb24 -frames:v 1", 23, 40,
         pictures("23:40")},
        {"thin/walk1.png", "-f lavfi -i testsrc2=size=100x3,format=rgb24 -frames:v 1", 40, 1,
         pictures("40:1")},
        {"edge/walk1.png", edge, 40, 22, pictures("40:22")},
        {"one/walk1.png", "-f lavfi -i color=red:size=2x2,format=rgba,crop=1:1 -frames:v 1", 1, 1,
         ""},
        {"fits/walk1.png", "-f lavfi -i testsrc2=size=40x30 -frames:v 1", 40, 30, ""},
        {"wide/clip.mp4", "-f lavfi -i testsrc2=size=64x36" + clip + "libx264", 40, 23,
         video("40:23")},
        {"tall/clip.mkv", "-f lavfi -i testsrc2=size=36x64" + clip + "libx264", 23, 40,
         video("23:40")},
        // Shown 32 x 48: turned after scaling to 40 x 27.
        {"turned/turned90.mp4", "", 27, 40, video("40:27") + ",transpose=cclock"},
        {"fits/clip.avi", "-f lavfi -i testsrc2=size=40x24" + clip + "mpeg4", 40, 24, ""},
    };
    for (const auto& c : cases) {
        const fs::path path = dir_ / c.name;
        fs::create_directories(path.parent_path());
        if (c.make.empty()) {
            fs::copy_file(kVideos / path.filename(), path);
        } else {
            ASSERT_TRUE(test::ffmpeg(c.make + " '" + path.string() + "'")) << c.name;
        }
    }
    queue();
    ConvertSettings options;
    options.includeAlpha = true;
    std::map<std::string, test::Bytes> unboxed;
    for (const PictureBox box : {PictureBox{}, PictureBox{40, 40}}) {
        doc_.settings.maxSize = box;
        convert(options, CompressionType::Lossless);
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            const bool sequence = fs::path(c.name).extension() == ".png";
            const fs::path movie =
                (dir_ / c.name).parent_path() /
                (sequence ? "walk.swf" : fs::path(c.name).stem().string() + ".swf");
            if (!box.limits()) {
                unboxed[c.name] = test::readFile(movie);
                continue;
            }
            const SwfFile swf = readSwf(movie);
            ASSERT_TRUE(swf.valid);
            EXPECT_EQ(swf.width, c.width * 20);
            EXPECT_EQ(swf.height, c.height * 20);
            const StoredPicture picture = firstPicture(swf);
            ASSERT_EQ(picture.width, c.width);
            ASSERT_EQ(picture.height, c.height);
            if (c.reference.empty()) {
                EXPECT_EQ(test::readFile(movie), unboxed[c.name]);
                continue;
            }
            const fs::path reference = dir_ / "reference.bgra";
            ASSERT_TRUE(test::ffmpeg("-noautorotate -i '" + (dir_ / c.name).string() + "' -vf " +
                                     c.reference + " -frames:v 1 -pix_fmt bgra -f rawvideo '" +
                                     reference.string() + "'"));
            EXPECT_GE(psnr(picture, test::readFile(reference)), 40.0);
            if (std::string(c.name).find("edge") == 0) {
                for (std::size_t i = 2; i < picture.argb.size(); i += 4) {
                    ASSERT_EQ(picture.argb[i], 0) << "green at pixel " << i / 4;
                }
            }
        }
    }
}

}  // namespace
}  // namespace vantrel
