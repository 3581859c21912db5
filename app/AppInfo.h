#pragma once

#include <QIcon>
#include <QString>

namespace vantrel {

// The name every window and message box carries, and the version.
inline const QString kAppName = QStringLiteral("Vantrel");
inline const QString kAppVersion = QStringLiteral(VANTREL_VERSION);

// The application's icon, in every size it is drawn at.
QIcon appIcon();
// The toolbar's "Convert to SWF" button.
QIcon convertIcon();

}  // namespace vantrel
