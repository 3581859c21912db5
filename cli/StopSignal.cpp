#include "cli/StopSignal.h"

#include <csignal>

namespace vantrel {
namespace {

// A signal handler can reach nothing but a flag of this type.
volatile std::sig_atomic_t received_ = 0;

void noteSignal(int signal) { received_ = signal; }

}  // namespace

StopSignal::StopSignal() {
    received_ = 0;
    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    // Files being written are not cut short by the signal.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
}

StopSignal::~StopSignal() {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
}

int StopSignal::received() const { return received_; }

}  // namespace vantrel
