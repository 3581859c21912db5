#include "swf/SwfMovie.h"

#include <cerrno>
#include <cstring>

#include "swf/AtomicFile.h"

namespace vantrel {

namespace {
constexpr std::uint8_t kSwfVersion = 4;
constexpr std::int32_t kFixedRectLimit = 16384;  // twips that fit the 15-bit fields
constexpr std::uint64_t kMaxFileLength = 0xFFFFFFFFu;

std::string refusal(const std::filesystem::path& path, const std::string& reason) {
    return "cannot write " + path.string() + ": " + reason;
}
}  // namespace

void SwfMovie::addTag(std::unique_ptr<SwfTag> tag) {
    if (tag->countsAsFrame()) ++frameCount_;
    if (tag->placesCharacter()) ++placementCount_;
    tags_.push_back(std::move(tag));
}

std::uint16_t SwfMovie::nextCharacterId() {
    ++charactersDrawn_;
    return static_cast<std::uint16_t>(charactersDrawn_);
}

void writeMovieHeader(SwfStream& out, std::uint32_t fileLength, std::int32_t width,
                      std::int32_t height, std::uint16_t rate, std::uint16_t frameCount) {
    out.writeU8('F');
    out.writeU8('W');
    out.writeU8('S');
    out.writeU8(kSwfVersion);
    out.writeU32(fileLength);
    const std::int32_t largest = maxAbs(width, height);
    const unsigned n = largest < kFixedRectLimit ? 15 : bitsNeeded(largest, 1);
    out.writeBits(n, 5);
    out.writeBits(0, n);
    out.writeBits(width, n);
    out.writeBits(0, n);
    out.writeBits(height, n);
    out.align();
    out.writeU8(rate & 0xFF);
    out.writeU8(rate >> 8);
    out.writeU16(frameCount);
}

WriteResult SwfMovie::write(const std::filesystem::path& path, std::int32_t width,
                            std::int32_t height, std::int32_t rate) {
    // Every movie restarts its ids, whatever becomes of this file.
    const std::uint32_t characters = charactersDrawn_;
    charactersDrawn_ = 0;

    if (rate <= 0 || rate > 0xFFFF) {
        return {false, refusal(path, "the frame rate is outside 0.01 to 255 frames per second")};
    }
    if (frameCount_ > 0xFFFF) {
        return {false, refusal(path, std::to_string(frameCount_) +
                                         " frames are more than a movie can hold (65535)")};
    }
    if (characters > 0xFFFF) {
        return {false, refusal(path, "too many pictures for one movie (" +
                                         std::to_string(characters) +
                                         " characters, at most 65535)")};
    }
    // The header's 5-bit width field allows values below 2^30 twips.
    if (width < 0 || height < 0 || maxAbs(width, height) >= (1 << 30)) {
        return {false, refusal(path, "the frame size cannot be stored")};
    }

    SwfStream header;
    writeMovieHeader(header, 0, width, height, static_cast<std::uint16_t>(rate),
                     static_cast<std::uint16_t>(frameCount_));
    const std::uint32_t headerSize = header.count();

    SwfStream movie;
    for (std::uint32_t i = 0; i < headerSize; ++i) movie.writeU8(0);
    for (const auto& tag : tags_) tag->write(movie);
    movie.writeTagHeader(static_cast<std::uint16_t>(TagCode::End), 0);

    const std::uint64_t fileLength = movie.totalLength();
    if (fileLength > kMaxFileLength) {
        return {false, refusal(path, "the movie would reach 4 GiB, more than a SWF file can hold")};
    }

    SwfStream finalHeader;
    writeMovieHeader(finalHeader, static_cast<std::uint32_t>(fileLength), width, height,
                     static_cast<std::uint16_t>(rate), static_cast<std::uint16_t>(frameCount_));
    std::memcpy(movie.bytes(), finalHeader.bytes(), headerSize);

    WriteResult result;
    AtomicFile file(path);
    if (!file.open(result.error)) return result;
    errno = 0;
    if (!movie.writeToFile(file.stream())) {
        result.error = refusal(path, std::strerror(errno != 0 ? errno : EIO));
        return result;
    }
    result.written = file.commit(result.error);
    return result;
}

}  // namespace vantrel
