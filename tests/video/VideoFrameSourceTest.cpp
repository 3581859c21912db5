#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "support/Bytes.h"
#include "support/ScratchDir.h"
#include "support/Tools.h"
#include "video/VideoFrameSource.h"

namespace vantrel::test {
namespace {

std::string dataPath(const std::string& name) {
    return std::string(VANTREL_TEST_DATA) + "/video/" + name;
}

// FFmpeg's decode of one frame: 24-bit rows, blue, green, red.
std::vector<std::uint8_t> readReference(const std::string& video, int index) {
    return gunzipped(dataPath(video + "." + std::to_string(index) + ".bgr.gz"));
}

// Peak signal-to-noise ratio of the picture's colours against reference
// rows, in dB; infinite when they are equal.
double psnr(const RasterImage& picture, const std::vector<std::uint8_t>& reference) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(picture.pixels.data());
    double squares = 0.0;
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        for (std::size_t c = 0; c < 3; ++c) {
            const double d = double(bytes[4 * i + c]) - double(reference[3 * i + c]);
            squares += d * d;
        }
    }
    if (squares == 0.0) return INFINITY;
    return 10.0 * std::log10(255.0 * 255.0 * 3.0 * double(picture.pixels.size()) / squares);
}

// The reference pictures were made with FFmpeg 5.1; with its decoders and
// converter the grabbed frames equal them byte for byte.
bool sameFfmpegAsTheReferences() {
    return avcodec_version() >> 16 == 59 && swscale_version() >> 16 == 6;
}

bool allOpaque(const RasterImage& picture) {
    return std::all_of(picture.pixels.begin(), picture.pixels.end(),
                       [](std::uint32_t p) { return (p >> 24) == 0xFF; });
}

RasterImage sentinelPicture() {
    RasterImage picture;
    picture.resize(3, 2);
    std::iota(picture.pixels.begin(), picture.pixels.end(), 0x12345670u);
    return picture;
}

std::filesystem::path temporaryFolder() {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("vantrel-video-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    return folder;
}

bool samePicture(const RasterImage& a, const RasterImage& b) {
    return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
}

struct VideoCase {
    const char* file;
    std::int32_t width;
    std::int32_t height;
    double duration;
    std::int32_t frameCount;
    std::vector<int> references;  // rising indexes of frames with a reference picture
};

void PrintTo(const VideoCase& c, std::ostream* os) { *os << c.file; }

class VideoFile : public ::testing::TestWithParam<VideoCase> {
  protected:
    void SetUp() override { ASSERT_TRUE(source.open(dataPath(GetParam().file))); }

    // Every frame, grabbed in order by a source of its own.
    std::vector<RasterImage> allFrames() {
        VideoFrameSource forward;
        EXPECT_TRUE(forward.open(dataPath(GetParam().file)));
        std::vector<RasterImage> frames(GetParam().frameCount);
        for (int i = 0; i < GetParam().frameCount; ++i)
            EXPECT_TRUE(forward.grabFrame(i, frames[i]));
        return frames;
    }

    VideoFrameSource source;
};

TEST_P(VideoFile, ReportsSizeDurationAndFrameCount) {
    const VideoCase& c = GetParam();
    EXPECT_EQ(source.videoWidth(), c.width);
    EXPECT_EQ(source.videoHeight(), c.height);
    EXPECT_NEAR(source.duration(), c.duration, 1e-9);
    EXPECT_EQ(source.frameCount(), c.frameCount);
    EXPECT_TRUE(source.lengthNotes().empty());
}

// First, middle, last and both sides of a keyframe, then backwards.
TEST_P(VideoFile, GrabsEqualFfmpegsDecode) {
    const VideoCase& c = GetParam();
    std::vector<int> order = c.references;
    order.push_back(c.references[c.references.size() / 2]);
    order.push_back(c.references.front());
    RasterImage picture;
    for (int index : order) {
        SCOPED_TRACE("frame " + std::to_string(index));
        const std::vector<std::uint8_t> reference = readReference(c.file, index);
        ASSERT_EQ(reference.size(), std::size_t(3) * c.width * c.height);
        ASSERT_TRUE(source.grabFrame(index, picture));
        ASSERT_EQ(picture.width, c.width);
        ASSERT_EQ(picture.height, c.height);
        EXPECT_TRUE(allOpaque(picture));
        EXPECT_GE(psnr(picture, reference), 40.0);
        if (sameFfmpegAsTheReferences()) {
            EXPECT_EQ(psnr(picture, reference), INFINITY);
        }
    }
}

// Grabs in any order, with seeks back and far ahead, give the frames that a
// pass in order gives.
TEST_P(VideoFile, AnyOrderGivesTheFramesOfAPassInOrder) {
    const std::vector<RasterImage> frames = allFrames();
    std::vector<int> order(frames.size());
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(6));
    order.push_back(0);
    order.push_back(GetParam().frameCount - 1);
    RasterImage picture;
    for (int index : order) {
        ASSERT_TRUE(source.grabFrame(index, picture)) << "frame " << index;
        EXPECT_TRUE(samePicture(picture, frames[index])) << "frame " << index;
    }
}

