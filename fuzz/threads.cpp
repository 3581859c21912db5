// A whole video conversion on one thread and on three: any bytes, written as
// a video file, converted through the plan's driver with its frames stored
// as JPEG at 25 frames per second and losslessly at 10, which skips frames.
// Both thread counts must give the same outcome, the same lines for frames
// that gave no picture, and the same movie, byte for byte.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "MemoryFile.h"
#include "MovieFolder.h"
#include "base/FileBuffer.h"
#include "convert/ConvertDriver.h"
#include "convert/OptionTable.h"
#include "video/VideoFrameSource.h"

namespace {

// Movie frames per conversion at most: a long stated length is sampled at a
// lower rate, which also makes the conversion move far ahead between frames.
constexpr double kMaxMovieFrames = 240.0;

struct Converted {
    std::string outcome;
    std::vector<std::string> warnings;
    std::vector<std::uint8_t> movie;
    bool operator==(const Converted&) const = default;
};

Converted convert(const vantrel::BatchPlan& plan, const vantrel::ConvertSettings& settings,
                  unsigned threads) {
    const vantrel::ConvertReport report = vantrel::carryOut(plan, settings, nullptr, {}, threads);
    const vantrel::JobOutcome& job = report.jobs.at(0);
    Converted converted{vantrel::outcomeLine(job, vantrel::commandLineName), vantrel::warningLines(job, vantrel::commandLineName), {}};
    if (job.status == vantrel::JobOutcome::Status::Converted) {
        vantrel::FileBuffer movie;
        if (!movie.load(job.outputPath)) std::abort();  // it was written a moment ago
        converted.movie = movie.take();
    }
    return converted;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vantrel::fuzz::MemoryFile file(data, size);
    if (!file.ready()) return 0;
    double seconds;
    {
        vantrel::VideoFrameSource probe;
        if (!probe.open(file.path())) return 0;
        seconds = probe.durationSeconds();
    }

    static const vantrel::fuzz::MovieFolder folder;
    vantrel::PlannedJob job;
    job.input = vantrel::VideoJob{file.path()};
    job.source = file.path();
    job.moviePath = (folder.path() / "movie.swf").string();
    job.sound.choice = vantrel::PlannedSound::Choice::VideoSoundOff;
    vantrel::BatchPlan plan;
    plan.jobs.push_back(job);

    const struct {
        vantrel::CompressionType compression;
        double rate;
    } storages[] = {{vantrel::CompressionType::Jpeg, 25.0},
                    {vantrel::CompressionType::Lossless, 10.0}};
    for (const auto& storage : storages) {
        vantrel::ConvertSettings settings;
        settings.compression = storage.compression;
        settings.outputHtml = false;
        settings.videoSound = false;
        const double rate = seconds * storage.rate > kMaxMovieFrames
                                ? std::max(0.01, kMaxMovieFrames / seconds)
                                : storage.rate;
        settings.frameRate = static_cast<float>(rate);
        if (!(convert(plan, settings, 1) == convert(plan, settings, 3))) std::abort();
    }
    return 0;
}
