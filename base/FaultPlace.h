#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "base/Fault.h"

namespace vantrel {

// Where a unit works: the file, and in a video the frame. A unit that may
// fail is given it, so that the faults it makes name the place whole.
struct FaultPlace {
    FaultPlace() = default;
    FaultPlace(std::string path, std::optional<std::int64_t> frame = {})
        : path(std::move(path)), frame(frame) {}

    std::string path;
    std::optional<std::int64_t> frame;

    // A fault at this place.
    Fault fault(FaultCode code, FaultStep step, std::string detail = {}) const {
        Fault made(code, step, path, std::move(detail));
        made.frame = frame;
        return made;
    }
};

}  // namespace vantrel
