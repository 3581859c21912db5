#include <gtest/gtest.h>

#include <string>

#include "sound/Mp3Source.h"
#include "support/ScratchDir.h"
#include "support/Bytes.h"

namespace vantrel {
namespace {

using test::Bytes;
using test::hex;
using test::readFile;
using test::ScratchDir;

std::string data(const std::string& name) {
    return std::string(VANTREL_TEST_DATA) + "/sound/" + name;
}

Bytes payloadOf(const Mp3Source& source) {
    return Bytes(source.bytes()->begin() + source.payloadStart(),
                 source.bytes()->begin() + source.payloadEnd());
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes zeros(std::size_t n) { return Bytes(n, 0); }

// MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, stereo.
const Bytes kMpeg1Header = hex("FF FB 90 00");
// MPEG-2 Layer III, 64 kbit/s, 22.05 kHz, stereo.
const Bytes kMpeg2Header = hex("FF F3 80 00");

struct Encoded {
    const char* file;
    bool mono;
    int kbps;
};

TEST(Mp3Source, ReadsTheFirstFrameHeaderOfEncodedFiles) {
    const Encoded files[] = {
        {"stereo.mp3", false, 64},
        {"mono.mp3", true, 64},
        {"dual.mp3", false, 64},
        {"mpeg2.mp3", false, 64},
        {"layer2.mp3", false, 192},
        {"id3v1.mp3", false, 64},
        {"id3v2.mp3", false, 64},
        {"both.mp3", false, 64},
        // Its first frame is the encoder's 56 kbit/s info frame; the first
        // frame stands for the whole file.
        {"ffmpeg_id3v2.mp3", true, 56},
    };
    for (const Encoded& e : files) {
        SCOPED_TRACE(e.file);
        Mp3Source source;
        ASSERT_TRUE(source.load(data(e.file)));
        EXPECT_EQ(source.failure(), Mp3Source::Failure::None);
        EXPECT_EQ(source.mono(), e.mono);
        EXPECT_EQ(source.bitrateKbps(), e.kbps);
        EXPECT_EQ(source.bytesPerSecond(), e.kbps * 125);
        const std::uint64_t expected =
            std::uint64_t{source.payloadLength()} * 44100 / (std::uint64_t(e.kbps) * 125);
        EXPECT_EQ(source.sampleCount(), expected);
        EXPECT_EQ(*source.bytes(), readFile(data(e.file)));
        // Whatever the tags, the payload starts with a frame sync.
        EXPECT_EQ((*source.bytes())[source.payloadStart()], 0xFF);
    }
}

TEST(Mp3Source, PayloadLiesBetweenTheTags) {
    const Bytes bare = readFile(data("stereo.mp3"));
    ASSERT_FALSE(bare.empty());
    for (const char* name : {"stereo.mp3", "id3v1.mp3", "id3v2.mp3", "both.mp3"}) {
        SCOPED_TRACE(name);
        const Bytes file = readFile(data(name));
        Mp3Source source;
        ASSERT_TRUE(source.load(data(name)));
        EXPECT_EQ(payloadOf(source), bare);

        const bool v2 = file[0] == 'I' && file[1] == 'D' && file[2] == '3';
        const std::size_t tagSize =
            v2 ? 10 + (std::size_t{file[6]} << 21 | std::size_t{file[7]} << 14 |
                       std::size_t{file[8]} << 7 | file[9])
               : 0;
        EXPECT_EQ(source.payloadStart(), tagSize);
        const bool v1 = file.size() - bare.size() - tagSize == 128;
        EXPECT_EQ(source.payloadEnd(), file.size() - (v1 ? 128 : 0));
        if (v1) {
            EXPECT_EQ(Bytes(file.end() - 128, file.end() - 125), hex("54 41 47"));
        }
    }
}

TEST(Mp3Source, Id3v2SizeIsFourSevenBitGroups) {
    ScratchDir dir;
    const Bytes tag = hex("49 44 33 03 00 00 00 00 02 01") + zeros(257);
    Mp3Source source;
    ASSERT_TRUE(source.load(dir.file("t.mp3", tag + kMpeg1Header + zeros(100))));
    EXPECT_EQ(source.payloadStart(), 267u);
    EXPECT_EQ(source.payloadEnd(), 267u + 104u);
    EXPECT_EQ(source.bitrateKbps(), 128);
}

TEST(Mp3Source, SampleCountIsEstimatedAt44100Hz) {
    ScratchDir dir;
    Mp3Source mpeg1;
    ASSERT_TRUE(mpeg1.load(dir.file("a.mp3", kMpeg1Header + zeros(1'600'000 - 4))));
    EXPECT_EQ(mpeg1.payloadLength(), 1'600'000u);
    EXPECT_EQ(mpeg1.bytesPerSecond(), 16'000);
    EXPECT_EQ(mpeg1.sampleCount(), 4'410'000u);

    // The file's own 22,050 Hz does not enter the estimate.
    Mp3Source mpeg2;
    ASSERT_TRUE(mpeg2.load(dir.file("b.mp3", kMpeg2Header + zeros(80'000 - 4))));
    EXPECT_EQ(mpeg2.bitrateKbps(), 64);
    EXPECT_EQ(mpeg2.sampleCount(), 441'000u);

    EXPECT_EQ(estimatedSampleCount(7, 8000), 38u);  // 38.5875 truncated
    EXPECT_EQ(estimatedSampleCount(0xFFFFFFFFu, 1000), 0xFFFFFFFFu);
}

TEST(Mp3Source, TagsAreRecognisedOnlyAtTheirPlaces) {
    ScratchDir dir;
    const Bytes tag = hex("54 41 47");
    Mp3Source source;
    // "TAG" one byte off either way is audio.
    ASSERT_TRUE(source.load(dir.file("a.mp3", kMpeg1Header + zeros(100) + tag + zeros(124))));
    EXPECT_EQ(source.payloadEnd(), 231u);
    ASSERT_TRUE(source.load(dir.file("b.mp3", kMpeg1Header + zeros(100) + tag + zeros(126))));
    EXPECT_EQ(source.payloadEnd(), 233u);
    ASSERT_TRUE(source.load(dir.file("c.mp3", kMpeg1Header + zeros(100) + tag + zeros(125))));
    EXPECT_EQ(source.payloadEnd(), 104u);
    // "ID3" after the start is audio too.
    ASSERT_TRUE(source.load(dir.file("d.mp3", kMpeg1Header + hex("49 44 33 00 00 00 00 01"))));
    EXPECT_EQ(source.payloadStart(), 0u);
    // Shorter than a trailer: no trailer test, no reading before the buffer.
    ASSERT_TRUE(source.load(dir.file("e.mp3", kMpeg1Header + tag)));
    EXPECT_EQ(source.payloadEnd(), 7u);
    // Exactly one frame header between the tags is enough.
    const Bytes id3 = hex("49 44 33 04 00 00 00 00 00 00");
    ASSERT_TRUE(source.load(dir.file("f.mp3", id3 + kMpeg2Header + tag + zeros(125))));
    EXPECT_EQ(source.payloadStart(), 10u);
    EXPECT_EQ(source.payloadLength(), 4u);
}

TEST(Mp3Source, BitrateTablesOfBothStandards) {
    // Rows: MPEG-1 Layer I, II, III; MPEG-2 Layer I, II, III. Indices 1 and 14.
    EXPECT_EQ(mpegBitrateKbps(1, 3, 1), 32);
    EXPECT_EQ(mpegBitrateKbps(1, 3, 14), 448);
    EXPECT_EQ(mpegBitrateKbps(1, 2, 14), 384);
    EXPECT_EQ(mpegBitrateKbps(1, 1, 14), 320);
    EXPECT_EQ(mpegBitrateKbps(1, 1, 9), 128);
    EXPECT_EQ(mpegBitrateKbps(0, 3, 9), 144);
    EXPECT_EQ(mpegBitrateKbps(0, 3, 14), 256);
    EXPECT_EQ(mpegBitrateKbps(0, 2, 1), 8);
    EXPECT_EQ(mpegBitrateKbps(0, 1, 14), 160);
    EXPECT_EQ(mpegBitrateKbps(0, 2, 8), mpegBitrateKbps(0, 1, 8));
    // Free format, forbidden index, reserved layer.
    EXPECT_EQ(mpegBitrateKbps(1, 1, 0), 0);
    EXPECT_EQ(mpegBitrateKbps(1, 1, 15), 0);
    EXPECT_EQ(mpegBitrateKbps(1, 0, 9), 0);
}

TEST(Mp3Source, Mpeg25ReadsAsMpeg2) {
    ScratchDir dir;
    Mp3Source source;
    // Version bits 00 (MPEG-2.5), Layer III, index 8.
    ASSERT_TRUE(source.load(dir.file("a.mp3", hex("FF E3 80 C0") + zeros(100))));
    EXPECT_EQ(source.bitrateKbps(), 64);
    EXPECT_TRUE(source.mono());
}

TEST(Mp3Source, UnusableFilesGiveNoSound) {
    ScratchDir dir;
    const Bytes trailer = hex("54 41 47") + zeros(125);
    struct Case {
        const char* what;
        Bytes bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"ten zero bytes", zeros(10)},
        {"TAG only", hex("54 41 47")},
        {"three bytes of audio", hex("FF FB 90")},
        {"only a trailer", trailer},
        {"trailer right after three bytes", hex("FF FB 90") + trailer},
        {"ID3 without its header", hex("49 44 33 03 00 00 00")},
        {"ID3v2 size past the end", hex("49 44 33 03 00 00 00 00 08 00") + kMpeg1Header},
        {"ID3v2 size with bit 7 set", hex("49 44 33 03 00 00 80 80 80 80") + kMpeg1Header},
        {"ID3v2 reaching into the trailer",
         hex("49 44 33 03 00 00 00 00 00 0A") + kMpeg1Header + zeros(4) + trailer},
        {"ID3v2 ending at the end", hex("49 44 33 03 00 00 00 00 00 04") + kMpeg1Header},
        {"reserved layer", hex("FF F9 90 00") + zeros(100)},
        {"free format bitrate", hex("FF FB 00 00") + zeros(100)},
        {"forbidden bitrate index", hex("FF FB F0 00") + zeros(100)},
        {"text named .mp3", hex("6E 6F 74 20 61 75 64 69 6F") + zeros(100)},
        {"no sync after the ID3v2 tag", hex("49 44 33 03 00 00 00 00 00 00 00 FB 90 00")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.file("broken.mp3", c.bytes);
        Mp3Source source;
        EXPECT_FALSE(source.load(path));
        EXPECT_EQ(source.failure(), Mp3Source::Failure::Unusable);
        EXPECT_NE(source.reason().find(path), std::string::npos);
        EXPECT_EQ(source.bytes(), nullptr);
    }
}

TEST(Mp3Source, MissingAndUnreadableFiles) {
    ScratchDir dir;
    Mp3Source source;
    EXPECT_FALSE(source.load((dir.path() / "absent.mp3").string()));
    EXPECT_EQ(source.failure(), Mp3Source::Failure::NotFound);
    EXPECT_FALSE(source.load((dir.path() / "absent" / "x.mp3").string()));
    EXPECT_EQ(source.failure(), Mp3Source::Failure::NotFound);

    std::filesystem::create_directory(dir.path() / "folder.mp3");
    EXPECT_FALSE(source.load((dir.path() / "folder.mp3").string()));
    EXPECT_EQ(source.failure(), Mp3Source::Failure::Unreadable);
    EXPECT_EQ(source.reason(),
              "cannot read " + (dir.path() / "folder.mp3").string() + ": Is a directory");
}

TEST(Mp3Source, AFailedLoadForgetsTheEarlierFile) {
    Mp3Source source;
    ASSERT_TRUE(source.load(data("mono.mp3")));
    EXPECT_FALSE(source.load(data("absent.mp3")));
    EXPECT_EQ(source.bytes(), nullptr);
    EXPECT_FALSE(source.mono());
    ASSERT_TRUE(source.load(data("stereo.mp3")));
    EXPECT_EQ(source.failure(), Mp3Source::Failure::None);
    EXPECT_TRUE(source.reason().empty());
}

}  // namespace
}  // namespace vantrel
