#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <chrono>

class QWidget;

namespace vantrel {

// What the window asks of the desktop: message boxes and opening a file
// with its default viewer. Tests put a recorder in its place.
// Whether the end of a batch is told in a desktop notification: it took
// longer than ten seconds and the window is not the active one, so the user
// has likely turned to other work.
bool notifiesBatchEnd(std::chrono::milliseconds duration, bool windowActive);

class ShellServices {
  public:
    virtual ~ShellServices() = default;

    // A modal message box captioned "Vantrel"; returns when it is closed.
    // `details` is offered behind a button, for long lists.
    virtual void showMessage(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                             const QString& details = {});

    // The same with `lines` under the text, one each, in a part that
    // scrolls: however many there are, the box fits on the screen with its
    // buttons in reach.
    virtual void showList(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                          const QStringList& lines, const QString& details = {});

    // Opens the file with the desktop's default viewer. False when none took it.
    virtual bool openFile(const QString& path);

    // Shows the file in the desktop's file manager: selected in its folder
    // where the file manager offers that, else the folder opened. False when
    // nothing took it.
    virtual bool showInFolder(const QString& path);

    // A desktop notification, through the freedesktop notification service
    // on the session bus; nothing when there is none.
    virtual void notify(const QString& summary, const QString& body);
};

}  // namespace vantrel
