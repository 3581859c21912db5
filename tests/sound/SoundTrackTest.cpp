#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <fstream>
#include <map>
#include <tuple>

#include "support/Faults.h"
#include "support/ScratchDir.h"
#include "sound/SoundTags.h"
#include "sound/Mp3Encoder.h"
#include "sound/SoundTrack.h"
#include "support/Bytes.h"
#include "support/Tools.h"
#include "swf/ShapeTags.h"

namespace vantrel::test {
namespace {

const double mp3Rates[] = {5512.5, 11025, 22050, 44100};  // by rate code

std::string data(const std::string& name) {
    return std::string(VANTREL_TEST_DATA) + "/sound/" + name;
}

// A first frame's picture tags draw ids 1 and 2 before the sound is added.
void addPictureTags(SwfMovie& movie) {
    movie.nextCharacterId();
    const std::uint16_t shape = movie.nextCharacterId();
    movie.addTag(std::make_unique<PlaceObject2Tag>(true, false, 1, shape, std::nullopt));
}

// What a load has to say, in words; empty when nothing.
std::string warningOf(const LoadedSound& loaded) {
    return loaded.warning ? words(*loaded.warning) : std::string();
}

// Loads the companion file at path; false when it gives no sound.
bool addCompanion(SwfMovie& movie, const std::string& path, SourceBuffers& buffers,
                  std::optional<Fault>* warning = nullptr) {
    LoadedSound loaded = loadCompanionSound(path);
    if (warning != nullptr) *warning = loaded.warning;
    if (!loaded.loaded()) return false;
    addSoundTrack(movie, std::move(loaded.sound), buffers);
    return true;
}

TEST(SoundTrack, DefinesAndStartsTheSoundAfterThePictureTags) {
    SwfMovie movie;
    SourceBuffers buffers;
    addPictureTags(movie);
    std::optional<Fault> warning = Fault();
    ASSERT_TRUE(addCompanion(movie, data("both.mp3"), buffers, &warning));
    EXPECT_FALSE(warning.has_value());

    ASSERT_EQ(movie.tags().size(), 3u);
    const auto* defineSound = dynamic_cast<const DefineSoundTag*>(movie.tags()[1].get());
    ASSERT_NE(defineSound, nullptr);
    EXPECT_EQ(defineSound->characterId(), 3);
    EXPECT_EQ(written(*movie.tags()[2]), hex("C3 03 03 00 10"));
    EXPECT_EQ(movie.nextCharacterId(), 4);
    EXPECT_EQ(movie.frameCount(), 0);

    // The file's bytes now live on the buffers, and the tag points into them.
    ASSERT_EQ(buffers.size(), 1u);
    const Bytes file = readFile(data("both.mp3"));
    EXPECT_EQ(*buffers[0], file);
    SwfStream out;
    defineSound->write(out);
    ASSERT_EQ(out.references().size(), 1u);
    EXPECT_EQ(out.references()[0].data, buffers[0]->data() + 102);
    EXPECT_EQ(out.references()[0].length, file.size() - 102 - 128);
}

TEST(SoundTrack, WrittenMovieCarriesTheBarePayload) {
    ScratchDir dir;
    SwfMovie movie;
    SourceBuffers buffers;
    addPictureTags(movie);
    ASSERT_TRUE(addCompanion(movie, data("both.mp3"), buffers));
    // Later buffers must not disturb the sound's bytes.
    for (int i = 0; i < 100; ++i) buffers.push_back(std::make_unique<SourceBuffer>(10));
    movie.addTag(std::make_unique<ShowFrameTag>());
    const auto path = dir.path() / "walk.swf";
    ASSERT_TRUE(movie.write(path, 2000, 1000, 15 * 256).written);

    const Bytes swf = readFile(path);
    const Bytes audio = readFile(data("stereo.mp3"));  // the same audio without tags
    const std::uint32_t soundBody = 7 + 2 + static_cast<std::uint32_t>(audio.size());
    Bytes record = hex("BF 03");
    for (int shift = 0; shift < 32; shift += 8) record.push_back((soundBody >> shift) & 0xFF);
    record.insert(record.end(), {0x03, 0x00, 0x2F});
    const auto at = std::search(swf.begin(), swf.end(), record.begin(), record.end());
    ASSERT_NE(at, swf.end());
    const auto payload = at + 6 + 7 + 2;
    ASSERT_GE(swf.end() - payload, static_cast<std::ptrdiff_t>(audio.size()));
    EXPECT_EQ(Bytes(payload - 2, payload), hex("00 00"));
    EXPECT_EQ(Bytes(payload, payload + static_cast<std::ptrdiff_t>(audio.size())), audio);
    EXPECT_EQ(Bytes(payload + static_cast<std::ptrdiff_t>(audio.size()), swf.end()),
              hex("C3 03 03 00 10  40 00  00 00"));
}

TEST(SoundTrack, MissingFileAddsNothing) {
    ScratchDir dir;
    SwfMovie movie;
    SourceBuffers buffers;
    addPictureTags(movie);
    std::optional<Fault> warning = Fault();
    EXPECT_FALSE(addCompanion(movie, (dir.path() / "walk.mp3").string(), buffers, &warning));
    EXPECT_FALSE(warning.has_value());
    EXPECT_EQ(movie.tags().size(), 1u);
    EXPECT_TRUE(buffers.empty());
    EXPECT_EQ(movie.nextCharacterId(), 3);
}

TEST(SoundTrack, UnusableFileAddsNothingAndSaysWhy) {
    ScratchDir dir;
    for (const auto& [bytes, code] :
         {std::pair(Bytes(10, 0), FaultCode::Unsupported),
          {hex("54 41 47"), FaultCode::Damaged},
          {hex("49 44 33 03 00 00 00 00 7F 7F FF FB 90 00"), FaultCode::Damaged},
          {hex("FF F9 90 00 00 00 00 00"), FaultCode::NoSound}}) {
        SwfMovie movie;
        SourceBuffers buffers;
        const std::string path = dir.file("walk.mp3", bytes);
        std::optional<Fault> warning;
        EXPECT_FALSE(addCompanion(movie, path, buffers, &warning));
        EXPECT_EQ(warning,
                  Fault(code, FaultStep::LoadSound, path, "it holds no sound FFmpeg can decode"));
        EXPECT_TRUE(movie.tags().empty());
        EXPECT_TRUE(buffers.empty());
        EXPECT_EQ(movie.nextCharacterId(), 1);
    }
}

// How long the sound lasts when FFmpeg decodes its MP3 bytes, in samples
// after its seek samples, which are the encoder's lead-in.
long decodedLength(const Mp3Sound& sound) {
    EXPECT_EQ(sound.seekSamples, kLeadInSamples);
    ScratchDir dir;
    const SourceBuffer payload(sound.bytes->begin() + sound.start,
                               sound.bytes->begin() + sound.start + sound.length);
    return decodedSamples(dir.file("back.mp3", payload)) - sound.seekSamples;
}

// The DefineSound's flags byte (after the long record header and the id).
std::uint8_t flagsOf(Mp3Sound sound) {
    SwfMovie movie;
    SourceBuffers buffers;
    addSoundTrack(movie, std::move(sound), buffers);
    return written(*movie.tags()[0]).at(8);
}

// The notice of a sound at `rate` encoded again at the rate its flags state.
Fault reencoded(const std::string& path, const std::string& kind, double rate, std::uint8_t flags) {
    Fault notice(FaultCode::SoundReencoded, FaultStep::ReencodeSound, path, kind);
    notice.values = {rate, mp3Rates[flags >> 2 & 3]};
    return notice;
}

TEST(SoundTrack, CompanionsAtRatesAMovieCannotStateAreReencoded) {
    ScratchDir dir;
    struct Case {
        const char* name;
        int rate;  // 0: the committed 22.05 kHz file
        int channels;
        std::uint8_t flags;
    };
    const Case cases[] = {
        {"mpeg2.mp3", 0, 2, 0x2B},
        {"walk.mp3", 48000, 2, 0x2F},
        {"Low.mp3", 16000, 1, 0x2A},
        {"phone.mp3", 8000, 1, 0x26},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = data(c.name);
        if (c.rate != 0) {
            path = (dir.path() / c.name).string();
            ASSERT_TRUE(ffmpeg("-f lavfi -i sine=frequency=440:sample_rate=" +
                               std::to_string(c.rate) + ":duration=1.5 -ac " +
                               std::to_string(c.channels) + " -c:a libmp3lame '" + path + "'"));
        }
        LoadedSound loaded = loadCompanionSound(path);
        ASSERT_TRUE(loaded.loaded()) << warningOf(loaded);
        if (c.rate == 0) {
            EXPECT_FALSE(loaded.warning.has_value()) << warningOf(loaded);
            EXPECT_EQ(*loaded.sound.bytes, readFile(path));
        } else {
            EXPECT_EQ(loaded.warning, reencoded(path, "", c.rate, c.flags));
            // As long as the file, the encoder's delay made up for.
            const long samples = decodedLength(loaded.sound);
            EXPECT_EQ(samples, loaded.sound.sampleCount);
            EXPECT_LE(samples, 1.5 * mp3Rates[c.flags >> 2 & 3]);
            EXPECT_GT(samples, 1.5 * mp3Rates[c.flags >> 2 & 3] - 1152);
        }
        EXPECT_EQ(flagsOf(std::move(loaded.sound)), c.flags);
    }
}

// MPEG-1 Layer III frames at 128 kbit/s and 44.1 kHz (417 bytes and a
// padding byte) made free format: each header's bitrate index set to 0.
Bytes freeFormat(Bytes mp3) {
    for (std::size_t at = 0; at + 4 <= mp3.size(); at += 417 + (mp3[at + 2] >> 1 & 1)) {
        if (mp3[at] != 0xFF || mp3[at + 1] != 0xFB || mp3[at + 2] >> 4 != 9) return {};
        mp3[at + 2] &= 0x0F;
    }
    return mp3;
}

// Players expect MPEG audio Layer III at one of the three rates: any other
// sound FFmpeg decodes is encoded again, whatever the name says.
TEST(SoundTrack, CompanionsThatAreNoMp3AMovieHoldsAreReencoded) {
    ScratchDir dir;
    const std::string path = (dir.path() / "walk.mp3").string();
    struct Case {
        const char* made;  // ffmpeg's output options for 1.5 s of tone (none: a text)
        int rate;
        std::uint8_t flags;  // 0: refused; free format, when made
        const char* kind;    // what the sound was, as the notice names it
    };
    const Case cases[] = {
        {"-c:a mp1 -f mp2", 44100, 0x2F, "MPEG audio Layer I"},
        {"-c:a mp2 -f mp2", 44100, 0x2F, "MPEG audio Layer II"},
        {"-c:a aac -f adts", 44100, 0x2F, "AAC"},
        {"-ac 1 -c:a aac -f ipod", 22050, 0x2A, "AAC in an MP4 file"},
        {"-c:a pcm_s16le -f wav", 11025, 0x27, "PCM signed 16-bit little-endian in a WAV file"},
        {"-c:a flac -f flac", 96000, 0x2F, "FLAC"},
        {"-c:a libmp3lame -f mp3 - | { printf %01000d 0; cat; } >", 44100, 0x2F,
         "MPEG audio Layer III with other data before its first frame"},
        // The first three bytes of an 11 kHz frame are no frame.
        {"-c:a libmp3lame -f mp3 - | { printf '\\377\\343\\222'; cat; } >", 48000, 0x2F,
         "MPEG audio Layer III with other data before its first frame"},
        {"-c:a libmp3lame -f mp3 - | { printf '\\377\\343\\222'; cat; } >", 22050, 0x2B,
         "MPEG audio Layer III with other data before its first frame"},
        {"-c:a libmp3lame -b:a 128k -write_xing 0 -id3v2_version 0 -f mp3", 44100, 0, ""},
        {nullptr, 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.made != nullptr ? c.made : "text");
        if (c.made == nullptr) {
            dir.file("walk.mp3", Bytes(2000, 't'));
        } else if (!ffmpeg("-f lavfi -i sine=sample_rate=" + std::to_string(c.rate) +
                           ":duration=1.5 -ac 2 " + c.made + " '" + path + "'")) {
            ASSERT_EQ(c.made, cases[0].made) << "only Layer I may lack an encoder";
            continue;
        }
        if (c.made != nullptr && c.flags == 0) {
            const Bytes freeFormatMp3 = freeFormat(readFile(path));
            ASSERT_FALSE(freeFormatMp3.empty());
            dir.file("walk.mp3", freeFormatMp3);
        }
        LoadedSound loaded = loadCompanionSound(path);
        EXPECT_EQ(loaded.warning, c.flags != 0
                                      ? reencoded(path, c.kind, c.rate, c.flags)
                                      : Fault(FaultCode::Unsupported, FaultStep::LoadSound, path,
                                              "it holds no sound FFmpeg can decode"));
        if (!loaded.loaded()) continue;
        // As long as FFmpeg decodes the file, the encoder's delay made up for.
        const double expected = decodedSamples(path) * mp3Rates[c.flags >> 2 & 3] / c.rate;
        const long samples = decodedLength(loaded.sound);
        EXPECT_EQ(samples, loaded.sound.sampleCount);
        EXPECT_NEAR(samples, expected - 575, 576);
        EXPECT_EQ(flagsOf(std::move(loaded.sound)), c.flags);
    }
}

// The sound of videos of several kinds, for movies of a given length.
TEST(SoundTrack, AVideosSoundLastsAsLongAsTheMovie) {
    ScratchDir dir;
    struct Case {
        const char* name;
        const char* codec;
        int rate;
        int channels;
        double soundSeconds;
        double movieSeconds;
        std::uint8_t flags;
    };
    const Case cases[] = {
        {"aac.mp4", "aac", 48000, 2, 2.0, 2.0, 0x2F},
        {"vorbis.mkv", "libvorbis", 24000, 1, 1.0, 2.0, 0x2A},  // filled up with silence
        {"pcm.avi", "pcm_s16le", 44100, 6, 3.0, 1.4, 0x2F},     // cut, six channels mixed down
        {"mp3.avi", "libmp3lame", 11025, 2, 2.0, 2.0, 0x27},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (dir.path() / c.name).string();
        ASSERT_TRUE(
            ffmpeg("-f lavfi -i testsrc2=size=32x24:rate=10:duration=2 -f lavfi -i "
                   "sine=frequency=300:sample_rate=" +
                   std::to_string(c.rate) + ":duration=" + std::to_string(c.soundSeconds) +
                   " -ac " + std::to_string(c.channels) + " -c:a " + c.codec + " '" + path + "'"));
        LoadedSound loaded = loadVideoSound(path, c.movieSeconds);
        ASSERT_TRUE(loaded.loaded()) << warningOf(loaded);
        EXPECT_EQ(warningOf(loaded), "");
        const double expected = c.movieSeconds * mp3Rates[c.flags >> 2 & 3];
        const long samples = decodedLength(loaded.sound);
        EXPECT_EQ(samples, loaded.sound.sampleCount);
        EXPECT_LE(samples, expected);
        EXPECT_GT(samples, expected - 1152);
        EXPECT_EQ(flagsOf(std::move(loaded.sound)), c.flags);
    }
}

TEST(SoundTrack, VideosWithoutSoundAndFilesThatAreNoVideos) {
    ScratchDir dir;
    const std::string silent = (dir.path() / "silent.avi").string();
    ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=size=32x24:rate=10 -t 1 '" + silent + "'"));
    LoadedSound loaded = loadVideoSound(silent, 1.0);
    EXPECT_FALSE(loaded.loaded());
    EXPECT_EQ(warningOf(loaded), "");
    const std::string text = dir.file("text.avi", Bytes(100, 'x'));
    loaded = loadVideoSound(text, 1.0);
    EXPECT_FALSE(loaded.loaded());
    EXPECT_EQ(loaded.warning,
              Fault(FaultCode::Unreadable, FaultStep::VideoSound, text, "it cannot be opened"));
}

// Whether loading the video's sound in a child process, when its address
// space may grow by 64 MiB, loads it (`expected` empty) or warns `expected`.
bool saysWithinMemory(const std::string& video, const std::optional<Fault>& expected) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::size_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlimit limit{pages * ::sysconf(_SC_PAGESIZE) + (64 << 20), RLIM_INFINITY};
        ::setrlimit(RLIMIT_AS, &limit);
        const LoadedSound loaded = loadVideoSound(video, 2.0);
        const bool said = expected ? !loaded.loaded() && loaded.warning == expected
                                   : loaded.loaded() && !loaded.warning;
        if (!said) std::fprintf(stderr, "said: %s\n", warningOf(loaded).c_str());
        ::_exit(said ? 0 : 1);
    }
    int status = 1;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A PCM track's stated rate is all a player has to go by: a tiny one would
// make every second of the file hours of sound.
TEST(SoundTrack, AVideosSoundAtATinyStatedRateStaysWithinMemory) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers reserve far more address space than any limit here";
#endif
    ScratchDir dir;
    const std::string path = (dir.path() / "tiny.mkv").string();
    // Seconds of sound at 8 kHz, samples per packet, the rate stated.
    const std::tuple<double, int, double> cases[] = {{2.5, 1024, 8000}, {2.5, 20000, 1},
                                                     {2.5, 1024, 999},  {400, 3200000, 1000},
                                                     {2.5, 1024, 1e6},  {2.5, 1024, 1e8}};
    for (const auto& [seconds, perPacket, rate] : cases) {
        SCOPED_TRACE(rate);
        ASSERT_TRUE(ffmpeg("-f lavfi -i sine=sample_rate=8000:duration=" + std::to_string(seconds) +
                           ":samples_per_frame=" + std::to_string(perPacket) + " -c:a pcm_s16le '" +
                           path + "'"));
        // The track's SamplingFrequency element (id B5, 8 bytes, 8000.0) made to state `rate`.
        Bytes mkv = readFile(path);
        const Bytes stated = hex("B5 88 40 BF 40 00 00 00 00 00");
        const auto at = std::search(mkv.begin(), mkv.end(), stated.begin(), stated.end());
        ASSERT_NE(at, mkv.end());
        for (int i = 0; i < 8; ++i) at[2 + i] = std::bit_cast<std::uint64_t>(rate) >> (56 - 8 * i);
        dir.file("tiny.mkv", mkv);
        const char* refused = rate < 1000 ? "below 1 kHz" : rate > 1e6 ? "above 1 MHz" : nullptr;
        EXPECT_TRUE(saysWithinMemory(
            path, refused == nullptr
                      ? std::optional<Fault>()
                      : Fault(FaultCode::Unsupported, FaultStep::VideoSound, path,
                              "its sound states a sample rate " + std::string(refused) +
                                  ", which no real sound has")));
    }
}

TEST(SoundTrack, NearestRatesByRatio) {
    const std::map<std::int32_t, std::int32_t> nearest = {
        {96000, 44100}, {48000, 44100}, {44100, 44100}, {32000, 44100}, {24000, 22050},
        {16000, 22050}, {12000, 11025}, {8000, 11025},  {0, 11025}};
    for (const auto& [hz, rate] : nearest) EXPECT_EQ(nearestMp3Rate(hz), rate) << hz;
}

}  // namespace
}  // namespace vantrel::test
