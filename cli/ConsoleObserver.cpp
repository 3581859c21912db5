#include "cli/ConsoleObserver.h"

#include <cstdio>
#include <utility>

namespace vantrel {

ConsoleObserver::ConsoleObserver(bool showProgress, const StopSignal& stop,
                                 std::function<void(const JobOutcome&)> report)
    : showProgress_(showProgress), stop_(stop), report_(std::move(report)) {}

ConsoleObserver::~ConsoleObserver() { clear(); }

void ConsoleObserver::jobStarted(std::size_t job, std::size_t jobCount, const std::string& source,
                                 const std::string& /*moviePath*/) {
    prefix_ = "[" + std::to_string(job + 1) + "/" + std::to_string(jobCount) + "] " + source;
    show(prefix_);
}

void ConsoleObserver::frameAdded(std::int32_t framesDone, std::int32_t framesTotal) {
    show(prefix_ + ": frame " + std::to_string(framesDone) + "/" + std::to_string(framesTotal));
}

bool ConsoleObserver::stopRequested() { return stop_.received() != 0; }

void ConsoleObserver::jobFinished(std::size_t /*job*/, const JobOutcome& outcome) {
    // The outcome's lines go where the status line was; the next job's
    // start brings it back.
    clear();
    report_(outcome);
}

void ConsoleObserver::show(const std::string& text) {
    if (!showProgress_) return;
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
    shown_ = true;
}

void ConsoleObserver::clear() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
}

}  // namespace vantrel