// The driver's way: rising indexes, with gaps from none to far beyond a
// group of pictures.
TEST_P(VideoFile, RisingIndexesWithGapsGiveTheFramesOfAPassInOrder) {
    const std::vector<RasterImage> frames = allFrames();
    const int gaps[] = {0, 1, 4, 12, 29, 60};
    RasterImage picture;
    for (int index = 0, n = 0; index < GetParam().frameCount; index += 1 + gaps[n++ % 6]) {
        ASSERT_TRUE(source.grabFrame(index, picture)) << "frame " << index;
        EXPECT_TRUE(samePicture(picture, frames[index])) << "frame " << index;
    }
}

TEST_P(VideoFile, GrabPastTheLastFrameFailsAndLeavesThePicture) {
    const int last = GetParam().frameCount - 1;
    RasterImage picture;
    ASSERT_TRUE(source.grabFrame(last, picture));
    const RasterImage before = picture;
    const std::uint32_t* storage = picture.pixels.data();

    EXPECT_FALSE(source.grabFrame(last + 1, picture));
    EXPECT_FALSE(source.grabFrame(-1, picture));
    EXPECT_TRUE(samePicture(picture, before));
    EXPECT_EQ(picture.pixels.data(), storage);

    // Still usable after running into the end.
    ASSERT_TRUE(source.grabFrame(last, picture));
    EXPECT_TRUE(samePicture(picture, before));
    EXPECT_EQ(picture.pixels.data(), storage);
}

INSTANTIATE_TEST_SUITE_P(
    Videos, VideoFile,
    ::testing::Values(VideoCase{"mjpeg.avi", 65, 49, 0.4, 10, {0, 2, 5, 9}},
                      VideoCase{"mpeg4.avi", 64, 48, 1.6, 40, {0, 11, 12, 13, 25, 39}},
                      VideoCase{"mpeg1.mpg", 64, 48, 1.6, 40, {0, 11, 12, 13, 25, 39}},
                      VideoCase{
                          "mpeg2.mpeg", 64, 48, 40 * 1001 / 30000.0, 40, {0, 11, 12, 13, 25, 39}},
                      VideoCase{"odd.avi", 98, 74, 0.64, 16, {0, 5, 6, 15}},
                      VideoCase{"few.avi", 64, 48, 0.3, 3, {0, 1, 2}},
                      VideoCase{"tenseconds.avi", 32, 24, 10.0, 250, {0, 24, 25, 124, 249}},
                      VideoCase{"tenseconds.mpg", 32, 24, 10.0, 250, {0, 24, 25, 124, 249}},
                      VideoCase{"h264.mp4", 48, 32, 0.96, 24, {0, 9, 23}},
                      VideoCase{"h264.m4v", 48, 32, 0.96, 24, {0, 9, 23}},
                      VideoCase{"mpeg4.mov", 48, 32, 0.96, 24, {0, 9, 23}},
                      VideoCase{"h264.mkv", 48, 32, 0.96, 24, {0, 9, 23}},
                      VideoCase{"vp9.webm", 48, 32, 0.96, 24, {0, 9, 23}},
                      VideoCase{"wmv2.wmv", 48, 32, 0.96, 24, {0, 9, 23}},
                      VideoCase{"flv1.flv", 48, 32, 0.96, 24, {0, 9, 23}},
                      VideoCase{"theora.ogv", 48, 32, 0.96, 24, {0, 9, 23}},
                      VideoCase{"cut.mp4", 48, 32, 0.9, 22, {0, 1, 21}},
                      VideoCase{"vfr.mkv", 48, 32, 2.24, 20, {0, 10, 19}},
                      // Stored turned or mirrored: sizes and pictures as shown.
                      VideoCase{"turned90.mp4", 32, 48, 0.96, 24, {0, 9, 23}},
                      VideoCase{"turned180.mp4", 48, 32, 0.96, 24, {0, 9, 23}},
                      VideoCase{"turned270.mp4", 32, 48, 0.96, 24, {0, 9, 23}},
                      VideoCase{"turned90.mkv", 32, 48, 0.96, 24, {0, 9, 23}},
                      VideoCase{"mirrored.mp4", 48, 32, 0.96, 24, {0, 9, 23}},
                      VideoCase{"diagonal.mp4", 32, 48, 0.96, 24, {0, 9, 23}},
                      VideoCase{"oddturned.mp4", 27, 45, 0.96, 24, {0, 9, 23}}),
    [](const auto& info) {
        std::string name = info.param.file;
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });

