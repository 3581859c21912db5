#include "app/ShellServices.h"

#include <QDesktopServices>
#include <QUrl>

#include "app/AppInfo.h"

namespace vantrel {

void ShellServices::showMessage(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                const QString& details) {
    QMessageBox box(icon, kAppName, text, QMessageBox::Ok, parent);
    if (!details.isEmpty()) box.setDetailedText(details);
    box.exec();
}

bool ShellServices::openFile(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace vantrel
