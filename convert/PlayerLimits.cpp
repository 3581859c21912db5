#include "convert/PlayerLimits.h"

#include <algorithm>

namespace vantrel {

std::vector<Fault> playerWarnings(const MovieShape& movie) {
    std::vector<Fault> warnings;
    const auto warn = [&](FaultCode code, double a, double b = 0.0) {
        Fault fault(code, FaultStep::PlayerLimit);
        fault.values = {a, b, 0.0, 0.0};
        warnings.push_back(std::move(fault));
    };
    if (movie.frames && *movie.frames > kPlayerMaxFrames) {
        warn(FaultCode::ManyFrames, *movie.frames);
    }
    if (movie.width && movie.height && std::max(*movie.width, *movie.height) > kPhoneMaxSide) {
        warn(FaultCode::LargeStage, *movie.width, *movie.height);
    }
    if (movie.rate > kPlayerMaxRate) warn(FaultCode::FastRate, movie.rate);
    if (movie.bytes && *movie.bytes > kBrowserWaitBytes) {
        warn(FaultCode::LargeMovie, static_cast<double>(*movie.bytes));
    }
    return warnings;
}

}  // namespace vantrel
