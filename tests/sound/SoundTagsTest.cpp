#include <gtest/gtest.h>

#include "sound/SoundTags.h"
#include "support/Bytes.h"

namespace vantrel::test {
namespace {

TEST(DefineSoundTag, LargePayloadTravelsByReference) {
    Bytes payload(1'600'000);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 7);
    const DefineSoundTag tag(3, payload.data(), 1'600'000, Mp3Rate::Hz44100, false, 4'410'000);

    SwfStream out;
    tag.write(out);
    // Code 14 long form, length 1,600,009; id 3; MP3 44 kHz 16-bit stereo;
    // 4,410,000 samples; SeekSamples 0.
    EXPECT_EQ(committed(out), hex("BF 03 09 6A 18 00  03 00  2F  90 4A 43 00  00 00"));
    ASSERT_EQ(out.references().size(), 1u);
    EXPECT_EQ(out.references()[0].position, 15u);
    EXPECT_EQ(out.references()[0].data, payload.data());
    EXPECT_EQ(out.totalLength(), 1'600'015u);

    const Bytes content = contentOf(out);
    ASSERT_EQ(content.size(), 1'600'015u);
    EXPECT_EQ(Bytes(content.begin() + 15, content.end()), payload);
}

TEST(DefineSoundTag, MonoFlagAndHeaderForm) {
    const Bytes payload(54, 0xAB);
    SwfStream shortForm;
    // A 53-byte payload makes a 62-byte body, still the short form.
    DefineSoundTag(0x0102, payload.data(), 53, Mp3Rate::Hz44100, true, 0x01020304).write(shortForm);
    Bytes expected = hex("BE 03  02 01  2E  04 03 02 01  00 00");
    expected.insert(expected.end(), 53, 0xAB);
    EXPECT_EQ(contentOf(shortForm), expected);

    SwfStream longForm;
    DefineSoundTag(1, payload.data(), 54, Mp3Rate::Hz44100, true, 0).write(longForm);
    EXPECT_EQ(committed(longForm), hex("BF 03 3F 00 00 00  01 00  2E  00 00 00 00  00 00"));

    // The seek samples players skip, little-endian.
    SwfStream seek;
    DefineSoundTag(1, payload.data(), 54, Mp3Rate::Hz11025, true, 0, 640).write(seek);
    EXPECT_EQ(committed(seek), hex("BF 03 3F 00 00 00  01 00  26  00 00 00 00  80 02"));
}

// The flags byte: MP3, the rate's code, 16-bit, stereo or mono.
TEST(DefineSoundTag, StatesTheRate) {
    const struct {
        std::int32_t hz;
        bool mono;
        std::uint8_t flags;
    } cases[] = {
        {44100, false, 0x2F}, {22050, false, 0x2B}, {22050, true, 0x2A}, {11025, true, 0x26}};
    for (const auto& c : cases) {
        ASSERT_TRUE(mp3RateOf(c.hz)) << c.hz;
        const Bytes out = written(DefineSoundTag(1, nullptr, 0, *mp3RateOf(c.hz), c.mono, 0));
        EXPECT_EQ(out[4], c.flags) << c.hz;
    }
    for (const std::int32_t hz : {5512, 8000, 32000, 48000}) EXPECT_FALSE(mp3RateOf(hz)) << hz;
}

TEST(StartSoundTag, StartsWithoutMultiples) {
    SoundInfo info;
    info.syncFlags = SoundInfo::kSyncNoMultiple;
    const StartSoundTag tag(0x0203, info);
    SwfStream out;
    tag.write(out);
    EXPECT_EQ(committed(out), hex("C3 03 03 02 10"));
    EXPECT_FALSE(tag.countsAsFrame());
    EXPECT_FALSE(DefineSoundTag(1, nullptr, 0, Mp3Rate::Hz44100, false, 0).countsAsFrame());
}

TEST(SoundInfo, OptionalFieldsInRecordOrder) {
    SoundInfo info;
    info.syncFlags = SoundInfo::kSyncStop | SoundInfo::kSyncNoMultiple;
    info.hasEnvelope = info.hasLoops = info.hasOutPoint = info.hasInPoint = true;
    info.inPoint = 0x11223344;
    info.outPoint = 0x55667788;
    info.loopCount = 0x99AA;
    info.envelope = {{0x01020304, 0x0506, 0x0708}, {0x0A0B0C0D, 0x8000, 0}};
    SwfStream out;
    info.write(out);
    EXPECT_EQ(committed(out), hex("3F  44 33 22 11  88 77 66 55  AA 99  02"
                                  "  04 03 02 01 06 05 08 07  0D 0C 0B 0A 00 80 00 00"));

    SoundInfo loopsOnly;
    loopsOnly.hasLoops = true;
    loopsOnly.loopCount = 3;
    SwfStream loops;
    loopsOnly.write(loops);
    EXPECT_EQ(committed(loops), hex("04 03 00"));

    SoundInfo manyPoints;
    manyPoints.hasEnvelope = true;
    manyPoints.envelope.resize(300);
    SwfStream many;
    manyPoints.write(many);
    EXPECT_EQ(many.count(), 2u + 255u * 8u);
    EXPECT_EQ(many.bytes()[1], 255);
}

// SoundStreamHead2 (45): reserved bits, then how it plays and how it is
// stored (MP3, the rate's code, 16-bit, mono or stereo), the samples of a
// frame and LatencySeek.
TEST(SoundStreamHead2Tag, StatesPlaybackAndStreamAlike) {
    EXPECT_EQ(written(SoundStreamHead2Tag(Mp3Rate::Hz44100, false, 2940, 0)),
              hex("46 0B  0F 2F  7C 0B  00 00"));
    EXPECT_EQ(written(SoundStreamHead2Tag(Mp3Rate::Hz11025, true, 368, -207)),
              hex("46 0B  06 26  70 01  31 FF"));
}

// SoundStreamBlock (19): SampleCount, SeekSamples, then the frames' bytes,
// referred to, not copied.
TEST(SoundStreamBlockTag, CountSeekAndFramesByReference) {
    const Bytes frames(30, 0xAB);
    const SoundStreamBlockTag tag(1152, -100, {{frames.data(), 10}, {frames.data() + 10, 20}});
    SwfStream out;
    tag.write(out);
    EXPECT_EQ(committed(out), hex("E2 04  80 04  9C FF"));
    ASSERT_EQ(out.references().size(), 2u);
    EXPECT_EQ(out.references()[1].data, frames.data() + 10);
    EXPECT_EQ(contentOf(out).size(), 36u);
}

}  // namespace
}  // namespace vantrel::test
