#include "app/BatchRunner.h"

namespace vantrel {

// Lives on the batch's thread: records where the batch stands for the window
// to pick up, and passes the stop request on.
class BatchRunner::Observer : public ConvertObserver {
  public:
    void jobStarted(std::size_t job, std::size_t jobCount, const std::string&,
                    const std::string& moviePath) override {
        const std::lock_guard lock(mutex_);
        progress_ = {job, jobCount, moviePath, 0, 0};
        changed_ = true;
    }
    void frameAdded(std::int32_t framesDone, std::int32_t framesTotal) override {
        const std::lock_guard lock(mutex_);
        progress_.framesDone = framesDone;
        progress_.framesTotal = framesTotal;
        changed_ = true;
    }
    bool stopRequested() override { return stop_.load(); }

    void requestStop() { stop_.store(true); }
    BatchProgress progress() const {
        const std::lock_guard lock(mutex_);
        return progress_;
    }
    // True once after each change.
    bool takeChanged() {
        const std::lock_guard lock(mutex_);
        return std::exchange(changed_, false);
    }

  private:
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    BatchProgress progress_;
    bool changed_ = false;
};

BatchRunner::BatchRunner(FrameSourceFactory makeFrameSource, QObject* parent)
    : QObject(parent), makeFrameSource_(std::move(makeFrameSource)) {
    // Frames can come thousands a second; the window reads the newest state
    // at a pace a person can follow.
    poll_.setInterval(100);
    connect(&poll_, &QTimer::timeout, this, [this] {
        if (observer_ && observer_->takeChanged()) emit progressed();
    });
}

BatchRunner::~BatchRunner() {
    if (!worker_.joinable()) return;
    observer_->requestStop();
    worker_.join();
}

void BatchRunner::start(CVantrelDoc& doc, const ChosenOptions& options) {
    if (isRunning()) return;
    observer_ = std::make_unique<Observer>();
    report_ = {};
    worker_ = std::thread([this, &doc, options] {
        ChosenOptions prompt = options;
        report_ = convertAll(doc, prompt, observer_.get(), makeFrameSource_);
        QMetaObject::invokeMethod(this, &BatchRunner::workerDone, Qt::QueuedConnection);
    });
    poll_.start();
}

void BatchRunner::stop() {
    if (observer_) observer_->requestStop();
}

BatchProgress BatchRunner::progress() const {
    return observer_ ? observer_->progress() : BatchProgress{};
}

void BatchRunner::workerDone() {
    // The thread has nothing left to do but return.
    worker_.join();
    poll_.stop();
    emit finished(report_);
}

}  // namespace vantrel
