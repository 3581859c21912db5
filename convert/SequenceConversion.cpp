#include "convert/SequenceConversion.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/FileBuffer.h"
#include "base/Formats.h"
#include "convert/MovieWriter.h"
#include "convert/QualityChooser.h"
#include "image/ImageReaders.h"
#include "image/PictureScaler.h"

namespace vantrel {

namespace {

// Decodes a picture file with the reader its extension names. False, with
// the reason, when the file cannot be read or decoded. What the reader left
// out of a picture it read is added to `warnings`.
bool readPicture(const std::string& path, RasterImage& picture, Fault& why,
                 std::vector<Fault>& warnings) {
    FileBuffer file;
    if (!file.load(path, &why, FaultStep::ReadPicture)) return false;
    const InputFormat* format = formatOfName(path);
    const PictureReader reader = format != nullptr ? format->reader : PictureReader::None;
    return decodePicture(reader, picture, file.data(), file.size(), &why, &warnings, {path});
}

// One picture of a sequence on its way through the pipeline.
struct PictureFrame {
    std::size_t k = 0;
    std::string path;
    std::int32_t width = 0;  // the picture as the reader left it, fitted to the box
    std::int32_t height = 0;
    PictureSize file;  // as the reader left it
    bool decoded = false;
    std::optional<EncodedFrame> frame;
    Fault why;
    std::vector<Fault> warnings;
};

// A picture placed in a movie, by its number's place in the job.
struct PlacedPicture {
    std::size_t k = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    PictureSize file;
};

// Adds warnings about pictures to the outcome. A few are named; a long run
// of them is counted instead (a fault of `code` and `step` without a path,
// VALUES[0] the number left), so that it does not bury the rest of the
// report.
void warnOfPictures(std::vector<Fault> faults, FaultCode code, FaultStep step,
                    JobOutcome& outcome) {
    constexpr std::size_t kNamed = 3;
    const std::size_t named = faults.size() <= kNamed + 1 ? faults.size() : kNamed;
    for (std::size_t i = 0; i < named; ++i) outcome.warnings.push_back(std::move(faults[i]));
    if (named < faults.size()) {
        Fault more(code, step);
        more.values[0] = static_cast<double>(faults.size() - named);
        outcome.warnings.push_back(std::move(more));
    }
}

// Warns of pictures of another size than the stage, which overflow or
// underfill it.
void warnOfOddSizes(const FolderJob& job, const std::vector<PlacedPicture>& placed,
                    std::int32_t width, std::int32_t height, JobOutcome& outcome) {
    std::vector<Fault> odd;
    for (const PlacedPicture& picture : placed) {
        if (picture.width == width && picture.height == height) continue;
        Fault fault(FaultCode::SizeDiffers, FaultStep::PictureSize, job.picturePath(picture.k));
        fault.values = {static_cast<double>(picture.file.width),
                        static_cast<double>(picture.file.height),
                        static_cast<double>(width),
                        static_cast<double>(height),
                        static_cast<double>(picture.width),
                        static_cast<double>(picture.height)};
        odd.push_back(std::move(fault));
    }
    warnOfPictures(std::move(odd), FaultCode::SizeDiffers, FaultStep::PictureSize, outcome);
}

// Converts the sequence at the settings, with the sound given; the bytes of
// each frame's picture go to pictureBytes (MovieWriter).
JobOutcome convertAt(const PlannedJob& job, const ConvertSettings& settings,
                     ConvertObserver* observer, unsigned threads, JobSound& sound,
                     std::vector<std::uint64_t>& pictureBytes) {
    const FolderJob& sequence = *job.sequence();
    JobOutcome outcome;
    outcome.source = job.source;
    const FrameStorage storage = settings.storage();
    MovieWriter movie(job, settings, observer, static_cast<std::int32_t>(sequence.pictures.size()),
                      outcome, &pictureBytes);
    std::size_t next = 0;
    // The stage takes the size of the picture as the last decode left it,
    // fitted to the box.
    std::int32_t width = 0, height = 0;
    std::vector<PlacedPicture> placed;
    std::vector<Fault> dropped;
    movie.runFrames<PictureFrame>(
        threads,
        [&](PictureFrame& item) {
            if (next == sequence.pictures.size()) return false;
            item.k = next;
            item.path = sequence.picturePath(next++);
            return true;
        },
        [&](PictureFrame& item) {
            RasterImage picture;
            item.decoded = readPicture(item.path, picture, item.why, item.warnings);
            item.file = {picture.width, picture.height};
            if (item.decoded && !fitPicture(picture, settings.maxSize, storage.includeAlpha)) {
                item.decoded = false;
                item.why = Fault(FaultCode::OutOfMemory, FaultStep::StorePicture, item.path,
                                 "cannot scale the picture");
            }
            // The size the picture has in the movie, also where it failed.
            const PictureSize size = fitInside(picture.width, picture.height, settings.maxSize);
            item.width = size.width;
            item.height = size.height;
            if (item.decoded) {
                item.frame = encodeFrame(std::move(picture), storage, &item.why, {item.path});
            }
        },
        [&](PictureFrame& item) {
            if (item.decoded || item.width > 0 || item.height > 0) {
                width = item.width;
                height = item.height;
            }
            for (Fault& warning : item.warnings) dropped.push_back(std::move(warning));
            if (item.frame) {
                placed.push_back({item.k, item.width, item.height, item.file});
            } else {
                outcome.missingPictures.push_back(std::move(item.why));
            }
            return movie.add(item.frame, item.k == 0 ? &sound : nullptr);
        });
    if (movie.ended()) return outcome;
    movie.finish(width, height);
    if (outcome.status == JobOutcome::Status::Converted) {
        warnOfPictures(std::move(dropped), FaultCode::ChunkDropped, FaultStep::DropChunk, outcome);
        warnOfOddSizes(sequence, placed, width, height, outcome);
    }
    return outcome;
}

// The chooser of the sequence's tries: with a target size, picture k is
// frame k, sampled fitted into the settings' box as the movie stores it.
QualityChooser chooserFor(const PlannedJob& job, const ConvertSettings& settings,
                          const JobSound& sound, unsigned threads) {
    if (!aimsAtTargetSize(settings)) return QualityChooser(settings);
    const FolderJob& sequence = *job.sequence();
    const auto pictures = static_cast<std::int32_t>(sequence.pictures.size());
    const MovieLayout layout{pictures, pictures, storedSoundBytes(sound, settings, pictures),
                             sound.companion};
    const auto sample = [&sequence, &settings](
                            const std::vector<std::int64_t>& frames,
                            const std::function<void(std::size_t, const RasterImage&)>& take) {
        for (std::size_t j = 0; j < frames.size(); ++j) {
            RasterImage picture;
            Fault why;
            std::vector<Fault> warnings;
            const std::string path = sequence.picturePath(static_cast<std::size_t>(frames[j]));
            if (readPicture(path, picture, why, warnings) &&
                fitPicture(picture, settings.maxSize, settings.includeAlpha)) {
                take(j, picture);
            }
        }
    };
    return QualityChooser(job, settings, layout, threads, sample);
}

}  // namespace

JobOutcome convertSequence(const PlannedJob& job, const ConvertSettings& settings,
                           ConvertObserver* observer, unsigned threads) {
    const JobSound sound = loadSound(job, 0.0);
    QualityChooser chooser = chooserFor(job, settings, sound, threads);
    while (const std::optional<ConvertSettings> at = chooser.next()) {
        JobSound copy = copySound(sound);
        std::vector<std::uint64_t> pictureBytes;
        JobOutcome outcome = convertAt(job, *at, observer, threads, copy, pictureBytes);
        chooser.tried(std::move(outcome), pictureBytes);
    }
    return std::move(chooser).outcome();
}

}  // namespace vantrel