TEST(VideoFrameSource, DurationIsCutToWholeMilliseconds) {
    VideoFrameSource source;
    for (const char* name : {"tenseconds.avi", "tenseconds.mpg"}) {
        ASSERT_TRUE(source.open(dataPath(name)));
        EXPECT_EQ(source.frameCount(), 250);
        EXPECT_DOUBLE_EQ(source.avgTimePerFrame(), 0.04);
        EXPECT_EQ(source.durationSeconds(), 10000 * double(0.001f));
        EXPECT_EQ(source.durationSeconds(), 10.000000474974513);
    }

    ASSERT_TRUE(source.open(dataPath("mpeg2.mpeg")));  // 1.334666... s
    EXPECT_EQ(source.durationSeconds(), 1334 * double(0.001f));
}

// Movie frame i at 15 frames per second shows the frame of a 25 fps video
// on screen i / 15 s in (at 0.2 s, the one that starts then).
TEST(VideoFrameSource, FramesAreFoundByTheTimeTheyAreShown) {
    VideoFrameSource source;
    ASSERT_TRUE(source.open(dataPath("tenseconds.avi")));
    const std::vector<std::int32_t> first = {0, 1, 3, 5};
    for (std::int32_t i = 0; i < 4; ++i) EXPECT_EQ(source.frameShownAt(i / 15.0), first[i]);
    EXPECT_EQ(source.frameShownAt(148 / 15.0), 246);
    EXPECT_EQ(source.frameShownAt(149 / 15.0), 248);
}

TEST(VideoFrameSource, GrabAtTimeTakesTheFrameShownThen) {
    VideoFrameSource source;
    ASSERT_TRUE(source.open(dataPath("mpeg4.avi")));
    RasterImage atTime, byIndex;
    ASSERT_TRUE(source.grabAtTime(0.5, atTime));  // 12.5 frame times
    ASSERT_TRUE(source.grabFrame(12, byIndex));
    EXPECT_TRUE(samePicture(atTime, byIndex));
    ASSERT_TRUE(source.grabAtTime(0.0, atTime));
    ASSERT_TRUE(source.grabFrame(0, byIndex));
    EXPECT_TRUE(samePicture(atTime, byIndex));
    EXPECT_FALSE(source.grabAtTime(-0.04, atTime));
    EXPECT_FALSE(source.grabAtTime(NAN, atTime));
    EXPECT_FALSE(source.grabAtTime(1e12, atTime));
}

// Ten frames 0.04 s apart from 0 s, then ten 0.2 s apart from 0.4 s (but one
// at 1.76 s). The MP4 states a length of 1.88 s, which ends before the last
// two frames are shown.
TEST(VideoFrameSource, UnevenlySpacedFramesAreFoundByTime) {
    const struct {
        double seconds;
        std::int32_t index;
    } shown[] = {{0.039, 0}, {0.04, 1}, {0.599, 10}, {0.6, 11},
                 {1.76, 17}, {9.0, 19}, {-0.01, -1}, {NAN, -1}};
    for (const char* name : {"vfr.mkv", "vfr.mp4"}) {
        SCOPED_TRACE(name);
        VideoFrameSource source;
        ASSERT_TRUE(source.open(dataPath(name)));
        EXPECT_TRUE(source.variableRate());
        EXPECT_EQ(source.frameCount(), 20);
        EXPECT_NEAR(source.duration(), 2.24, 1e-9);
        for (const auto& s : shown) EXPECT_EQ(source.frameShownAt(s.seconds), s.index) << s.seconds;
    }
    // Evenly spaced, also where an edit list drops the first keyframe.
    for (const char* name : {"mpeg1.mpg", "h264.mp4", "cut.mp4", "theora.ogv"}) {
        VideoFrameSource source;
        EXPECT_TRUE(source.open(dataPath(name)) && !source.variableRate()) << name;
    }
}

