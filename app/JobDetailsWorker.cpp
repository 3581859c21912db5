#include "app/JobDetailsWorker.h"

#include <filesystem>

#include "base/FileBuffer.h"
#include "base/Formats.h"
#include "image/ImageReaders.h"
#include "video/VideoFrameSource.h"
#include "video/VideoHeader.h"

namespace vantrel {

namespace {

// A thumbnail of the picture; a large one is first shrunk fast, then smoothly.
QImage thumbnailOf(const RasterImage& picture) {
    // The pixels' memory order blue, green, red, alpha is ARGB32 here.
    const QImage whole(reinterpret_cast<const uchar*>(picture.pixels.data()), picture.width,
                       picture.height, qsizetype(picture.width) * 4, QImage::Format_ARGB32);
    const QSize rough = kThumbnailSize * 4;
    const QImage shrunk = whole.width() > rough.width() || whole.height() > rough.height()
                              ? whole.scaled(rough, Qt::KeepAspectRatio, Qt::FastTransformation)
                              : whole;
    // A copy of its own: a picture already small enough would share the pixels.
    return shrunk.scaled(kThumbnailSize, Qt::KeepAspectRatio, Qt::SmoothTransformation).copy();
}

// Past this many entries the cache starts again, so its memory stays bounded.
constexpr std::size_t kCacheLimit = 4096;

}  // namespace

JobDetails readJobDetails(const JobTableModel::DetailsSource& source) {
    JobDetails details;
    details.id = source.id;
    if (source.video) {
        VideoFrameSource video;
        if (video.open(source.path)) {
            details.timing = VideoTiming{video.picturesEnd(), video.durationSeconds()};
            details.width = video.videoWidth();
            details.height = video.videoHeight();
            RasterImage frame;
            if (video.grabFrame(0, frame)) details.thumbnail = thumbnailOf(frame);
            details.silent = !readVideoHeader(source.path).sound;
        } else {
            // The run fails to open it too: its movie gets no sound.
            details.silent = true;
        }
        video.close();
        return details;
    }
    FileBuffer file;
    const InputFormat* format = formatOfName(source.path);
    RasterImage picture;
    if (format != nullptr && file.load(source.path) &&
        decodePicture(format->reader, picture, file.data(), file.size())) {
        details.width = picture.width;
        details.height = picture.height;
        details.thumbnail = thumbnailOf(picture);
    }
    return details;
}

JobDetailsWorker::JobDetailsWorker(QObject* parent) : QObject(parent) {
    thread_ = std::thread([this] { run(); });
}

JobDetailsWorker::~JobDetailsWorker() {
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
        queue_.clear();
    }
    wake_.notify_one();
    thread_.join();
}

void JobDetailsWorker::request(std::vector<JobTableModel::DetailsSource> sources) {
    {
        const std::lock_guard lock(mutex_);
        queue_.assign(std::make_move_iterator(sources.begin()),
                      std::make_move_iterator(sources.end()));
    }
    wake_.notify_one();
}

void JobDetailsWorker::run() {
    for (;;) {
        JobTableModel::DetailsSource source;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
            if (quit_) return;
            source = std::move(queue_.front());
            queue_.pop_front();
        }
        QMetaObject::invokeMethod(
            this, [this, details = detailsOf(source)] { emit ready(details); },
            Qt::QueuedConnection);
    }
}

JobDetails JobDetailsWorker::detailsOf(const JobTableModel::DetailsSource& source) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path path(source.path);
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) return readJobDetails(source);
    const fs::file_time_type changed = fs::last_write_time(path, error);
    if (error) return readJobDetails(source);
    const CacheKey key{source.path, size, changed.time_since_epoch().count()};
    if (const auto found = cache_.find(key); found != cache_.end()) {
        JobDetails details = found->second;
        details.id = source.id;
        return details;
    }
    JobDetails details = readJobDetails(source);
    if (cache_.size() >= kCacheLimit) cache_.clear();
    cache_.emplace(key, details);
    return details;
}

}  // namespace vantrel
