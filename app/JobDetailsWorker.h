#pragma once

#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <mutex>
#include <thread>
#include <vector>

#include "app/JobTableModel.h"

namespace vantrel {

// Reads what the details view shows of a job beyond the plan: a sequence's
// first picture (its size and thumbnail), a video's stream (its size as
// shown, its frames, its first frame as the thumbnail, and whether it has a
// sound of its own), with the core's own readers. Nothing of it is known
// when the file cannot be read.
JobDetails readJobDetails(const JobTableModel::DetailsSource& source);

// Reads job details one after the other on a thread of its own, so that a
// drop of many jobs never waits for them, and hands each back by value on
// the thread the worker belongs to. What it read is kept by path, size and
// time of change, so a file dropped again unchanged is not read again.
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
    struct CacheKey {
        std::string path;
        std::uintmax_t size = 0;
        std::int64_t changed = 0;
        auto operator<=>(const CacheKey&) const = default;
    };

    void run();
    JobDetails detailsOf(const JobTableModel::DetailsSource& source);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<JobTableModel::DetailsSource> queue_;
    bool quit_ = false;
    std::map<CacheKey, JobDetails> cache_;  // the worker thread's own
    std::thread thread_;
};

}  // namespace vantrel
