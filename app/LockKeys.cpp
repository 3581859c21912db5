#include "app/LockKeys.h"

#include <QtGui/qguiapplication_platform.h>

#include <QGuiApplication>

#ifdef VANTREL_HAVE_X11
#include <X11/XKBlib.h>
#endif

namespace vantrel {

#ifdef VANTREL_HAVE_X11

namespace {

bool indicatorOn(Display* display, const char* name) {
    const Atom atom = XInternAtom(display, name, True);
    Bool on = False;
    if (atom == None) return false;
    if (!XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr)) return false;
    return on;
}

}  // namespace

std::optional<LockKeyState> readLockKeys() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr) return std::nullopt;
    return LockKeyState{indicatorOn(display, "Caps Lock"), indicatorOn(display, "Num Lock"),
                        indicatorOn(display, "Scroll Lock")};
}

#else

std::optional<LockKeyState> readLockKeys() { return std::nullopt; }

#endif

}  // namespace vantrel