TEST(VideoFrameSource, BufferIsEmptyUntilAGrabAndAfterClose) {
    VideoFrameSource source;
    EXPECT_TRUE(source.isBufferEmpty());
    ASSERT_TRUE(source.open(dataPath("mjpeg.avi")));
    EXPECT_TRUE(source.isBufferEmpty());
    RasterImage picture;
    ASSERT_TRUE(source.grabFrame(3, picture));
    EXPECT_FALSE(source.isBufferEmpty());

    source.close();
    EXPECT_TRUE(source.isBufferEmpty());
    EXPECT_EQ(source.videoWidth(), 0);
    EXPECT_EQ(source.videoHeight(), 0);
    EXPECT_EQ(source.frameCount(), 0);
    EXPECT_EQ(source.durationSeconds(), 0.0);
    EXPECT_FALSE(source.grabFrame(0, picture));
    source.close();
}

TEST(VideoFrameSource, GrabsOfOneSizeReuseThePicturesStorage) {
    VideoFrameSource source;
    ASSERT_TRUE(source.open(dataPath("odd.avi")));
    RasterImage picture;
    ASSERT_TRUE(source.grabFrame(0, picture));
    const std::uint32_t* storage = picture.pixels.data();
    for (int i = 1; i < source.frameCount(); ++i) ASSERT_TRUE(source.grabFrame(i, picture));
    EXPECT_EQ(picture.pixels.data(), storage);
    EXPECT_EQ(picture.pixels.size(), std::size_t(98 * 74));
}

TEST(VideoFrameSource, ASecondOpenReplacesTheFirstVideo) {
    VideoFrameSource source;
    ASSERT_TRUE(source.open(dataPath("odd.avi")));
    RasterImage picture;
    ASSERT_TRUE(source.grabFrame(4, picture));
    ASSERT_TRUE(source.open(dataPath("mpeg1.mpg")));
    EXPECT_EQ(source.videoWidth(), 64);
    EXPECT_TRUE(source.isBufferEmpty());
    ASSERT_TRUE(source.grabFrame(25, picture));
    EXPECT_GE(psnr(picture, readReference("mpeg1.mpg", 25)), 40.0);

    EXPECT_FALSE(source.open(dataPath("notvideo.avi")));
    EXPECT_EQ(source.videoWidth(), 0);
    EXPECT_FALSE(source.grabFrame(0, picture));
}

TEST(VideoFrameSource, FilesThatAreNoVideoDoNotOpen) {
    for (const char* name : {"missing.avi", "notvideo.avi", "empty.mpeg"}) {
        SCOPED_TRACE(name);
        VideoFrameSource source;
        EXPECT_FALSE(source.open(dataPath(name)));
        EXPECT_EQ(source.videoWidth(), 0);
        EXPECT_EQ(source.videoHeight(), 0);
        EXPECT_EQ(source.frameCount(), 0);
        RasterImage picture = sentinelPicture();
        const RasterImage before = picture;
        EXPECT_FALSE(source.grabFrame(0, picture));
        EXPECT_FALSE(source.grabAtTime(0.0, picture));
        EXPECT_TRUE(samePicture(picture, before));
    }
}

long peakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Frames over the pictures' limit are refused at open, and nothing of their
// size is decoded (one 9000 x 8000 frame needs 100 MiB in the decoder alone).
TEST(VideoFrameSource, FramesOverThePictureLimitDoNotOpen) {
    const struct {
        const char* file;
        bool opens;
        FaultCode failure;
    } cases[] = {{"huge.avi", false, FaultCode::TooLarge},
                 {"notvideo.avi", false, FaultCode::Unreadable},
                 {"mjpeg.avi", true, FaultCode::Unreadable}};
    const long before = peakMemoryKiB();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        VideoFrameSource source;
        EXPECT_EQ(source.open(dataPath(c.file)), c.opens);
        if (!c.opens) {
            EXPECT_EQ(source.openFailure(), c.failure);
        }
    }
    EXPECT_LT(peakMemoryKiB() - before, 64 * 1024);
}

// Files of sound only, made by FFmpeg in the containers videos come in, are
// told apart from videos that cannot be read.
TEST(VideoFrameSource, FilesOfSoundOnlyHaveNoVideoStream) {
    const std::filesystem::path folder = temporaryFolder();
    for (const char* name : {"song.mp4", "song.mkv", "song.avi"}) {
        const std::string path = (folder / name).string();
        ASSERT_TRUE(ffmpeg("-f lavfi -i sine=duration=1 '" + path + "'"));
        VideoFrameSource source;
        EXPECT_FALSE(source.open(path));
        EXPECT_EQ(source.openFailure(), FaultCode::NoVideo) << name;
    }
    std::filesystem::remove_all(folder);
}

