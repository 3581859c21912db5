#pragma once

#include <optional>

namespace vantrel {

struct LockKeyState {
    bool capsLock = false;
    bool numLock = false;
    bool scrollLock = false;
};

// The keyboard's lock indicators, where the display tells them (X11);
// nothing elsewhere.
std::optional<LockKeyState> readLockKeys();

}  // namespace vantrel
