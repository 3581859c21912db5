#pragma once

#include <cstdint>
#include <vector>

#include "swf/SwfTag.h"

namespace vantrel {

// The actions this system writes: those without a payload, one byte each.
enum class ActionCode : std::uint8_t {
    Stop = 0x07,  // stops the timeline on the current frame
};

// DoAction: actions run when the frame holding it is shown, then the
// end-of-actions byte.
class DoActionTag : public SwfTag {
  public:
    explicit DoActionTag(std::vector<ActionCode> actions);
    void write(SwfStream& out) const override;

  private:
    std::vector<ActionCode> actions_;
};

}  // namespace vantrel
