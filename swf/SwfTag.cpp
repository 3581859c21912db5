#include "swf/SwfTag.h"

namespace vantrel {

void writeTagRecord(SwfStream& out, TagCode code, SwfStream& body) {
    out.writeTagHeader(static_cast<std::uint16_t>(code),
                       static_cast<std::uint32_t>(body.totalLength()), &body);
}

}  // namespace vantrel
