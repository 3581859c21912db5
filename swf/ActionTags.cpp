#include "swf/ActionTags.h"

#include <utility>

namespace vantrel {

DoActionTag::DoActionTag(std::vector<ActionCode> actions) : actions_(std::move(actions)) {}

void DoActionTag::write(SwfStream& out) const {
    SwfStream body;
    for (const ActionCode action : actions_) body.writeU8(static_cast<std::uint8_t>(action));
    body.writeU8(0);  // ActionEndFlag
    writeTagRecord(out, TagCode::DoAction, body);
}

}  // namespace vantrel
