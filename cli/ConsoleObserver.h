#pragma once

#include <functional>
#include <string>

#include "cli/StopSignal.h"
#include "convert/ConvertDriver.h"

namespace vantrel {

// Follows a batch on the console: a status line rewritten in place on
// standard error, if asked, and each job's outcome handed on as soon as the
// job ends. Asks the batch to stop once a stop signal arrived.
class ConsoleObserver : public ConvertObserver {
public:
    ConsoleObserver(bool showProgress, const StopSignal& stop,
                    std::function<void(const JobOutcome&)> report);
    ~ConsoleObserver() override;
    ConsoleObserver(const ConsoleObserver&) = delete;
    ConsoleObserver& operator=(const ConsoleObserver&) = delete;

    void jobStarted(std::size_t job, std::size_t jobCount, const std::string& source,
                    const std::string& moviePath) override;
    void frameAdded(std::int32_t framesDone, std::int32_t framesTotal) override;
    bool stopRequested() override;
    void jobFinished(std::size_t job, const JobOutcome& outcome) override;

private:
    void show(const std::string& text);
    void clear();

    bool showProgress_;
    const StopSignal& stop_;
    std::function<void(const JobOutcome&)> report_;
    std::string prefix_;
    bool shown_ = false;
};

}  // namespace vantrel