// A playlist would make FFmpeg open the files it names; only video
// containers are read.
TEST(VideoFrameSource, PlaylistsWithAVideoExtensionDoNotOpen) {
    const std::filesystem::path folder = temporaryFolder();
    std::filesystem::copy_file(dataPath("mjpeg.avi"), folder / "clip.avi",
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(folder / "list.avi") << "#EXTM3U\n#EXTINF:0.4,\nclip.avi\n#EXT-X-ENDLIST\n";
    std::ofstream(folder / "concat.mpg") << "ffconcat version 1.0\nfile clip.avi\n";

    VideoFrameSource source;
    EXPECT_FALSE(source.open((folder / "list.avi").string()));
    EXPECT_FALSE(source.open((folder / "concat.mpg").string()));
    EXPECT_TRUE(source.open((folder / "clip.avi").string()));
    std::filesystem::remove_all(folder);
}

// Opens the video and grabs every frame in order and some backwards. Each
// grab must end, with a whole picture of the video's size or with false
// and the picture as it was. Returns the number of frames grabbed.
int grabEverything(const std::string& path) {
    VideoFrameSource source;
    if (!source.open(path)) return 0;
    std::vector<int> order;
    for (int i = 0; i <= source.frameCount() + 2; ++i) order.push_back(i);
    order.insert(order.end(), {3, 0, source.frameCount() / 2, 1});
    int grabbed = 0;
    RasterImage picture = sentinelPicture();
    for (int index : order) {
        const RasterImage before = picture;
        if (source.grabFrame(index, picture)) {
            ++grabbed;
            EXPECT_EQ(picture.width, source.videoWidth());
            EXPECT_EQ(picture.height, source.videoHeight());
            EXPECT_TRUE(allOpaque(picture));
        } else {
            EXPECT_TRUE(samePicture(picture, before)) << "frame " << index;
        }
    }
    return grabbed;
}

TEST(VideoFrameSource, BrokenVideosGiveWholePicturesOrFalse) {
    for (const char* name : {"truncated.avi", "truncated.mpg", "damaged.avi"}) {
        SCOPED_TRACE(name);
        EXPECT_GT(grabEverything(dataPath(name)), 0);
    }
}

// The file is emptied while open: a grab that reads it from the start again
// fails, and so does every grab after it, without harm.
TEST(VideoFrameSource, AVideoEmptiedWhileOpenGivesFalse) {
    const std::filesystem::path folder = temporaryFolder();
    for (const char* name : {"mpeg4.avi", "mpeg1.mpg"}) {
        SCOPED_TRACE(name);
        const std::filesystem::path path = folder / name;
        std::filesystem::copy_file(dataPath(name), path,
                                   std::filesystem::copy_options::overwrite_existing);
        VideoFrameSource source;
        ASSERT_TRUE(source.open(path.string()));
        RasterImage picture;
        ASSERT_TRUE(source.grabFrame(30, picture));
        const RasterImage before = picture;
        std::ofstream(path, std::ios::trunc).close();
        EXPECT_FALSE(source.grabFrame(0, picture));  // read from the start again
        EXPECT_FALSE(source.grabFrame(5, picture));
        EXPECT_FALSE(source.grabFrame(39, picture));
        EXPECT_TRUE(samePicture(picture, before));
    }
    std::filesystem::remove_all(folder);
}

// Copies of the test videos cut short at several places, and with blocks of
// noise written over them.
TEST(VideoFrameSource, DamagedCopiesGiveWholePicturesOrFalse) {
    const std::filesystem::path folder = temporaryFolder();
    std::mt19937 noise(6);
    for (const char* name : {"mjpeg.avi", "mpeg4.avi", "mpeg1.mpg", "mpeg2.mpeg"}) {
        const std::vector<std::uint8_t> bytes = readFile(dataPath(name));
        ASSERT_FALSE(bytes.empty());
        const std::string extension = std::filesystem::path(name).extension().string();
        for (int k = 1; k <= 12; ++k) {
            std::vector<std::uint8_t> copy = bytes;
            if (k <= 4) {
                copy.resize(copy.size() * k / 5);
            } else {
                const std::size_t at = copy.size() * (k - 4) / 9;
                for (std::size_t i = at; i < std::min(copy.size(), at + 64); ++i) {
                    copy[i] = static_cast<std::uint8_t>(noise());
                }
            }
            const std::filesystem::path path = folder / ("copy" + std::to_string(k) + extension);
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(copy.data()),
                       static_cast<std::streamsize>(copy.size()));
            SCOPED_TRACE(std::string(name) + " copy " + std::to_string(k));
            grabEverything(path.string());
        }
    }
    std::filesystem::remove_all(folder);
}

