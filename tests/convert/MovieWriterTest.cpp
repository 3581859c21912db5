#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/Bytes.h"
#include "support/FakeFrameSource.h"
#include "support/Faults.h"
#include "support/Inputs.h"
#include "support/Jobs.h"
#include "support/SwfFile.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

class MovieWriting : public FakeVideoTest {
  protected:
    // The sequence of the pictures `numbers` named `name` in the folder.
    JobList sequence(const std::string& name, const std::vector<std::string>& numbers) const {
        return {{sequenceJob((dir_ / name).string(), "bmp", numbers)}, {}};
    }
};

// The sound goes into the first frame even when its picture cannot be read;
// the first picture read is placed, not moved: a move at an empty depth
// shows nothing.
TEST_F(MovieWriting, AnUnreadableFirstPictureWithSoundStillPlacesTheFirstPicture) {
    fs::create_directories(dir_ / "w1.bmp");  // not a readable picture
    copy("convert/green6x5.bmp", "w2.bmp");
    copy("convert/tone.mp3", "w.mp3");
    const JobOutcome job = convert(sequence("w", {"1", "2"})).at(0);
    ASSERT_EQ(job.missingPictures.size(), 1u);
    const SwfFile swf = readSwf(dir_ / "w.swf");
    ASSERT_TRUE(swf.valid);
    const std::vector<std::uint16_t> expected = {
        tag::DefineSound, tag::StartSound,   tag::ShowFrame, tag::DefineBitsJpeg2,
        tag::DefineShape, tag::PlaceObject2, tag::ShowFrame, 0};
    ASSERT_EQ(swf.codes(), expected);
    EXPECT_EQ(swf.tags[0].body[0], 1);  // DefineSound id 1
    EXPECT_EQ(swf.tags[5].body, hex("06 01 00 03 00 00"));
    EXPECT_EQ(swf.width, 120);  // the last picture's size
}

TEST_F(MovieWriting, ConvertingAgainOverwritesTheMovieAndItsPage) {
    copy("convert/red4x3.bmp", "x1.bmp");
    convert();
    const Bytes first = readFile(dir_ / "x.swf");
    fs::remove(dir_ / "x.html");
    convert();
    EXPECT_EQ(readFile(dir_ / "x.swf"), first);
    EXPECT_TRUE(fs::exists(dir_ / "x.html"));
}

TEST_F(MovieWriting, AnUnwritableMovieFailsAndWritesNoPage) {
    const JobOutcome job = convert(sequence("missing/m", {"1"})).at(0);
    EXPECT_EQ(job.status, JobOutcome::Status::Failed);
    ASSERT_TRUE(job.fault);
    EXPECT_EQ(job.fault->step, FaultStep::WriteFile);
    EXPECT_EQ(job.fault->path, (dir_ / "missing" / "m.swf").string());
    EXPECT_EQ(job.fault->detail, std::strerror(ENOENT));
    EXPECT_TRUE(job.pagePath.empty());
}

// A job in which no picture could be read writes nothing, and leaves the
// movie and page of an earlier run as they were.
TEST_F(MovieWriting, NoReadablePictureWritesNothingAndKeepsEarlierFiles) {
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(24);
    settings_.compression = CompressionType::Lossless;
    settings_.frameRate = 5.0f;
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
            // Every grab of the video asks for frame 0, which fails.
            const JobOutcome job =
                video ? convertFake({1.0, 1, 0}) : convert(sequence("gone", {"1", "2"})).at(0);
            EXPECT_EQ(job.status, JobOutcome::Status::Failed);
            ASSERT_TRUE(job.fault);
            EXPECT_EQ(job.fault->code, FaultCode::NoPictureRead);
            EXPECT_TRUE(job.outputPath.empty() && job.pagePath.empty());
            EXPECT_EQ(scratch_.entries(), earlier ? 2u : 0u);
            for (const fs::path& file : files) {
                if (!earlier) continue;
                EXPECT_EQ(readFile(file), Bytes({'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
                EXPECT_EQ(fs::last_write_time(file), past) << file;
            }
        }
    }
}

// Movies that players play badly are warned of once: more frames than
// Flash Player plays, a rate over 60.
TEST_F(MovieWriting, MoviesPlayersPlayBadlyAreWarnedOf) {
    const struct {
        double duration;
        float rate;
        std::vector<std::string> warnings;
    } cases[] = {
        {1.0, 60.0f, {}},
        {1.0, 61.0f, {"fast-rate 61"}},
        {16001 / 15.0, 15.0f, {"many-frames 16001"}},
    };
    settings_.videoSound = false;
    settings_.compression = CompressionType::Lossless;
    for (const auto& c : cases) {
        settings_.frameRate = c.rate;
        const JobOutcome job = convertFake({c.duration, 10});
        EXPECT_EQ(job.status, JobOutcome::Status::Converted);
        EXPECT_EQ(briefs(job.warnings), c.warnings);
    }
}

TEST_F(MovieWriting, AnUnusableSoundFileIsAWarning) {
    copy("convert/red4x3.bmp", "s1.bmp");
    std::ofstream(dir_ / "s.mp3") << "not an mp3 file at all";
    const JobOutcome job = convert().at(0);
    EXPECT_EQ(job.status, JobOutcome::Status::Converted);
    EXPECT_TRUE(job.soundPath.empty());
    ASSERT_EQ(job.warnings.size(), 1u);
    EXPECT_EQ(job.warnings[0].step, FaultStep::LoadSound);
    EXPECT_EQ(job.warnings[0].path, (dir_ / "s.mp3").string());
    EXPECT_EQ(readSwf(dir_ / "s.swf").count(tag::DefineSound), 0u);
}

}  // namespace
}  // namespace vantrel::test
