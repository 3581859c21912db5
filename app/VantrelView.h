#pragma once

#include <QListWidget>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "convert/VantrelDoc.h"

class QMimeData;

namespace vantrel {

class ShellServices;

// The paths of a drop of local files and folders, byte for byte as the file
// manager named them (so names that are not UTF-8 survive). Nothing when
// the drop holds no paths or anything that is not a local file.
std::optional<std::vector<std::string>> droppedPaths(const QMimeData& data);

// The job list: one row per queued job, in plain list mode. Folders dropped
// on it replace the queued jobs; nothing else the user does here changes
// anything.
class CVantrelView : public QListWidget {
    Q_OBJECT

  public:
    CVantrelView(CVantrelDoc& doc, ShellServices& shell, QWidget* parent = nullptr);

    // What a drop of these items does: the jobs are replaced by those found
    // in the folders, the rows rebuilt, and every item that is not a folder
    // named in refused() and then refused with a message each.
    void dropPaths(const std::vector<std::string>& paths);

    // Drops are refused while a batch runs.
    void setDropsEnabled(bool enabled);

    // Drag and drop events of any view of the jobs: whether the drag is
    // taken, and the drop carried out as a drop on this list.
    bool acceptDrag(QDropEvent* event);
    void takeDrop(QDropEvent* event);

    // Rebuilds the rows after the jobs were changed elsewhere.
    void showJobs();

  signals:
    // A drop begins to be carried out; jobsChanged follows.
    void dropStarted();
    void jobsChanged();
    // Something the user should know that needs no answer.
    void note(const QString& text);
    // The dropped items that are not folders, as given, before their
    // boxes show.
    void refused(const QStringList& paths);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    CVantrelDoc& doc_;
    ShellServices& shell_;
    bool dropsEnabled_ = true;
};

}  // namespace vantrel