// Damaged copies of MPEG-4, MPEG-1 and MPEG-2 videos, a block in the middle
// overwritten or cut out, and a damaged MPEG-1 video the fuzzer made, grabbed
// stepping back one frame at a time and in a scrambled order (back, repeated,
// far ahead, past the end): each grab gives the frame a pass in order gives
// at that index, or fails.
TEST(VideoFrameSource, DamagedVideosGiveTheFramesOfAPassInOrderOrFalse) {
    const std::filesystem::path folder = temporaryFolder();
    const struct {
        const char* file;
        double at;  // where the block starts, as a share of the file
        std::size_t length;
        bool cut;
    } cases[] = {{"tenseconds.avi", 0.3, 700, false}, {"mpeg4.avi", 0.4, 1000, false},
                 {"mpeg4.avi", 0.6, 517, true},       {"odd.avi", 0.5, 600, true},
                 {"mpeg1.mpg", 0.5, 1500, false},     {"mpeg2.mpeg", 0.5, 700, true},
                 {"damaged.mpg", 0.0, 0, false}};
    std::mt19937 random(6);
    for (const auto& c : cases) {
        std::vector<std::uint8_t> bytes = readFile(dataPath(c.file));
        const auto at = static_cast<std::ptrdiff_t>(c.at * double(bytes.size()));
        const auto end = bytes.begin() + at + static_cast<std::ptrdiff_t>(c.length);
        if (c.cut) {
            bytes.erase(bytes.begin() + at, end);
        } else {
            std::generate(bytes.begin() + at, end, [&] { return std::uint8_t(random()); });
        }
        const std::filesystem::path path = folder / (std::to_string(&c - cases) + c.file);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        SCOPED_TRACE(path.filename().string());

        VideoFrameSource forward;
        ASSERT_TRUE(forward.open(path.string()));
        std::vector<RasterImage> frames;
        for (RasterImage picture; forward.grabFrame(int(frames.size()), picture);) {
            frames.push_back(picture);
        }
        ASSERT_GT(frames.size(), 0u);
        // Steps back by one, then a scrambled order.
        const int count = int(frames.size());
        std::vector<int> order;
        for (int i = 1; i < std::min(count, 40); ++i) order.insert(order.end(), {i, i - 1});
        std::uniform_int_distribution<int> index(0, count + 2);
        for (int grab = 0; grab < std::min(count, 60) * 2; ++grab) order.push_back(index(random));
        VideoFrameSource source;
        ASSERT_TRUE(source.open(path.string()));
        RasterImage picture;
        for (int i : order) {
            if (source.grabFrame(i, picture)) {
                ASSERT_LT(i, count);
                ASSERT_TRUE(samePicture(picture, frames[i])) << "frame " << i;
            }
        }
    }
    std::filesystem::remove_all(folder);
}

// Where each video packet of a file starts, as FFmpeg lists them.
std::vector<std::size_t> packetPositions(const std::string& path) {
    std::vector<std::size_t> positions;
    for (const Packet& packet : videoPackets(path)) positions.push_back(packet.pos);
    return positions;
}

