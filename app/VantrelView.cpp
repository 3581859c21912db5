#include "app/VantrelView.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>

#include "app/ShellServices.h"
#include "convert/JobIntake.h"

namespace vantrel {

namespace {

const QString kUriList = QStringLiteral("text/uri-list");

// The path of a file: URL with its percent escapes undone as bytes; nothing
// for other schemes and for files on other hosts.
std::optional<std::string> localPath(QByteArray url) {
    static constexpr char kScheme[] = "file://";
    if (!url.startsWith(kScheme)) return std::nullopt;
    url.remove(0, sizeof kScheme - 1);
    const qsizetype slash = url.indexOf('/');
    if (slash < 0) return std::nullopt;
    const QByteArray host = url.left(slash);
    if (!host.isEmpty() && host != "localhost") return std::nullopt;
    const QByteArray path = QByteArray::fromPercentEncoding(url.mid(slash));
    if (path.contains('\0')) return std::nullopt;
    return path.toStdString();
}

}  // namespace

std::optional<std::vector<std::string>> droppedPaths(const QMimeData& data) {
    if (!data.hasFormat(kUriList)) return std::nullopt;
    std::vector<std::string> paths;
    for (QByteArray line : data.data(kUriList).split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        std::optional<std::string> path = localPath(line);
        if (!path) return std::nullopt;
        paths.push_back(std::move(*path));
    }
    if (paths.empty()) return std::nullopt;
    return paths;
}

CVantrelView::CVantrelView(CVantrelDoc& doc, ShellServices& shell, QWidget* parent)
    : QListWidget(parent), doc_(doc), shell_(shell) {
    setViewMode(QListView::ListMode);
    setFlow(QListView::TopToBottom);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
}

void CVantrelView::setDropsEnabled(bool enabled) { dropsEnabled_ = enabled; }

bool CVantrelView::acceptDrag(QDropEvent* event) {
    if (!dropsEnabled_ || !droppedPaths(*event->mimeData())) {
        event->ignore();
        return false;
    }
    // Never a move: a file manager could then delete what it thinks it moved.
    const Qt::DropAction action =
        event->possibleActions().testFlag(Qt::CopyAction) ? Qt::CopyAction : Qt::LinkAction;
    if (!event->possibleActions().testFlag(action)) {
        event->ignore();
        return false;
    }
    event->setDropAction(action);
    event->accept();
    return true;
}

void CVantrelView::showJobs() {
    clear();
    for (const std::string& row : listRows(doc_.jobs)) addItem(QString::fromStdString(row));
}

void CVantrelView::dragEnterEvent(QDragEnterEvent* event) { acceptDrag(event); }

void CVantrelView::dragMoveEvent(QDragMoveEvent* event) { acceptDrag(event); }

void CVantrelView::dropEvent(QDropEvent* event) { takeDrop(event); }

void CVantrelView::takeDrop(QDropEvent* event) {
    if (!acceptDrag(event)) return;
    // The file manager waits until the drop returns: scanning and message
    // boxes come after, not inside it.
    QTimer::singleShot(0, this, [this, paths = *droppedPaths(*event->mimeData())] {
        if (dropsEnabled_) dropPaths(paths);
    });
}

void CVantrelView::dropPaths(const std::vector<std::string>& paths) {
    emit dropStarted();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const DropResult result = vantrel::dropPaths(doc_.jobs, paths);
    showJobs();
    QApplication::restoreOverrideCursor();

    window()->raise();
    window()->activateWindow();
    emit jobsChanged();
    if (!result.unreadable.empty()) {
        QStringList unreadable;
        for (const std::string& path : result.unreadable)
            unreadable << QString::fromStdString(path);
        emit note(QStringLiteral("Cannot be read: %1").arg(unreadable.join(QStringLiteral(", "))));
    }
    if (result.refused.empty()) return;
    QStringList refusedPaths;
    for (const std::string& path : result.refused) refusedPaths << QString::fromStdString(path);
    emit refused(refusedPaths);
    const QString refusal =
        QString::fromUtf8(kNotFolderMessage.data(), qsizetype(kNotFolderMessage.size()));
    for (std::size_t i = 0; i < result.refused.size(); ++i) {
        shell_.showMessage(this, QMessageBox::Warning, refusal);
    }
}

}  // namespace vantrel
