#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <cmath>
#include <memory>

#include "support/Faults.h"
#include "support/Bytes.h"
#include "support/ScratchDir.h"
#include "swf/ShapeTags.h"
#include "swf/SwfMovie.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

Bytes header(std::uint32_t length, std::int32_t w, std::int32_t h, std::uint16_t rate,
             std::uint16_t frames) {
    SwfStream s;
    writeMovieHeader(s, length, w, h, rate, frames);
    return Bytes(s.bytes(), s.bytes() + s.count());
}

// A tag whose body is an arbitrary payload, for checking splicing.
class PayloadTag : public SwfTag {
public:
    explicit PayloadTag(const Bytes& payload) : payload_(payload) {}
    void write(SwfStream& out) const override {
        SwfStream body;
        body.addReference(payload_.data(), static_cast<std::uint32_t>(payload_.size()));
        writeTagRecord(out, TagCode::DefineBitsJpeg2, body);
    }

private:
    const Bytes& payload_;
};

TEST(SwfMovie, EmptyMovieIsTwentyThreeBytes) {
    ScratchDir dir;
    SwfMovie movie;
    const WriteResult r = movie.write(dir.path() / "empty.swf", 0, 0, 3840);
    ASSERT_TRUE(r.written) << words(r.fault);
    EXPECT_EQ(readFile(dir.path() / "empty.swf"),
              hex("46 57 53 04 17 00 00 00 78 00 00 00 00 00 00 00 00 00 0F 00 00 00 00"));
    EXPECT_EQ(dir.entries(), 1u);  // no temporary file left
}

TEST(SwfMovie, HeaderExamples) {
    EXPECT_EQ(header(12345, 6400, 4800, 3840, 10),
              hex("46 57 53 04 39 30 00 00 78 00 03 20 00 00 09 60 00 00 0F 0A 00"));
    EXPECT_EQ(header(1000, 2000, 1000, 3200, 1),
              hex("46 57 53 04 E8 03 00 00 78 00 00 FA 00 00 01 F4 00 80 0C 01 00"));
    // 819 pixels still fit the fixed 15-bit fields.
    EXPECT_EQ(header(0, 16380, 20, 3840, 0).size(), 21u);
}

TEST(SwfMovie, LargeFrameSizesWidenTheHeaderRect) {
    for (auto [w, h, size] : {std::tuple{820, 600, 21u}, std::tuple{1638, 1, 21u},
                              std::tuple{1920, 1080, 22u}, std::tuple{4000, 3000, 22u}}) {
        const Bytes bytes = header(0, w * 20, h * 20, 3840, 0);
        EXPECT_EQ(bytes.size(), size) << w << "x" << h;
        BitReader bits(bytes.data() + 8, bytes.size() - 8);
        const unsigned n = bits.readUBits(5);
        EXPECT_EQ(bits.readSBits(n), 0);
        EXPECT_EQ(bits.readSBits(n), w * 20);
        EXPECT_EQ(bits.readSBits(n), 0);
        EXPECT_EQ(bits.readSBits(n), h * 20);
        EXPECT_EQ(bits.bytePosition(), bytes.size() - 12);
    }
}

TEST(SwfMovie, CountsOnlyShowFrames) {
    SwfMovie movie;
    movie.addTag(makePictureShape(movie.nextCharacterId(), 1, 10, 10));
    movie.addTag(std::make_unique<PlaceObject2Tag>(true, false, 1, 1, SwfMatrix::identity()));
    EXPECT_EQ(movie.frameCount(), 0);
    movie.addTag(std::make_unique<ShowFrameTag>());
    EXPECT_EQ(movie.frameCount(), 1);
}

TEST(SwfMovie, FileLengthCountsSplicedPayloadsAndIdsRestart) {
    ScratchDir dir;
    const Bytes payload(5000, 0xAB);
    SwfMovie movie;
    EXPECT_EQ(movie.nextCharacterId(), 1);
    EXPECT_EQ(movie.nextCharacterId(), 2);
    movie.addTag(std::make_unique<PayloadTag>(payload));
    movie.addTag(std::make_unique<ShowFrameTag>());
    const fs::path path = dir.path() / "payload.swf";
    ASSERT_TRUE(movie.write(path, 200, 200, 3840).written);
    const Bytes file = readFile(path);
    ASSERT_EQ(file.size(), 21u + 6 + 5000 + 2 + 2);
    EXPECT_EQ(file[4] | file[5] << 8 | file[6] << 16 | file[7] << 24, static_cast<int>(file.size()));
    EXPECT_EQ(file[19], 1);                                     // one frame
    EXPECT_EQ(Bytes(file.begin() + 21, file.begin() + 27), hex("7F 05 88 13 00 00"));
    EXPECT_EQ(file[27], 0xAB);
    EXPECT_EQ(Bytes(file.end() - 4, file.end()), hex("40 00 00 00"));
    EXPECT_EQ(movie.nextCharacterId(), 1);
}

