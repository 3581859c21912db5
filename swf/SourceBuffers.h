#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace vantrel {

// Bytes a movie's tags refer to without copying (JPEG data, alpha planes,
// MP3 data). Each buffer is allocated on its own so that its address stays
// put while the list grows. A movie that streams its tags lets them go once
// addTag returns; one that keeps its tags needs them until it is written.
using SourceBuffer = std::vector<std::uint8_t>;
using SourceBuffers = std::vector<std::unique_ptr<SourceBuffer>>;

}  // namespace vantrel
