#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "support/Bytes.h"
#include "support/Faults.h"
#include "support/Inputs.h"
#include "support/Jobs.h"
#include "support/SwfFile.h"
#include "support/Tools.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

using SequenceConversion = InputsTest;

TEST_F(SequenceConversion, SequenceBecomesOneMovieWithSoundAndPage) {
    copy("convert/red4x3.bmp", "walk001.bmp");
    copy("convert/blue4x3.bmp", "walk002.bmp");
    copy("convert/red4x3.bmp", "walk010.bmp");
    copy("convert/tone.mp3", "walk.mp3");
    const std::vector<JobOutcome> outcomes = convert();
    ASSERT_EQ(outcomes.size(), 1u);
    const JobOutcome& job = outcomes[0];
    EXPECT_EQ(job.status, JobOutcome::Status::Converted) << reasonOf(job);
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
        tag::DefineBitsJpeg2, tag::DefineShape,     tag::PlaceObject2,
        tag::DefineSound,     tag::StartSound,      tag::ShowFrame,
        tag::DefineBitsJpeg2, tag::DefineShape,     tag::PlaceObject2,
        tag::ShowFrame,       tag::DefineBitsJpeg2, tag::DefineShape,
        tag::PlaceObject2,    tag::ShowFrame,       0};
    EXPECT_EQ(swf.codes(), expected);
    EXPECT_EQ(swf.tags[3].body[0], 3);  // DefineSound id after the first frame's two
    EXPECT_TRUE(fs::exists(dir_ / "walk.html"));
}

TEST_F(SequenceConversion, StorageFollowsTheOptions) {
    copy("convert/red4x3.tga", "a1.tga");
    copy("convert/red4x3.jpg", "b1.jpg");
    const struct {
        CompressionType compression;
        bool alpha;
        std::uint16_t code;
    } cases[] = {{CompressionType::Jpeg, false, tag::DefineBitsJpeg2},
                 {CompressionType::Jpeg, true, tag::DefineBitsJpeg3},
                 {CompressionType::Lossless, false, tag::DefineBitsLossless},
                 {CompressionType::Lossless, true, tag::DefineBitsLossless2}};
    settings_.outputHtml = false;
    for (const auto& c : cases) {
        settings_.compression = c.compression;
        settings_.includeAlpha = c.alpha;
        ASSERT_EQ(convert().size(), 2u);
        for (const char* name : {"a.swf", "b.swf"}) {
            const SwfFile swf = readSwf(dir_ / name);
            ASSERT_TRUE(swf.valid) << name;
            EXPECT_EQ(swf.tags[0].code, c.code) << name;
        }
    }
    EXPECT_FALSE(fs::exists(dir_ / "a.html"));
}

// Each picture is read from the file it was found as (w1.bmp loses to
// w1.tga), whatever the kind of the file that started its sequence.
TEST_F(SequenceConversion, PicturesOfMixedKindsAreReadFromTheirOwnFiles) {
    copy("convert/red4x3.tga", "w1.tga");
    copy("convert/green6x5.bmp", "w1.bmp");
    copy("convert/blue4x3.bmp", "w2.bmp");
    copy("convert/red4x3.jpg", "w3.jpg");
    const JobOutcome job = convert().at(0);
    EXPECT_EQ(job.status, JobOutcome::Status::Converted);
    EXPECT_EQ(briefs(job.missingPictures), std::vector<std::string>{});
    EXPECT_EQ(readSwf(job.outputPath).count(tag::DefineBitsJpeg2), 3u);
    EXPECT_TRUE(job.warnings.empty());  // no 6 x 5 picture among them
}

// Lossless frames of opaque pictures hold their pixels exactly, here as
// ImageMagick decodes the PNG files (image/*.rgba).
TEST_F(SequenceConversion, PngAndJpegSequencesConvert) {
    const char* const pngs[] = {"png_rgb8.png", "png_palette8.png", "png_grey4.png"};
    for (int k = 0; k < 3; ++k) {
        copy("image/" + std::string(pngs[k]), "walk" + std::to_string(k + 1) + ".png");
    }
    copy("convert/red4x3.jpg", "x1.jpeg");
    copy("convert/red4x3.jpg", "x2.jpeg");
    settings_.outputHtml = false;
    settings_.compression = CompressionType::Lossless;
    const std::vector<JobOutcome> outcomes = convert();
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].frameCount, 2);
    const SwfFile swf = readSwf(dir_ / "walk.swf");
    ASSERT_TRUE(swf.valid);
    std::vector<LosslessPicture> pictures = losslessPictures(swf);
    ASSERT_EQ(pictures.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        Bytes& pixels = pictures[k].argb;
        for (std::size_t i = 0; i < pixels.size(); i += 4) {
            std::rotate(pixels.begin() + i, pixels.begin() + i + 1, pixels.begin() + i + 4);
        }
        EXPECT_EQ(pixels, readFile(kTestData / "image" / (pngs[k] + std::string(".rgba"))))
            << pngs[k];
    }
}