// A copy of an H.264 file at `path` with two bytes of the slice header of
// each of the `damaged` packets changed, so that those frames do not decode.
void writeDamagedSlices(const std::string& clean, const std::vector<std::size_t>& packets,
                        const std::vector<int>& damaged, const std::filesystem::path& path) {
    std::vector<std::uint8_t> bytes = readFile(clean);
    for (const int packet : damaged) {
        bytes.at(packets[packet] + 4) ^= 0xFF;
        bytes.at(packets[packet] + 5) ^= 0xFF;
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A 300-frame H.264 video with two bytes changed in the slice headers of one
// or two frames, which then do not decode: grabs far ahead in a freshly
// opened copy, where only frame 0 has been decoded, give the frames a
// straight decode gives, and nothing past its end.
TEST(VideoFrameSource, FarGrabsInADamagedVideoEqualAStraightDecode) {
    const std::filesystem::path folder = temporaryFolder();
    const std::string clean = (folder / "clean.mkv").string();
    ASSERT_TRUE(
        ffmpeg("-f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 300 -c:v libx264 "
               "-preset ultrafast -crf 30 '" +
               clean + "'"));
    const std::vector<std::size_t> packets = packetPositions(clean);
    ASSERT_EQ(packets.size(), 300u);
    const struct {
        std::vector<int> damaged;  // packets whose slice header is changed
        int frames;                // that a straight decode gives
    } cases[] = {{{100}, 299}, {{100, 200}, 298}};
    for (const auto& c : cases) {
        const std::filesystem::path path = folder / "damaged.mkv";
        writeDamagedSlices(clean, packets, c.damaged, path);
        SCOPED_TRACE(c.frames);

        VideoFrameSource straight;
        ASSERT_TRUE(straight.open(path.string()));
        std::vector<RasterImage> frames;
        for (RasterImage picture; straight.grabFrame(int(frames.size()), picture);) {
            frames.push_back(picture);
        }
        ASSERT_EQ(int(frames.size()), c.frames);
        for (const int index : {260, 294, 297, 298, 299}) {
            VideoFrameSource source;
            ASSERT_TRUE(source.open(path.string()));
            RasterImage picture;
            const bool grabbed = source.grabFrame(index, picture);
            EXPECT_EQ(grabbed, index < c.frames) << "frame " << index;
            if (grabbed && index < c.frames) {
                EXPECT_TRUE(samePicture(picture, frames[index])) << "frame " << index;
            }
        }
    }
    std::filesystem::remove_all(folder);
}

// An hour of H.264 at one frame a second: a grab an hour in, the first of a
// freshly opened source, seeks after a clean stretch instead of decoding the
// hour, and gives the frame a straight decode gives. With a frame that does
// not decode in that stretch it gives a straight decode's frame too.
TEST(VideoFrameSource, AGrabAnHourInSeeksAndEqualsAStraightDecode) {
    const std::filesystem::path folder = temporaryFolder();
    const std::string clean = (folder / "hour.mkv").string();
    ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=size=32x24:rate=1 -frames:v 3700 "
                       "-c:v libx264 -preset ultrafast -g 10 '" + clean + "'"));
    const std::vector<std::size_t> packets = packetPositions(clean);
    ASSERT_EQ(packets.size(), 3700u);
    const struct {
        std::vector<int> damaged;  // packets whose slice header is changed
        bool seeks;
    } cases[] = {{{}, true}, {{100}, false}};
    for (const auto& c : cases) {
        const std::filesystem::path path = folder / "damaged.mkv";
        writeDamagedSlices(clean, packets, c.damaged, path);
        SCOPED_TRACE(c.seeks);

        VideoFrameSource straight;
        ASSERT_TRUE(straight.open(path.string()));
        RasterImage expected;
        for (int index = 0; index <= 3600; ++index) {
            ASSERT_TRUE(straight.grabFrame(index, expected));
        }

        VideoFrameSource source;
        ASSERT_TRUE(source.open(path.string()));
        RasterImage picture;
        ASSERT_TRUE(source.grabFrame(source.frameShownAt(3600.0), picture));
        EXPECT_TRUE(samePicture(picture, expected));
        EXPECT_EQ(source.framesDecoded() < 400, c.seeks) << source.framesDecoded();
    }
    std::filesystem::remove_all(folder);
}

// Every frame grabbed in order on four decoder threads: clean videos, and
// those of codecs decoded on one thread, never ask to be decoded again on
// one; copies of H.264 videos with a block of noise in the middle do, at the
// latest once decoding has ended, and give no frame after that.
TEST(VideoFrameSource, DamageOnThreadsAsksForOneThread) {
    const std::filesystem::path folder = temporaryFolder();
    std::mt19937 noise(11);
    const struct {
        const char* file;
        double noiseAt;  // share of the file; 0 for none
    } cases[] = {{"h264.mp4", 0},    {"vp9.webm", 0},   {"mpeg4.avi", 0},  {"damaged.avi", 0},
                 {"damaged.mpg", 0}, {"h264.mp4", 0.5}, {"h264.mkv", 0.4}, {"h264.m4v", 0.6}};
    for (const auto& c : cases) {
        std::string path = dataPath(c.file);
        if (c.noiseAt > 0) {
            std::vector<std::uint8_t> bytes = readFile(path);
            const auto at = static_cast<std::size_t>(static_cast<double>(bytes.size()) * c.noiseAt);
            for (std::size_t i = at; i < std::min(bytes.size(), at + 256); ++i) {
                bytes[i] = static_cast<std::uint8_t>(noise());
            }
            path = (folder / c.file).string();
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        }
        VideoFrameSource source;
        source.setDecoderThreads(4);
        ASSERT_TRUE(source.open(path)) << c.file;
        RasterImage picture;
        for (std::int32_t i = 0; i < source.frameCount(); ++i) {
            const bool damageMet = source.restartOnOneThread();
            EXPECT_FALSE(source.grabFrame(i, picture) && damageMet) << c.file << " frame " << i;
        }
        source.endDecoding();
        EXPECT_EQ(source.restartOnOneThread(), c.noiseAt > 0) << c.file << " " << c.noiseAt;
    }
    std::filesystem::remove_all(folder);
}

