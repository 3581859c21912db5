#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "base/Fault.h"
#include "convert/OptionTable.h"

namespace vantrel {
namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The codes are what scripts read in the JSON report: their names never
// change, and the manual and the manual page explain every one.
TEST(Fault, EveryCodeHasItsStableNameAndIsDocumented) {
    const std::pair<FaultCode, const char*> names[] = {
        {FaultCode::NotFound, "not-found"},
        {FaultCode::Unreadable, "unreadable"},
        {FaultCode::Damaged, "damaged"},
        {FaultCode::Unsupported, "unsupported"},
        {FaultCode::TooLarge, "too-large"},
        {FaultCode::OutOfMemory, "out-of-memory"},
        {FaultCode::TooShort, "too-short"},
        {FaultCode::TooManyFrames, "too-many-frames"},
        {FaultCode::NoPictures, "no-pictures"},
        {FaultCode::NoPictureRead, "no-picture-read"},
        {FaultCode::MovieExists, "movie-exists"},
        {FaultCode::DuplicateMovie, "duplicate-movie"},
        {FaultCode::WriteFailed, "write-failed"},
        {FaultCode::DiskFull, "disk-full"},
        {FaultCode::Stopped, "stopped"},
        {FaultCode::NotAFolder, "not-a-folder"},
        {FaultCode::SoundReencoded, "sound-re-encoded"},
        {FaultCode::SizeDiffers, "size-differs"},
        {FaultCode::NoSound, "no-sound"},
        {FaultCode::NoVideo, "no-video"},
        {FaultCode::PicturesEndEarly, "pictures-end-early"},
        {FaultCode::SoundRunsOn, "sound-runs-on"},
        {FaultCode::ChunkDropped, "chunk-dropped"},
        {FaultCode::RateChanged, "rate-changed"},
        {FaultCode::TempRemoved, "removed-temporary"},
        {FaultCode::StartPastEnd, "start-past-end"},
        {FaultCode::ManyFrames, "many-frames"},
        {FaultCode::LargeStage, "large-stage"},
        {FaultCode::FastRate, "fast-rate"},
        {FaultCode::LargeMovie, "large-movie"},
        {FaultCode::SoundNotStreamed, "sound-not-streamed"},
        {FaultCode::SoundCut, "sound-cut"},
        {FaultCode::OverTargetSize, "over-target-size"},
        {FaultCode::SoundOverTarget, "sound-over-target-size"},
    };
    ASSERT_EQ(std::size(names), static_cast<std::size_t>(FaultCode::SoundOverTarget) + 1)
        << "a code without a row here";
    const std::string manual = slurp(VANTREL_SOURCE_DIR "/manual/index.html");
    const std::string page = slurp(VANTREL_SOURCE_DIR "/cli/vantrel-cli.1");
    std::set<std::string> seen;
    for (const auto& [code, name] : names) {
        EXPECT_EQ(faultCodeName(code), name);
        EXPECT_TRUE(seen.insert(name).second) << name;
        EXPECT_NE(manual.find("<code>" + std::string(name) + "</code>"), std::string::npos)
            << name << " is not in the manual";
        std::string escaped;
        for (char c : std::string(name)) escaped += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(page.find(".B " + escaped + "\n"), std::string::npos)
            << name << " is not in the manual page";
    }
}

Fault with(Fault fault, const std::string& detail, std::optional<std::int64_t> frame = {}) {
    fault.detail = detail;
    fault.frame = frame;
    return fault;
}

Fault counting(Fault fault, double a, double b = 0, double c = 0, double d = 0, double e = 0,
               double f = 0) {
    fault.values = {a, b, c, d, e, f};
    return fault;
}

// Every step's words, the only place a fault becomes text.
TEST(Fault, EachStepHasItsWords) {
    using C = FaultCode;
    using S = FaultStep;
    const std::pair<Fault, const char*> cases[] = {
        {with({C::NotFound, S::ReadFile, "/a/b.mp3"}, "gone"), "cannot read /a/b.mp3: gone"},
        {writeFault(S::WriteFile, "/a/w.swf", ENOSPC),
         "cannot write /a/w.swf: No space left on device"},
        {with({C::WriteFailed, S::MakeFolder, "/o/a"}, "Not a directory"),
         "cannot make the folder /o/a: Not a directory"},
        {{C::NotAFolder, S::DropItem, "/a/x.txt"}, "Select folder not file."},
        {{C::NotFound, S::DropItem, "/gone"}, "No such file or directory"},
        {{C::Unreadable, S::DropItem, "/locked"}, "cannot be read"},
        {{C::Unreadable, S::PassOver, "/a/locked"}, "cannot be read, passed over"},
        {with({C::Unreadable, S::ReadPicture, "/a/w7.bmp"}, "not a regular file"),
         "/a/w7.bmp: cannot be read: not a regular file"},
        {{C::Unsupported, S::ChooseReader, "/a/w7.GIF"}, "/a/w7.GIF: no reader for .gif files"},
        {with({C::TooLarge, S::DecodePicture, "/a/w7.PNG"}, "image width exceeds user limit"),
         "/a/w7.PNG: cannot be decoded as a png picture (damaged, of an unsupported kind, or "
         "over 64 megapixels)"},
        {with({C::TooLarge, S::StorePicture, "/v/c.avi"}, "too wide", 12),
         "/v/c.avi frame 12: too wide"},
        {with({C::Damaged, S::DecodeFrame, "/v/c.avi"}, "", -1), "/v/c.avi frame -1: cannot be decoded"},
        {{C::Unreadable, S::OpenVideo, "/v/c.avi"}, "video cannot be opened"},
        {{C::TooLarge, S::OpenVideo, "/v/c.avi"}, "frame too large"},
        {{C::NoVideo, S::OpenVideo, "/v/c.mp4"}, "it has no video stream"},
        {counting({C::TooShort, S::TimeVideo}, 12.5f), "shorter than one frame at 12.5 frames per second"},
        {counting({C::TooManyFrames, S::TimeVideo}, 29.97f),
         "longer than one movie can hold (32767 frames at 29.97 frames per second)"},
        {{C::NoPictures, S::CountPictures}, "no pictures"},
        {counting({C::TooManyFrames, S::CountPictures}, 40000),
         "40000 pictures are more than one movie can hold (32767)"},
        {{C::NoPictureRead, S::MakeMovie}, "no picture could be read: no movie written"},
        {{C::OutOfMemory, S::MakeMovie}, "not enough memory for its frames"},
        {with({C::OutOfMemory, S::MakeMovie}, "Resource temporarily unavailable"),
         "Resource temporarily unavailable"},
        {{C::Stopped, S::MakeMovie}, "stopped before its movie was written"},
        {{C::Stopped, S::StartJob}, "not started: the batch was stopped"},
        {{C::MovieExists, S::StartJob, "/a/w.swf"}, "movie exists: /a/w.swf"},
        {[] {
             Fault f(C::DuplicateMovie, S::StartJob, "/a/c.swf");
             f.other = "/a/c.avi";
             return f;
         }(),
         "its movie /a/c.swf is already made from /a/c.avi in this batch"},
        {with({C::Unreadable, S::LoadSound, "/a/w.mp3"}, "Permission denied"),
         "no sound: cannot read /a/w.mp3: Permission denied"},
        {with({C::Unsupported, S::LoadSound, "/a/w.mp3"}, "it is no MPEG audio"),
         "no sound: cannot use /a/w.mp3: it is no MPEG audio"},
        {counting({C::SoundReencoded, S::ReencodeSound, "/a/w.mp3"}, 48000, 44100),
         "w.mp3 is at 48 kHz, re-encoded at 44.1 kHz"},
        {counting({C::SoundReencoded, S::ReencodeSound, "/a/phone.mp3"}, 8000, 11025),
         "phone.mp3 is at 8 kHz, re-encoded at 11.025 kHz"},
        {counting(with({C::SoundReencoded, S::ReencodeSound, "/a/w.mp3"}, "AAC"), 22050, 22050),
         "w.mp3 is AAC, re-encoded as MP3 at 22.05 kHz"},
        {counting(with({C::SoundReencoded, S::ReencodeSound, "/a/w.mp3"}, "FLAC"), 96000, 44100),
         "w.mp3 is FLAC, re-encoded as MP3 at 44.1 kHz from 96 kHz"},
        {with({C::NoSound, S::LoadSound, "/a/w.mp3"}, "it holds no sound FFmpeg can decode"),
         "no sound: cannot use /a/w.mp3: it holds no sound FFmpeg can decode"},
        {counting(with({C::Damaged, S::ReencodeSound, "/a/w.mp3"}, "its sound cannot be decoded"),
                  8000),
         "no sound: cannot re-encode /a/w.mp3 from 8 kHz: its sound cannot be decoded"},
        {with({C::Unreadable, S::VideoSound, "/v/c.avi"}, "it cannot be opened"),
         "no sound: cannot use the sound of /v/c.avi: it cannot be opened"},
        {counting({C::SizeDiffers, S::PictureSize, "/a/w3.bmp"}, 4, 3, 6, 5),
         "w3.bmp is 4 x 3 pixels, the stage 6 x 5"},
        {counting({C::SizeDiffers, S::PictureSize, "/a/w3.bmp"}, 4, 3, 6, 5, 4, 3),
         "w3.bmp is 4 x 3 pixels, the stage 6 x 5"},
        {counting({C::SizeDiffers, S::PictureSize, "/a/d1.png"}, 400, 300, 150, 150, 150, 113),
         "d1.png is 400 x 300 pixels, scaled to 150 x 113, the stage 150 x 150"},
        {counting({C::SizeDiffers, S::PictureSize}, 7), "7 more pictures differ in size from the stage"},
        {counting({C::PicturesEndEarly, S::VideoEnd, "/v/clip.mkv"}, 17.96, 60.023),
         "clip.mkv: pictures end at 18.0 s, the file says 60.0 s"},
        {counting({C::SoundRunsOn, S::VideoEnd, "/v/clip.mp4"}, 3, 6.04),
         "clip.mp4: pictures end at 3.0 s, the sound runs on to 6.0 s"},
        {{C::ChunkDropped, S::DropChunk, "/a/w3.png"},
         "/a/w3.png: an ancillary chunk with a bad checksum (text, time, gamma or the like) was "
         "left out"},
        {counting({C::ChunkDropped, S::DropChunk}, 5),
         "5 more pictures were read without such chunks"},
        {counting({C::RateChanged, S::StoreRate}, 0.01f, 2 / 256.0),
         "the rate 0.01 frames per second is stored in the movie as 0.00781"},
        {{C::TempRemoved, S::ClearFolder, "/a/.vantrel-0123abcd.tmp"},
         "removed /a/.vantrel-0123abcd.tmp, a temporary file left by an interrupted run"},
        {counting({C::StartPastEnd, S::CutSource, "/v/c.avi"}, 12, 9.96),
         "the start at 12.0 s is past the end of its pictures at 10.0 s"},
        {counting({C::ManyFrames, S::PlayerLimit}, 16001),
         "16001 frames: Flash Player stops at 16000; cut the movie with --end or lower --rate"},
        {counting({C::LargeStage, S::PlayerLimit}, 5120, 2880),
         "the stage is 5120 x 2880 pixels: phones show pictures over 4096 pixels black; fit it "
         "with --max-size"},
        {counting({C::FastRate, S::PlayerLimit}, 119.88f),
         "119.88 frames per second: Flash Player plays at most 60, Ruffle faster, so the movie "
         "plays at different speeds; lower --rate"},
        {counting({C::LargeMovie, S::PlayerLimit}, 52e6),
         "the movie is 52 MB: browsers load all of it before its first frame shows; shrink it "
         "with --target-size or --max-size"},
        {counting({C::LargeMovie, S::PlayerLimit}, 73'456'789),
         "the movie is 73.5 MB: browsers load all of it before its first frame shows; shrink it "
         "with --target-size or --max-size"},
        {counting({C::SoundNotStreamed, S::StreamSound, "/a/walk.mp3"}, 0.5f, 88200),
         "the sound of walk.mp3 is played as one event sound, not streamed: at 0.5 frames per "
         "second a frame holds 88200 samples, more than a stream block can (65535)"},
        {counting({C::SoundCut, S::StreamSound, "/v/clip.avi"}, 3.02, 2),
         "the sound of clip.avi lasts 3.0 s, the movie 2.0 s: streamed, it stops with the movie"},
        {counting({C::OverTargetSize, S::FitSize}, 1457000, 800000, 1, 1),
         "even at quality 1 the movie would take about 1.46 MB, more than the target size of "
         "800 kB: make its pictures smaller with --max-size"},
        {counting({C::OverTargetSize, S::FitSize}, 5000100, 5e6, 37),
         "the movie came to 5000100 bytes at quality 37, more than the target size of 5000000 "
         "bytes"},
        {counting({C::OverTargetSize, S::FitSize}, 912, 640, 1),
         "the movie came to 912 bytes at quality 1, more than the target size of 640 bytes: make "
         "its pictures smaller with --max-size"},
        {counting({C::SoundOverTarget, S::FitSound, "/v/clip.swf"}, 1382400, 800000),
         "the video's own sound alone takes 1.38 MB, more than the target size of 800 kB: "
         "convert a shorter part with --end, or leave it out with --no-video-sound"},
        {[] {
             Fault f = counting({C::SoundOverTarget, S::FitSound, "/a/walk.swf"}, 1382400, 8e5);
             f.other = "/a/walk.mp3";
             return f;
         }(),
         "the sound of walk.mp3 alone takes 1.38 MB, more than the target size of 800 kB: "
         "convert a shorter part with --end, or give the job a smaller sound file"},
    };
    for (const auto& [fault, words] : cases) EXPECT_EQ(faultText(fault, commandLineName), words);
}

// The window's words name its dialog's fields where the command line's name
// options, and leave out advice it has no control for.
TEST(Fault, TheWindowNamesTheDialogsFields) {
    using C = FaultCode;
    using S = FaultStep;
    const std::pair<Fault, const char*> cases[] = {
        {counting({C::ManyFrames, S::PlayerLimit}, 20000),
         "20000 frames: Flash Player stops at 16000; cut the movie with End (More options) or "
         "lower Frame Rate"},
        {counting({C::SoundOverTarget, S::FitSound, "/v/clip.swf"}, 1382400, 800000),
         "the video's own sound alone takes 1.38 MB, more than the target size of 800 kB: "
         "convert a shorter part with End (More options)"},
    };
    for (const auto& [fault, words] : cases) EXPECT_EQ(faultText(fault, windowName), words);
}

// The codes of failed system calls, reading and writing.
TEST(Fault, ErrnoGivesTheCode) {
    EXPECT_EQ(readFaultCode(ENOENT), FaultCode::NotFound);
    EXPECT_EQ(readFaultCode(ENOTDIR), FaultCode::NotFound);
    EXPECT_EQ(readFaultCode(EACCES), FaultCode::Unreadable);
    EXPECT_EQ(readFaultCode(EFBIG), FaultCode::TooLarge);
    EXPECT_EQ(writeFaultCode(ENOSPC), FaultCode::DiskFull);
    EXPECT_EQ(writeFaultCode(EDQUOT), FaultCode::DiskFull);
    EXPECT_EQ(writeFaultCode(ENOENT), FaultCode::WriteFailed);
    EXPECT_EQ(writeFaultCode(ENOMEM), FaultCode::OutOfMemory);
}

}  // namespace
}  // namespace vantrel
