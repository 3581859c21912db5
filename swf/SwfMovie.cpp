#include "swf/SwfMovie.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "swf/AtomicFile.h"

namespace vantrel {

namespace {
constexpr std::uint8_t kSwfVersion = 4;
constexpr std::int32_t kFixedRectLimit = 16384;  // twips that fit the 15-bit fields
constexpr std::uint64_t kMaxFileLength = 0xFFFFFFFFu;
// Headers take 21 to 29 bytes, whatever the frame size.
constexpr std::uint64_t kMaxHeaderChange = 8;
constexpr const char* kTooLong = "the movie would reach 4 GiB, more than a SWF file can hold";

Fault refusal(const std::filesystem::path& path, FaultCode code, const std::string& reason) {
    return {code, FaultStep::WriteFile, path.string(), reason};
}
}  // namespace

std::int32_t headerRate(float frameRate) {
    if (!(frameRate > 0.0f && frameRate < 256.0f)) return 0;
    return static_cast<std::int32_t>(frameRate * 256);
}

std::optional<Fault> storedRateWarning(float frameRate) {
    const std::int32_t stored = headerRate(frameRate);
    const double storedRate = stored / 256.0;
    if (stored == 0 || std::abs(storedRate - frameRate) <= 0.005 * frameRate) return std::nullopt;
    Fault warning(FaultCode::RateChanged, FaultStep::StoreRate);
    warning.values = {frameRate, storedRate};
    return warning;
}

SwfMovie::SwfMovie() = default;

SwfMovie::~SwfMovie() = default;

void SwfMovie::addTag(std::unique_ptr<SwfTag> tag) {
    if (tag->countsAsFrame()) ++frameCount_;
    if (tag->placesCharacter()) ++placementCount_;
    if (file_) {
        writeTag(*tag);
    } else {
        tags_.push_back(std::move(tag));
    }
}

std::uint64_t SwfMovie::tagBytes() const {
    std::uint64_t bytes = 0;
    for (const std::unique_ptr<SwfTag>& tag : tags_) {
        SwfStream record;
        tag->write(record);
        bytes += record.totalLength();
    }
    return bytes;
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

bool SwfMovie::streamTo(const std::filesystem::path& path, std::int32_t width, std::int32_t height,
                        Fault& why) {
    if (!openFile(path, width, height, why)) return false;
    for (const auto& tag : tags_) writeTag(*tag);
    tags_.clear();
    return true;
}

bool SwfMovie::openFile(const std::filesystem::path& path, std::int32_t width, std::int32_t height,
                        Fault& why) {
    auto file = std::make_unique<AtomicFile>(path);
    if (!file->open(why)) return false;
    SwfStream room;
    writeMovieHeader(room, 0, std::max(width, 0), std::max(height, 0), 0, 0);
    file_ = std::move(file);
    filePath_ = path;
    reservedHeader_ = room.count();
    written_ = 0;
    streamFault_.reset();
    writeRecords(room);
    return true;
}

void SwfMovie::writeTag(const SwfTag& tag) {
    SwfStream record;
    tag.write(record);
    writeRecords(record);
}

void SwfMovie::writeRecords(SwfStream& records) {
    if (streamFault_) return;
    const std::uint64_t length = records.totalLength();
    // The final header differs from the room kept for it by a few bytes at
    // most: past this the file cannot be held, and is not written on.
    if (written_ + length > kMaxFileLength + kMaxHeaderChange) {
        streamFault_ = refusal(filePath_, FaultCode::TooLarge, kTooLong);
        return;
    }
    errno = 0;
    if (!records.writeToFile(file_->stream())) {
        streamFault_ = writeFault(FaultStep::WriteFile, filePath_.string(), errno != 0 ? errno : EIO);
        return;
    }
    written_ += length;
}

WriteResult SwfMovie::write(const std::filesystem::path& path, std::int32_t width,
                            std::int32_t height, std::int32_t rate, std::uint64_t lengthLimit,
                            std::int32_t quality) {
    // Every movie restarts its ids, whatever becomes of this file.
    const std::uint32_t characters = charactersDrawn_;
    charactersDrawn_ = 0;
    // A refused movie leaves no temporary file behind.
    auto refuse = [&](FaultCode code, const std::string& reason) {
        file_.reset();
        return WriteResult{false, refusal(path, code, reason)};
    };

    if (file_ && path != filePath_) {
        return refuse(FaultCode::WriteFailed, "the movie is being written to " + filePath_.string());
    }
    if (rate <= 0 || rate > 0xFFFF) {
        return refuse(FaultCode::Unsupported,
                      "the frame rate is outside 0.01 to 255 frames per second");
    }
    if (frameCount_ > 0xFFFF) {
        return refuse(FaultCode::TooManyFrames, std::to_string(frameCount_) +
                                                    " frames are more than a movie can hold (65535)");
    }
    if (characters > 0xFFFF) {
        return refuse(FaultCode::TooManyFrames, "too many pictures for one movie (" +
                                                    std::to_string(characters) +
                                                    " characters, at most 65535)");
    }
    // The header's 5-bit width field allows values below 2^30 twips.
    if (width < 0 || height < 0 || maxAbs(width, height) >= (1 << 30)) {
        return refuse(FaultCode::TooLarge, "the frame size cannot be stored");
    }

    // A movie that kept its tags writes them all now, and keeps them.
    if (!file_) {
        WriteResult opened;
        if (!openFile(path, width, height, opened.fault)) return opened;
        for (const auto& tag : tags_) writeTag(*tag);
    }
    SwfStream end;
    end.writeTagHeader(static_cast<std::uint16_t>(TagCode::End), 0);
    writeRecords(end);

    SwfStream header;
    writeMovieHeader(header, 0, width, height, static_cast<std::uint16_t>(rate),
                     static_cast<std::uint16_t>(frameCount_));
    const std::uint64_t fileLength = written_ - reservedHeader_ + header.count();
    if (!streamFault_ && fileLength > kMaxFileLength) {
        streamFault_ = refusal(path, FaultCode::TooLarge, kTooLong);
    }
    if (!streamFault_ && fileLength > lengthLimit) {
        Fault over(FaultCode::OverTargetSize, FaultStep::FitSize, path.string());
        over.values = {static_cast<double>(fileLength), static_cast<double>(lengthLimit),
                       static_cast<double>(quality)};
        streamFault_ = std::move(over);
    }
    WriteResult result;
    if (!streamFault_) {
        SwfStream finalHeader;
        writeMovieHeader(finalHeader, static_cast<std::uint32_t>(fileLength), width, height,
                         static_cast<std::uint16_t>(rate), static_cast<std::uint16_t>(frameCount_));
        result = finish(path, finalHeader);
    } else {
        file_.reset();
        result = {false, *streamFault_};
    }
    file_.reset();
    return result;
}

// Puts the header in the room kept for it, or, when its length differs,
// writes it to a second temporary file followed by the tags.
WriteResult SwfMovie::finish(const std::filesystem::path& path, const SwfStream& header) {
    WriteResult result;
    std::FILE* tags = file_->stream();
    errno = 0;
    if (header.count() == reservedHeader_) {
        if (std::fflush(tags) != 0 || std::fseek(tags, 0, SEEK_SET) != 0 ||
            std::fwrite(header.bytes(), 1, header.count(), tags) != header.count()) {
            return {false, writeFault(FaultStep::WriteFile, path.string(), errno != 0 ? errno : EIO)};
        }
        result.written = file_->commit(result.fault);
        return result;
    }
    AtomicFile moved(path);
    if (!moved.open(result.fault)) return result;
    std::vector<std::uint8_t> chunk(1 << 20);
    bool copied = std::fflush(tags) == 0 && std::fseek(tags, reservedHeader_, SEEK_SET) == 0 &&
                  std::fwrite(header.bytes(), 1, header.count(), moved.stream()) == header.count();
    while (copied) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), tags);
        if (got == 0) {
            copied = !std::ferror(tags);
            break;
        }
        copied = std::fwrite(chunk.data(), 1, got, moved.stream()) == got;
    }
    if (!copied) {
        return {false, writeFault(FaultStep::WriteFile, path.string(), errno != 0 ? errno : EIO)};
    }
    result.written = moved.commit(result.fault);
    return result;
}

}  // namespace vantrel
