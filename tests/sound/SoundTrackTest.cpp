#include <gtest/gtest.h>

#include <algorithm>

#include "support/ScratchDir.h"
#include "sound/SoundTags.h"
#include "sound/SoundTrack.h"
#include "support/Bytes.h"
#include "swf/ShapeTags.h"

namespace vantrel {
namespace {

using test::Bytes;
using test::hex;
using test::readFile;
using test::ScratchDir;

std::string data(const std::string& name) {
    return std::string(VANTREL_TEST_DATA) + "/sound/" + name;
}

// A first frame's picture tags draw ids 1 and 2 before the sound is added.
void addPictureTags(SwfMovie& movie) {
    movie.nextCharacterId();
    const std::uint16_t shape = movie.nextCharacterId();
    movie.addTag(std::make_unique<PlaceObject2Tag>(true, false, 1, shape, std::nullopt));
}

TEST(SoundTrack, DefinesAndStartsTheSoundAfterThePictureTags) {
    SwfMovie movie;
    SourceBuffers buffers;
    addPictureTags(movie);
    std::string problem = "stale";
    ASSERT_TRUE(addSoundTrack(movie, data("both.mp3"), buffers, &problem));
    EXPECT_TRUE(problem.empty());

    ASSERT_EQ(movie.tags().size(), 3u);
    const auto* defineSound = dynamic_cast<const DefineSoundTag*>(movie.tags()[1].get());
    ASSERT_NE(defineSound, nullptr);
    EXPECT_EQ(defineSound->characterId(), 3);
    EXPECT_EQ(test::written(*movie.tags()[2]), hex("C3 03 03 00 10"));
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
    ASSERT_TRUE(addSoundTrack(movie, data("both.mp3"), buffers));
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
    std::string problem = "stale";
    EXPECT_FALSE(addSoundTrack(movie, (dir.path() / "walk.mp3").string(), buffers, &problem));
    EXPECT_TRUE(problem.empty());
    EXPECT_EQ(movie.tags().size(), 1u);
    EXPECT_TRUE(buffers.empty());
    EXPECT_EQ(movie.nextCharacterId(), 3);
}

TEST(SoundTrack, UnusableFileAddsNothingAndSaysWhy) {
    ScratchDir dir;
    for (const Bytes& bytes :
         {Bytes(10, 0), hex("54 41 47"), hex("49 44 33 03 00 00 00 00 7F 7F FF FB 90 00"),
          hex("FF F9 90 00 00 00 00 00")}) {
        SwfMovie movie;
        SourceBuffers buffers;
        const std::string path = dir.file("walk.mp3", bytes);
        std::string problem;
        EXPECT_FALSE(addSoundTrack(movie, path, buffers, &problem));
        EXPECT_EQ(problem.rfind("cannot use " + path + ": ", 0), 0u) << problem;
        EXPECT_TRUE(movie.tags().empty());
        EXPECT_TRUE(buffers.empty());
        EXPECT_EQ(movie.nextCharacterId(), 1);
    }
}

}  // namespace
}  // namespace vantrel
