#pragma once

#include <signal.h>

namespace vantrel {

// Turns SIGINT and SIGTERM into a request to stop the batch after the
// current frame. The first signal only sets a flag; its handler then falls
// back to the default, so a second one ends the program at once. The
// previous handlers come back when the object goes.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // The signal received, or 0.
    int received() const;

private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

}  // namespace vantrel