TEST(SwfMovie, UncreatableFileIsReportedAndLeavesNothing) {
    ScratchDir dir;
    SwfMovie missingFolder;
    const WriteResult r = missingFolder.write(dir.path() / "no" / "x.swf", 20, 20, 3840);
    EXPECT_FALSE(r.written);
    EXPECT_EQ(r.fault.step, FaultStep::WriteFile);
    EXPECT_EQ(r.fault.detail, "No such file or directory");
    EXPECT_EQ(missingFolder.nextCharacterId(), 1);  // ids restart all the same

    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    const fs::path existing = dir.path() / "x.swf";
    { std::FILE* f = std::fopen(existing.c_str(), "wb"); std::fputs("old", f); std::fclose(f); }
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    SwfMovie readOnly;
    const WriteResult denied = readOnly.write(existing, 20, 20, 3840);
    EXPECT_FALSE(denied.written);
    EXPECT_EQ(denied.fault.detail, "Permission denied");
    fs::permissions(dir.path(), fs::perms::owner_all);
    EXPECT_EQ(readFile(existing), hex("6F 6C 64"));  // "old", untouched
    EXPECT_EQ(dir.entries(), 1u);
}

TEST(SwfMovie, AFailedRenameLeavesTheTargetAndNoTemporaryFile) {
    ScratchDir dir;
    const fs::path target = dir.path() / "x.swf";
    fs::create_directories(target / "inside");  // a folder cannot be replaced by a file
    SwfMovie movie;
    const WriteResult r = movie.write(target, 20, 20, 3840);
    EXPECT_FALSE(r.written);
    EXPECT_EQ(r.fault.step, FaultStep::WriteFile);
    EXPECT_EQ(r.fault.path, target.string());
    EXPECT_TRUE(fs::is_directory(target / "inside"));
    EXPECT_EQ(dir.entries(), 1u);
}

TEST(SwfMovie, TheLongestFileNamesCanBeWritten) {
    ScratchDir dir;
    const fs::path target = dir.path() / (std::string(251, 'w') + ".swf");
    SwfMovie movie;
    const WriteResult r = movie.write(target, 20, 20, 3840);
    EXPECT_TRUE(r.written) << words(r.fault);
    EXPECT_EQ(readFile(target).size(), 23u);
}

TEST(SwfMovie, ReplacesAnExistingFile) {
    ScratchDir dir;
    const fs::path path = dir.path() / "x.swf";
    { std::FILE* f = std::fopen(path.c_str(), "wb"); std::fputs("an older, longer movie", f); std::fclose(f); }
    SwfMovie movie;
    ASSERT_TRUE(movie.write(path, 0, 0, 3840).written);
    EXPECT_EQ(readFile(path).size(), 23u);
    EXPECT_EQ(dir.entries(), 1u);
}

// Rates a header cannot hold come out as 0, which the movie refuses.
TEST(SwfMovie, HeaderRates) {
    const std::pair<float, std::int32_t> cases[] = {
        {15.0f, 3840}, {12.5f, 3200}, {29.97f, 7672}, {0.01f, 2}, {255.0f, 65280},
        {0.0f, 0},     {-5.0f, 0},    {256.0f, 0},    {1e30f, 0}, {std::nanf(""), 0}};
    for (const auto& [rate, stored] : cases) EXPECT_EQ(headerRate(rate), stored) << rate;
}

TEST(SwfMovie, RefusesValuesTheHeaderCannotHold) {
    ScratchDir dir;
    const fs::path path = dir.path() / "x.swf";
    SwfMovie movie;
    for (std::int32_t rate : {0, -256, 0x10000}) {
        const WriteResult r = movie.write(path, 20, 20, rate);
        EXPECT_FALSE(r.written) << rate;
        EXPECT_NE(r.fault.detail.find("frame rate"), std::string::npos);
    }
    for (int i = 0; i < 65536; ++i) movie.addTag(std::make_unique<ShowFrameTag>());
    const WriteResult tooLong = movie.write(path, 20, 20, 3840);
    EXPECT_FALSE(tooLong.written);
    EXPECT_NE(tooLong.fault.detail.find("65536 frames"), std::string::npos) << tooLong.fault.detail;
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(dir.entries(), 0u);
}

TEST(SwfMovie, RefusesMoreCharactersThanIdsCanName) {
    ScratchDir dir;
    SwfMovie movie;
    for (int i = 0; i < 65535; ++i) movie.nextCharacterId();
    EXPECT_TRUE(movie.write(dir.path() / "ok.swf", 20, 20, 3840).written);
    for (int i = 0; i < 65536; ++i) movie.nextCharacterId();
    const WriteResult r = movie.write(dir.path() / "x.swf", 20, 20, 3840);
    EXPECT_FALSE(r.written);
    EXPECT_NE(r.fault.detail.find("too many pictures"), std::string::npos) << r.fault.detail;
}

