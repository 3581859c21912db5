#include "app/JobDetailsWorker.h"

#include "base/FileBuffer.h"
#include "base/Formats.h"
#include "image/ImageReaders.h"
#include "video/VideoFrameSource.h"

namespace vantrel {

JobDetails readJobDetails(const JobTableModel::DetailsSource& source) {
    JobDetails details;
    details.id = source.id;
    if (source.video) {
        VideoFrameSource video;
        if (video.open(source.path)) {
            details.frames = video.frameCount();
            details.width = video.videoWidth();
            details.height = video.videoHeight();
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
            this, [this, details = readJobDetails(source)] { emit ready(details); },
            Qt::QueuedConnection);
    }
}

}  // namespace vantrel
