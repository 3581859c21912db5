#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

// Every kind of file the program reads: one row each. The folder scan, the
// choice of picture reader, the demuxers FFmpeg may use, the command line's
// help and the manual's lists all come from here, so a new format is one
// row (and, for a picture, its reader).

enum class MediaKind : std::uint8_t {
    Picture,  // one frame of a numbered sequence
    Video,    // a whole movie's frames, and maybe its sound
    Sound,    // a companion sound beside a sequence or video; not scanned for
};

// Which of the picture readers decodes a picture format.
enum class PictureReader : std::uint8_t { None, Tga, Bmp, Jpeg, Png };

// What a file's first bytes must show for it to be taken as its format, for
// extensions that other files go by too (.ts and .mts name TypeScript source).
enum class Signature : std::uint8_t {
    None,             // the name alone decides
    TransportStream,  // MPEG transport stream packets (startsAsTransportStream)
};

struct InputFormat {
    std::string_view extension;  // lower case, without the dot
    MediaKind kind;
    PictureReader reader = PictureReader::None;  // pictures only
    // The FFmpeg demuxers a file of this format may be read with (videos and
    // sounds). Leaving out playlist, concatenation and text demuxers keeps a
    // file from making FFmpeg read other files.
    std::string_view demuxers = {};
    Signature signature = Signature::None;
};

inline constexpr std::string_view kVideoDemuxers =
    "avi,mpeg,mpegts,mpegvideo,m4v,mov,matroska,asf,dv,flv,ogg";
// A companion sound is named .mp3 but may be any sound FFmpeg decodes: bare
// MPEG audio, AAC, AC-3 or FLAC streams, WAV, Wave64, AIFF, CAF and AU files,
// and Ogg, MP4 (M4A), Matroska and ASF (WMA) containers.
inline constexpr std::string_view kSoundDemuxers =
    "mp3,aac,ac3,eac3,flac,wav,w64,aiff,caf,au,ogg,mov,matroska,asf";

// In the order a drop is scanned: pictures first, so that a number found as
// several kinds is read from the first (walk1.tga wins over walk1.bmp).
inline constexpr std::array kInputFormats{
    InputFormat{"tga", MediaKind::Picture, PictureReader::Tga},
    InputFormat{"bmp", MediaKind::Picture, PictureReader::Bmp},
    InputFormat{"jpg", MediaKind::Picture, PictureReader::Jpeg},
    InputFormat{"jpeg", MediaKind::Picture, PictureReader::Jpeg},
    InputFormat{"png", MediaKind::Picture, PictureReader::Png},
    InputFormat{"avi", MediaKind::Video, PictureReader::None, kVideoDemuxers},
    InputFormat{"mpg", MediaKind::Video, PictureReader::None, kVideoDemuxers},
    InputFormat{"mpeg", MediaKind::Video, PictureReader::None, kVideoDemuxers},
    InputFormat{"mp4", MediaKind::Video, PictureReader::None, kVideoDemuxers},
    InputFormat{"m4v", MediaKind::Video, PictureReader::None, kVideoDemuxers},
    InputFormat{"mov", MediaKind::Video, PictureReader::None, kVideoDemuxers},
    InputFormat{"mkv", MediaKind::Video, PictureReader::None, kVideoDemuxers},
    InputFormat{"webm", MediaKind::Video, PictureReader::None, kVideoDemuxers},
    InputFormat{"wmv", MediaKind::Video, PictureReader::None, kVideoDemuxers},
    InputFormat{"flv", MediaKind::Video, PictureReader::None, kVideoDemuxers},
    InputFormat{"ogv", MediaKind::Video, PictureReader::None, kVideoDemuxers},
    // Broadcast recordings; AVCHD camcorders and Blu-ray discs.
    InputFormat{"ts", MediaKind::Video, PictureReader::None, kVideoDemuxers,
                Signature::TransportStream},
    InputFormat{"m2ts", MediaKind::Video, PictureReader::None, kVideoDemuxers,
                Signature::TransportStream},
    InputFormat{"mts", MediaKind::Video, PictureReader::None, kVideoDemuxers,
                Signature::TransportStream},
    // DVD video (a program stream), phones' 3GPP (an MP4) and DV tape.
    InputFormat{"vob", MediaKind::Video, PictureReader::None, kVideoDemuxers},
    InputFormat{"3gp", MediaKind::Video, PictureReader::None, kVideoDemuxers},
    InputFormat{"dv", MediaKind::Video, PictureReader::None, kVideoDemuxers},
    InputFormat{"mp3", MediaKind::Sound, PictureReader::None, kSoundDemuxers},
};

// The row of a file name's extension, letter case aside; nothing for other
// names.
const InputFormat* formatOfName(std::string_view name);

// Whether the file at `path` is of the format as far as its first bytes tell
// (Signature): always for a format without a signature; false when the file
// cannot be read.
bool holdsSignature(const InputFormat& format, const std::string& path);

// Whether a file's first bytes begin an MPEG transport stream: the sync byte
// 0x47 starts each of its first packets (two at least, eight at most), of
// 188 bytes, of 192 with a 4-byte arrival time before it (Blu-ray, AVCHD),
// or of 204 with DVB's 16 check bytes after it.
bool startsAsTransportStream(const std::uint8_t* head, std::size_t size);

// The scan pattern of a format: "*.tga".
std::string scanPattern(const InputFormat& format);

// The scan patterns of one kind, in scan order, for help texts:
// "*.tga, *.bmp, *.jpg, *.jpeg, *.png".
std::string patternList(MediaKind kind);

// Limits on what is read, checked before anything of that size is allocated.
// Pictures and video frames: at most 2^26 pixels (8192 x 8192, 256 MiB
// decoded), far above what a Flash player shows; it bounds what a small
// hostile header can make a reader allocate.
inline constexpr std::uint64_t kMaxPicturePixels = std::uint64_t{1} << 26;
// Input files: under 4 GiB, as the movie's own 32-bit lengths.
inline constexpr std::uint64_t kMaxInputFileBytes = 0xFFFFFFFFu;

// True when a picture of width x height pixels may be decoded: both sides
// above 0 and at most kMaxPicturePixels pixels in all.
inline constexpr bool fitsPictureLimit(std::int64_t width, std::int64_t height) {
    const auto w = static_cast<std::uint64_t>(width);
    const auto h = static_cast<std::uint64_t>(height);
    return width > 0 && height > 0 && w <= kMaxPicturePixels && h <= kMaxPicturePixels &&
           w * h <= kMaxPicturePixels;
}

}  // namespace vantrel