// Clips made by FFmpeg in several containers, grabbed in orders that go
// back (after which decoding runs off the pass from the start) and far
// ahead: the frame shown at each time, before and past the end, is the one
// a freshly opened source names, and so is whether it grabs.
TEST(VideoFrameSource, TheFrameShownAtATimeDoesNotDependOnEarlierGrabs) {
    const ScratchDir folder;
    const std::string testsrc = "-f lavfi -i testsrc2=size=48x32:rate=25 -frames:v ";
    const struct {
        const char* file;
        int frames;
        std::string arguments;  // what ffmpeg makes the clip with
    } clips[] = {
        {"intra.flv", 19, "-c:v flv1 -g 1"},
        {"gop.flv", 19, "-c:v flv1 -g 5"},
        {"mjpeg.avi", 19, "-c:v mjpeg"},
        {"intra.mp4", 19, "-c:v libx264 -g 1"},
        {"bframes.mp4", 19, "-c:v libx264 -g 6 -bf 2"},
        {"png.mov", 19, "-c:v png"},
        {"intra.webm", 19, "-c:v libvpx -g 1"},
        {"intra.wmv", 19, "-c:v wmv2 -g 1"},
        {"intra.mpg", 19, "-c:v mpeg1video -g 1"},
        {"intra.ts", 19, "-c:v mpeg2video -g 1"},
        {"uneven.mkv", 19,
         "-vf \"setpts='if(lt(N,10),N*0.04,0.4+(N-10)*0.2)/TB'\" -fps_mode passthrough "
         "-c:v mjpeg"},
        // Long enough for grabs to leap ahead by the container's timestamps.
        {"long.mkv", 600, "-c:v libx264 -g 10 -preset ultrafast"},
    };
    const std::vector<std::vector<double>> orders = {
        {0.63, 0.05}, {0.95, 0.0, 0.47}, {0.05, 0.0}, {0.26, 0.9, 0.1}, {0.9, 0.5, 0.95}};
    for (const auto& clip : clips) {
        SCOPED_TRACE(clip.file);
        const std::string path = (folder.path() / clip.file).string();
        ASSERT_TRUE(ffmpeg(testsrc + std::to_string(clip.frames) + " " + clip.arguments + " '" +
                           path + "'"));
        VideoFrameSource opened;
        ASSERT_TRUE(opened.open(path));
        const double length = opened.duration();
        std::vector<double> times;
        for (const double share : {0.0, 0.3, 0.99, 1.0, 1.96, 3.95, 50.0}) {
            times.push_back(share * length);
        }
        std::vector<std::int32_t> fresh;
        std::vector<RasterImage> shown(times.size());
        for (std::size_t t = 0; t < times.size(); ++t) {
            VideoFrameSource source;
            ASSERT_TRUE(source.open(path));
            fresh.push_back(source.frameShownAt(times[t]));
            ASSERT_TRUE(source.grabFrame(fresh.back(), shown[t])) << times[t];
        }
        EXPECT_EQ(fresh.back(), clip.frames - 1);
        for (const std::vector<double>& order : orders) {
            for (std::size_t t = 0; t < times.size(); ++t) {
                VideoFrameSource source;
                ASSERT_TRUE(source.open(path));
                RasterImage picture;
                std::string grabs;
                for (const double share : order) {
                    const auto index = static_cast<std::int32_t>(share * clip.frames);
                    grabs += " " + std::to_string(index);
                    ASSERT_TRUE(source.grabFrame(index, picture)) << grabs;
                }
                const std::int32_t index = source.frameShownAt(times[t]);
                EXPECT_EQ(index, fresh[t]) << "after grabs" << grabs << ", at " << times[t] << " s";
                EXPECT_TRUE(source.grabFrame(index, picture) && samePicture(picture, shown[t]))
                    << "after grabs" << grabs << ", at " << times[t] << " s";
            }
        }
    }
}

}  // namespace
}  // namespace vantrel::test
