#include "app/AppInfo.h"

// The icons are compiled into the window's static library, whose resource
// registration the linker would otherwise leave out.
static void initIconResources() { Q_INIT_RESOURCE(icons); }

namespace vantrel {

QIcon appIcon() {
    initIconResources();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/vantrel-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

QIcon convertIcon() {
    initIconResources();
    QIcon icon;
    for (int size : {16, 32}) {
        icon.addFile(QStringLiteral(":/icons/convert-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace vantrel
