#include "app/BatchRunner.h"

#include <utility>
#include <vector>

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
    void jobFinished(std::size_t job, const JobOutcome& outcome) override {
        const std::lock_guard lock(mutex_);
        finished_.emplace_back(job, outcome);
        changed_ = true;
    }

    void requestStop() { stop_.store(true); }
    BatchProgress progress() const {
        const std::lock_guard lock(mutex_);
        return progress_;
    }
    // The outcomes told since the last call.
    std::vector<std::pair<std::size_t, JobOutcome>> takeFinished() {
        const std::lock_guard lock(mutex_);
        return std::exchange(finished_, {});
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
    std::vector<std::pair<std::size_t, JobOutcome>> finished_;
    bool changed_ = false;
};

BatchRunner::BatchRunner(FrameSourceFactory makeFrameSource, QObject* parent)
    : QObject(parent), makeFrameSource_(std::move(makeFrameSource)) {
    // Frames can come thousands a second; the window reads the newest state
    // at a pace a person can follow.
    poll_.setInterval(100);
    connect(&poll_, &QTimer::timeout, this, [this] {
        if (!observer_ || !observer_->takeChanged()) return;
        passOutcomes();
        emit progressed();
    });
}

BatchRunner::~BatchRunner() {
    if (!worker_.joinable()) return;
    observer_->requestStop();
    worker_.join();
}

void BatchRunner::start(BatchPlan plan, ConvertSettings settings) {
    if (isRunning()) return;
    observer_ = std::make_unique<Observer>();
    report_ = {};
    worker_ = std::thread([this, plan = std::move(plan), settings = std::move(settings)] {
        report_ = carryOut(plan, settings, observer_.get(), makeFrameSource_);
        QMetaObject::invokeMethod(this, &BatchRunner::workerDone, Qt::QueuedConnection);
    });
    poll_.start();
}

void BatchRunner::stop() {
    if (observer_) observer_->requestStop();
}

void BatchRunner::passOutcomes() {
    for (const auto& [job, outcome] : observer_->takeFinished()) emit jobFinished(job, outcome);
}

BatchProgress BatchRunner::progress() const {
    return observer_ ? observer_->progress() : BatchProgress{};
}

void BatchRunner::workerDone() {
    // The thread has nothing left to do but return.
    worker_.join();
    poll_.stop();
    passOutcomes();
    emit finished(report_);
}

}  // namespace vantrel