// The stage is the last picture's size; pictures of another size are named
// in warnings, only the first few of a long run.
TEST_F(SequenceConversion, FrameSizeIsTheLastDecodedPicturesAndOtherSizesAreWarnedOf) {
    const std::string odd = " 4 3 6 5 4 3";  // its size, the stage, its size as stored
    const std::map<int, std::vector<std::string>> warnings = {
        {1, {"size-differs s1.bmp" + odd}},
        {4,
         {"size-differs s1.bmp" + odd, "size-differs s2.bmp" + odd, "size-differs s3.bmp" + odd,
          "size-differs s4.bmp" + odd}},
        {5,
         {"size-differs s1.bmp" + odd, "size-differs s2.bmp" + odd, "size-differs s3.bmp" + odd,
          "size-differs 2"}}};
    for (const auto& [small, expected] : warnings) {
        for (int k = 1; k <= small; ++k)
            copy("convert/red4x3.bmp", "s" + std::to_string(k) + ".bmp");
        copy("convert/green6x5.bmp", "s" + std::to_string(small + 1) + ".bmp");
        EXPECT_EQ(briefs(convert().at(0).warnings), expected);
        const SwfFile swf = readSwf(dir_ / "s.swf");
        EXPECT_EQ(swf.width, 120);
        EXPECT_EQ(swf.height, 100);
    }
    // Fitted into a box, each is named with its file's size and the size it
    // was scaled to: 4 x 3 to 3 x 2, beside the stage 6 x 5 scaled to 3 x 3.
    settings_.maxSize = {3, 3};
    const JobOutcome job = convert().at(0);
    ASSERT_EQ(job.warnings.size(), 4u);
    EXPECT_EQ(job.warnings[0].values, (std::array<double, 6>{4, 3, 3, 3, 3, 2}));
}

// ImageMagick's palette pictures: one whose text chunk has a bad checksum
// is read without it, with a warning; one with a bad palette checksum is not
// read. A rate the movie stores more than 0.5 % off (it has 1/256 steps) is
// a warning too, of the plan as well.
TEST_F(SequenceConversion, DroppedChunksAndChangedRatesAreWarnings) {
    const fs::path png = dir_ / "w1.png";
    ASSERT_TRUE(magick("-size 4x3 xc:red -set comment hi PNG8:" + png.string()));
    const Bytes good = readFile(png);
    scratch_.file("w1.png", withBadChecksum(good, "tEXt"));
    scratch_.file("w2.png", withBadChecksum(good, "PLTE"));
    const std::string dropped = "chunk-dropped w1.png";
    const std::pair<float, std::vector<std::string>> cases[] = {
        {15.0f, {dropped}},
        {29.97f, {dropped}},
        {0.01f, {"rate-changed 0.01 0.0078125", dropped}},
        {0.3f, {"rate-changed 0.3 0.296875", dropped}},
    };
    for (const auto& [rate, warnings] : cases) {
        settings_.frameRate = rate;
        const JobOutcome job = convert().at(0);
        EXPECT_EQ(briefs(job.warnings), warnings) << rate;
        EXPECT_EQ(job.missingPictures.size(), 1u);
        EXPECT_EQ(briefs(plannedReport(planBatch(queued(), settings_)).jobs[0].warnings),
                  std::vector<std::string>(warnings.begin(), warnings.end() - 1));
    }
}

TEST_F(SequenceConversion, APipeNamedLikeAPictureDoesNotBlock) {
    copy("convert/red4x3.bmp", "p1.bmp");
    ASSERT_EQ(::mkfifo((dir_ / "p2.bmp").c_str(), 0600), 0);
    const JobOutcome job =
        convert(JobList{{sequenceJob((dir_ / "p").string(), "bmp", {"1", "2"})}, {}}).at(0);
    EXPECT_EQ(job.status, JobOutcome::Status::Converted);
    ASSERT_EQ(job.missingPictures.size(), 1u);
    EXPECT_EQ(job.missingPictures[0].detail, "not a regular file");
}

// A cut keeps the part asked for: the pictures count at the rate (picture
// k at k / rate), and the companion sound starts with the part and lasts as
// long as it. A start past the pictures' end skips the job.
TEST_F(SequenceConversion, ACutKeepsThePartAskedFor) {
    ASSERT_TRUE(ffmpeg(numberedFrames(10, 3.0) + "-start_number 0", dir_ / "walk%03d.bmp"));
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=duration=3", dir_ / "walk.mp3"));
    const struct {
        float rate;
        double start;
        std::optional<double> end;
        int first;  // the first picture; -1: skipped
        int pictures;
        double sound;  // seconds
    } cases[] = {
        {10, 2, {}, 20, 10, 1.0}, {10, 2.5, 4, 25, 5, 0.5}, {5, 1.1, 3, 5, 9, 1.8},
        {10, 0, 1.5, 0, 15, 1.5}, {10, 4, {}, -1, 0, 0},
    };
    settings_.outputHtml = false;
    settings_.compression = CompressionType::Lossless;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        settings_.cutStart = c.start;
        settings_.cutEnd = c.end;
        settings_.frameRate = c.rate;
        const PlannedJob job = planned(queued()).at(0);
        if (c.first < 0) {
            ASSERT_TRUE(job.refusal);
            EXPECT_EQ(job.refusal->status, JobOutcome::Status::Skipped);
            EXPECT_EQ(job.refusal->fault.code, FaultCode::StartPastEnd);
            continue;
        }
        const JobOutcome outcome = convertSequence(job, settings_, nullptr, 2);
        ASSERT_EQ(outcome.status, JobOutcome::Status::Converted) << reasonOf(outcome);
        const SwfFile swf = readSwf(outcome.outputPath);
        std::vector<int> expected(std::size_t(c.pictures));
        std::iota(expected.begin(), expected.end(), c.first);
        EXPECT_EQ(framesShown(swf), expected);
        EXPECT_NEAR(swf.soundSamples() / 44100.0, c.sound, 1152 / 44100.0 + 0.002);
    }
}

}  // namespace
}  // namespace vantrel::test
