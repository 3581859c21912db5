#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>
#include <mutex>
#include <thread>

#include "app/ReportText.h"
#include "convert/ConvertDriver.h"

namespace vantrel {

// Runs the Convert command's batch on a thread of its own, so the window
// keeps painting, and hands its report back on the window's thread.
class BatchRunner : public QObject {
    Q_OBJECT

  public:
    explicit BatchRunner(FrameSourceFactory makeFrameSource = {}, QObject* parent = nullptr);
    // Stops a running batch after its current frame and waits for it.
    ~BatchRunner() override;

    // Carries out the plan with the settings, both copied: the window may
    // change its own while the batch runs.
    void start(BatchPlan plan, ConvertSettings settings);
    // Asks the batch to stop after the current frame.
    void stop();
    bool isRunning() const { return worker_.joinable(); }
    BatchProgress progress() const;

  signals:
    // Emitted a few times a second while the batch advances.
    void progressed();
    // A job's outcome, as soon as the batch knows it (`job` is its place in
    // the report); all of them come before `finished`.
    void jobFinished(std::size_t job, const vantrel::JobOutcome& outcome);
    void finished(const vantrel::ConvertReport& report);

  private:
    class Observer;

    void workerDone();
    void passOutcomes();

    FrameSourceFactory makeFrameSource_;
    std::unique_ptr<Observer> observer_;
    std::thread worker_;
    ConvertReport report_;
    QTimer poll_;
};

}  // namespace vantrel
