#pragma once

#include <QObject>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "app/JobTableModel.h"

namespace vantrel {

// Reads what the details view shows of a job beyond the plan: a sequence's
// first picture (for its size), a video's stream (its size as shown and
// its frames). Nothing of it is known when the file cannot be read.
JobDetails readJobDetails(const JobTableModel::DetailsSource& source);

// Reads job details one after the other on a thread of its own, so that a
// drop of many jobs never waits for them, and hands each back by value on
// the thread the worker belongs to.
class JobDetailsWorker : public QObject {
    Q_OBJECT

  public:
    explicit JobDetailsWorker(QObject* parent = nullptr);
    // Drops what is queued and waits for the job being read.
    ~JobDetailsWorker() override;

    // Replaces what is queued with these, in this order; the one being read
    // is still handed back.
    void request(std::vector<JobTableModel::DetailsSource> sources);

  signals:
    void ready(const vantrel::JobDetails& details);

  private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<JobTableModel::DetailsSource> queue_;
    bool quit_ = false;
    std::thread thread_;
};

}  // namespace vantrel