// A tag that claims a payload far larger than the memory behind it: only a
// writer that refuses it before writing can pass.
class OversizedTag : public SwfTag {
public:
    void write(SwfStream& out) const override {
        SwfStream body;
        body.addReference(&byte_, 0xFFFFFFF0u);
        writeTagRecord(out, TagCode::DefineBitsJpeg2, body);
    }

private:
    std::uint8_t byte_ = 0;
};

// Streamed as the movie is built, or kept and written at the end: the same
// file, whether the header room kept for the first frame size fits the
// final one, is too small, or too large.
TEST(SwfMovie, StreamingWritesWhatKeepingWrites) {
    struct Case {
        std::int32_t roomWidth, roomHeight, width, height;
    };
    const Bytes payload(3000, 0x5A);
    for (const Case c : {Case{6400, 4800, 6400, 4800}, Case{400, 300, 40000, 30000},
                         Case{40000, 30000, 400, 300}, Case{0, 0, 1 << 29, 20}}) {
        ScratchDir dir;
        auto build = [&](SwfMovie& movie) {
            for (int frame = 0; frame < 3; ++frame) {
                movie.addTag(std::make_unique<PayloadTag>(payload));
                movie.addTag(std::make_unique<ShowFrameTag>());
            }
        };
        SwfMovie kept;
        build(kept);
        ASSERT_TRUE(kept.write(dir.path() / "kept.swf", c.width, c.height, 3840).written);
        SwfMovie streamed;
        Fault error;
        ASSERT_TRUE(streamed.streamTo(dir.path() / "streamed.swf", c.roomWidth, c.roomHeight, error));
        build(streamed);
        EXPECT_TRUE(streamed.tags().empty());
        ASSERT_TRUE(streamed.write(dir.path() / "streamed.swf", c.width, c.height, 3840).written);
        EXPECT_EQ(readFile(dir.path() / "streamed.swf"), readFile(dir.path() / "kept.swf"))
            << c.roomWidth << " -> " << c.width;
        EXPECT_EQ(dir.entries(), 2u);  // no temporary file left
    }
}

TEST(SwfMovie, AStreamedMovieThatIsRefusedLeavesNoFile) {
    ScratchDir dir;
    const fs::path path = dir.path() / "x.swf";
    Fault error;
    SwfMovie badRate;
    ASSERT_TRUE(badRate.streamTo(path, 20, 20, error));
    badRate.addTag(std::make_unique<ShowFrameTag>());
    EXPECT_NE(badRate.write(path, 20, 20, 0).fault.detail.find("frame rate"), std::string::npos);
    EXPECT_EQ(dir.entries(), 0u);

    for (bool streaming : {true, false}) {
        SwfMovie tooLong;
        if (streaming) {
            ASSERT_TRUE(tooLong.streamTo(path, 20, 20, error));
        }
        tooLong.addTag(std::make_unique<OversizedTag>());
        const WriteResult r = tooLong.write(path, 20, 20, 3840);
        EXPECT_FALSE(r.written);
        EXPECT_NE(r.fault.detail.find("would reach 4 GiB"), std::string::npos) << r.fault.detail;
        EXPECT_EQ(dir.entries(), 0u);
    }

    SwfMovie nowhere;
    EXPECT_FALSE(nowhere.streamTo(dir.path() / "no" / "x.swf", 20, 20, error));
    EXPECT_EQ(error.step, FaultStep::WriteFile) << words(error);
}

// A movie longer than the limit asked for is not written, its fault giving
// its length, the limit and its quality, and an earlier file of its name
// stays; one of exactly the limit is.
TEST(SwfMovie, AMovieOverItsLengthLimitLeavesTheEarlierFile) {
    ScratchDir dir;
    const fs::path path = dir.path() / "x.swf";
    ASSERT_TRUE(SwfMovie().write(path, 20, 20, 3840).written);
    const Bytes payload(1000, 0x5A);
    for (const auto& [limit, written] : {std::pair{1030u, false}, std::pair{1031u, true}}) {
        SwfMovie movie;
        Fault error;
        ASSERT_TRUE(movie.streamTo(path, 20, 20, error));
        movie.addTag(std::make_unique<PayloadTag>(payload));
        movie.addTag(std::make_unique<ShowFrameTag>());
        const WriteResult r = movie.write(path, 20, 20, 3840, limit, 37);
        EXPECT_EQ(r.written, written) << limit;
        EXPECT_EQ(readFile(path).size(), written ? 1031u : 23u) << limit;
        EXPECT_EQ(dir.entries(), 1u);
        if (!written) {
            EXPECT_EQ(r.fault.code, FaultCode::OverTargetSize);
            EXPECT_EQ(r.fault.values[0], 1031);
            EXPECT_EQ(r.fault.values[1], limit);
            EXPECT_EQ(r.fault.values[2], 37);
        }
    }
}

}  // namespace
}  // namespace vantrel::test
