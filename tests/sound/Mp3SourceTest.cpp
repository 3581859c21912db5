#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "sound/Mp3Source.h"
#include "support/Faults.h"
#include "support/ScratchDir.h"
#include "support/Bytes.h"
#include "support/Tools.h"

namespace vantrel::test {
namespace {

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

// Samples per channel the audio lasts, as ffprobe states it.
long probedSamples(const std::string& path) {
    const std::string out = commandOutput(
        "ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate,duration -of "
        "csv=p=0 '" + path + "'");
    const std::size_t comma = out.find(',');
    if (comma == std::string::npos) return -1;
    return std::lround(std::stod(out) * std::stod(out.substr(comma + 1)));
}

struct Encoded {
    const char* file;
    bool mono;
    int kbps;
    int rate;
};

TEST(Mp3Source, ReadsTheFirstFrameHeaderOfEncodedFiles) {
    const Encoded files[] = {
        {"stereo.mp3", false, 64, 44100},
        {"mono.mp3", true, 64, 44100},
        {"dual.mp3", false, 64, 44100},
        {"mpeg2.mp3", false, 64, 22050},
        {"layer2.mp3", false, 192, 44100},
        {"id3v1.mp3", false, 64, 44100},
        {"id3v2.mp3", false, 64, 44100},
        {"both.mp3", false, 64, 44100},
        // Its first frame is the encoder's 56 kbit/s info frame.
        {"ffmpeg_id3v2.mp3", true, 56, 44100},
    };
    for (const Encoded& e : files) {
        SCOPED_TRACE(e.file);
        Mp3Source source;
        ASSERT_TRUE(source.load(data(e.file)));
        EXPECT_EQ(source.fault(), Fault());
        EXPECT_EQ(source.mono(), e.mono);
        EXPECT_EQ(source.bitrateKbps(), e.kbps);
        EXPECT_EQ(source.sampleRate(), e.rate);
        EXPECT_NEAR(source.sampleCount(), probedSamples(data(e.file)), 1152);
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

// A frame of the given header filled up to its length: MPEG-1 Layer III at
// 128 kbit/s and 44.1 kHz is 417 bytes, MPEG-2 Layer III at 64 kbit/s and
// 22.05 kHz 208, MPEG-2.5 at 8 kbit/s and 8 kHz 72. An info tag goes where
// MPEG-1 puts Xing and Info, which is also where VBRI always goes.
Bytes frame(const Bytes& header, std::size_t length, const std::string& tag = "") {
    Bytes out = header + zeros(length - 4);
    const std::size_t at = header[3] >> 6 == 3 ? 21 : 36;
    std::copy(tag.begin(), tag.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
    return out;
}

TEST(Mp3Source, SampleCountIsCountedFromTheFrames) {
    const Bytes mpeg1 = frame(kMpeg1Header, 417);
    const Bytes mpeg2 = frame(kMpeg2Header, 208);
    const Bytes mpeg25 = frame(hex("FF E3 18 C0"), 72);
    struct Case {
        const char* what;
        Bytes payload;
        std::uint32_t samples;
    };
    const Case cases[] = {
        {"three MPEG-1 frames", mpeg1 + mpeg1 + mpeg1, 3456},
        {"padding bit: one byte more", hex("FF FB 92 00") + zeros(414) + mpeg1, 2304},
        {"MPEG-2", mpeg2 + mpeg2, 1152},
        {"MPEG-2.5", mpeg25 + mpeg25 + mpeg25, 1728},
        {"Layer II", frame(hex("FF FD 80 00"), 417) + frame(hex("FF FD 80 00"), 417), 2304},
        {"Layer I at 32 kHz", frame(hex("FF FF 18 00"), 48) + frame(hex("FF FF 18 00"), 48), 768},
        {"an info frame does not count", frame(kMpeg1Header, 417, "Xing") + mpeg1, 1152},
        {"nor a mono one's", frame(hex("FF FB 90 C0"), 417, "Info") + mpeg1, 1152},
        {"nor a VBRI frame", frame(kMpeg2Header, 208, "VBRI") + mpeg2, 576},
        {"a cut last frame does not count", mpeg1 + Bytes(mpeg1.begin(), mpeg1.end() - 1), 1152},
        {"a tag between joined files is passed over",
         mpeg1 + hex("49 44 33 03 00 00 00 00 00 05 FF FB 90 00 00") + mpeg1 + mpeg1, 3456},
        {"a frame of another rate is passed over", mpeg1 + mpeg2 + mpeg1, 2304},
        {"a lone frame at the end", mpeg1 + zeros(3) + mpeg1, 2304},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(countedSamples(c.payload.data(), c.payload.size()), c.samples);
    }
    // The file's own rate, its frames' samples at that rate.
    Mp3Source source;
    ASSERT_TRUE(source.load(dir.file("b.mp3", mpeg2 + mpeg2 + mpeg2)));
    EXPECT_EQ(source.sampleRate(), 22050);
    EXPECT_EQ(source.sampleCount(), 1728u);
}

// The first frame of a variable bitrate file says little of the rest.
TEST(Mp3Source, VariableBitrateFilesCountEveryFrame) {
    ScratchDir dir;
    const std::string path = (dir.path() / "vbr.mp3").string();
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=frequency=440:sample_rate=44100:duration=3.03 "
                       "-ac 2 -c:a libmp3lame -q:a 4 '" + path + "'"));
    Mp3Source source;
    ASSERT_TRUE(source.load(path));
    EXPECT_NEAR(source.sampleCount(), probedSamples(path), 1152);
    EXPECT_GT(source.sampleCount(), 3.03 * 44100);
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

// A file is taken for MP3 frames by a run of whole frames that follow each
// other from its start, not by its first header: three bytes of a header
// before an MP3 file make no frame.
TEST(Mp3Source, FramedWhenWholeFramesFollowEachOtherFromTheStart) {
    ScratchDir dir;
    const Bytes mpeg1 = frame(kMpeg1Header, 417);
    const Bytes tagged = readFile(data("both.mp3"));
    struct Case {
        const char* what;
        Bytes bytes;
        bool framed;
    };
    const Case cases[] = {
        {"an MP3 file between its tags", tagged, true},
        {"two frames", mpeg1 + mpeg1, true},
        {"one frame that ends the file", mpeg1, true},
        {"a header alone", kMpeg1Header + zeros(100), false},
        {"a frame and other data", mpeg1 + zeros(3) + mpeg1, false},
        {"a frame of another rate after the first", mpeg1 + frame(kMpeg2Header, 208), false},
        {"an 11 kHz header before an MP3 file", hex("FF E3 92") + tagged, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mp3Source source;
        ASSERT_TRUE(source.load(dir.file("a.mp3", c.bytes)));
        EXPECT_EQ(source.framed(), c.framed);
    }
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
        {"reserved version", hex("FF EB 90 00") + zeros(100)},
        {"reserved sampling frequency", hex("FF FB 9C 00") + zeros(100)},
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
        EXPECT_TRUE(source.fault().code == FaultCode::Damaged ||
                    source.fault().code == FaultCode::Unsupported);
        EXPECT_EQ(source.fault().path, path);
        EXPECT_EQ(source.bytes(), nullptr);
    }
}

// FFmpeg's LAME lends the bytes a frame leaves unused to the frames after
// it (the bit reservoir). The frames kept from a later one decode to what
// the whole run decodes to from there, once the decoder has made up for
// the granule overlap and filter history it lacks (within two granules; in
// silence, 640 samples): every frame's main data is there.
TEST(Mp3Source, FramesFromALaterOneDecodeAsInTheWholeRun) {
    ScratchDir dir;
    struct Case {
        int rate;
        int channels;
        std::size_t first;
    };
    for (const Case& c : {Case{11025, 2, 4}, Case{22050, 1, 3}, Case{44100, 2, 5}}) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, frames from " + std::to_string(c.first));
        const std::string path = (dir.path() / "whole.mp3").string();
        ASSERT_TRUE(ffmpeg("-f lavfi -i anoisesrc=sample_rate=" + std::to_string(c.rate) +
                           ":duration=0.5 -af adelay=100ms:all=1 -ac " +
                           std::to_string(c.channels) +
                           " -c:a libmp3lame -write_xing 0 -id3v2_version 0 '" + path + "'"));
        const Bytes whole = readFile(path);
        std::size_t index = 0, offset = 0;
        walkMpegFrames(whole.data(), whole.size(), [&](std::size_t at, const MpegFrame&) {
            if (index++ == c.first) offset = at;
        });
        EXPECT_NE(whole[offset + 4], 0);  // its main data begins in the frames before
        const std::optional<std::vector<std::uint8_t>> kept =
            layer3FramesFrom(whole.data(), whole.size(), c.first);
        ASSERT_TRUE(kept);
        EXPECT_EQ((*kept)[4] | ((*kept)[5] & (c.rate == 44100 ? 0x80 : 0)), 0);  // main_data_begin
        const std::vector<float> all = decodedSound(path);
        const std::vector<float> from = decodedSound(dir.file("kept.mp3", *kept));
        const std::size_t before = c.first * (c.rate == 44100 ? 1152 : 576);
        ASSERT_EQ(from.size() + before, all.size());
        float worst = 0;
        for (std::size_t i = 1152; i < from.size(); ++i) {
            worst = std::max(worst, std::abs(from[i] - all[before + i]));
        }
        EXPECT_LT(worst, 1e-4f);
        EXPECT_EQ(countedSamples(kept->data(), kept->size()), from.size());
    }
    // Frames with a CRC, of Layer II, or too few are not cut.
    const Bytes crc = hex("FF FA 90 00") + zeros(413);
    EXPECT_FALSE(layer3FramesFrom(crc.data(), crc.size(), 0));
    const Bytes layer2 = frame(hex("FF FD 80 00"), 417) + frame(hex("FF FD 80 00"), 417);
    EXPECT_FALSE(layer3FramesFrom(layer2.data(), layer2.size(), 1));
    const Bytes two = frame(kMpeg1Header, 417) + frame(kMpeg1Header, 417);
    EXPECT_TRUE(layer3FramesFrom(two.data(), two.size(), 1));
    EXPECT_FALSE(layer3FramesFrom(two.data(), two.size(), 2));
}

TEST(Mp3Source, MissingAndUnreadableFiles) {
    ScratchDir dir;
    Mp3Source source;
    EXPECT_FALSE(source.load((dir.path() / "absent.mp3").string()));
    EXPECT_EQ(source.fault().code, FaultCode::NotFound);
    EXPECT_FALSE(source.load((dir.path() / "absent" / "x.mp3").string()));
    EXPECT_EQ(source.fault().code, FaultCode::NotFound);

    std::filesystem::create_directory(dir.path() / "folder.mp3");
    EXPECT_FALSE(source.load((dir.path() / "folder.mp3").string()));
    EXPECT_EQ(source.fault(), Fault(FaultCode::Unreadable, FaultStep::LoadSound,
                                    (dir.path() / "folder.mp3").string(), "not a regular file"));
}

TEST(Mp3Source, AFailedLoadForgetsTheEarlierFile) {
    Mp3Source source;
    ASSERT_TRUE(source.load(data("mono.mp3")));
    EXPECT_FALSE(source.load(data("absent.mp3")));
    EXPECT_EQ(source.bytes(), nullptr);
    EXPECT_FALSE(source.mono());
    ASSERT_TRUE(source.load(data("stereo.mp3")));
    EXPECT_EQ(source.fault(), Fault());
    EXPECT_EQ(source.fault(), Fault());
}

}  // namespace
}  // namespace vantrel::test
