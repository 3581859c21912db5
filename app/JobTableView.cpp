#include "app/JobTableView.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMenu>
#include <QSortFilterProxyModel>

#include "app/JobTableModel.h"
#include "app/ShellServices.h"
#include "app/VantrelView.h"

namespace vantrel {

JobTableView::JobTableView(JobTableModel& model, CVantrelView& list, ShellServices& shell,
                           QWidget* parent)
    : QTableView(parent),
      model_(model),
      list_(list),
      shell_(shell),
      sorted_(new QSortFilterProxyModel(this)),
      openPage_(new QAction(QStringLiteral("Open &Page"), this)),
      showInFolder_(new QAction(QStringLiteral("Show in &Folder"), this)),
      remove_(new QAction(QStringLiteral("&Remove from List"), this)) {
    setObjectName(QStringLiteral("jobTable"));
    sorted_->setSourceModel(&model_);
    sorted_->setSortRole(JobTableModel::kSortRole);
    setModel(sorted_);
    // No column sorted at first: the rows keep the list's order.
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(true);
    // Widths for what the columns usually hold; each can be dragged.
    setColumnWidth(JobTableModel::Source, 260);
    setColumnWidth(JobTableModel::Kind, 70);
    setColumnWidth(JobTableModel::Frames, 60);
    setColumnWidth(JobTableModel::Size, 80);
    setColumnWidth(JobTableModel::Sound, 80);
    setColumnWidth(JobTableModel::Status, 240);
    verticalHeader()->hide();
    // Room for each row's thumbnail.
    setIconSize(kThumbnailSize);
    verticalHeader()->setDefaultSectionSize(kThumbnailSize.height() + 4);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    // A path keeps both its folder and its file name in sight.
    setTextElideMode(Qt::ElideMiddle);
    setDragEnabled(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);

    openPage_->setObjectName(QStringLiteral("openPage"));
    showInFolder_->setObjectName(QStringLiteral("showInFolder"));
    remove_->setObjectName(QStringLiteral("removeFromList"));
    remove_->setShortcut(QKeySequence::Delete);
    remove_->setShortcutContext(Qt::WidgetShortcut);
    addAction(remove_);
    connect(openPage_, &QAction::triggered, this, &JobTableView::openPage);
    connect(showInFolder_, &QAction::triggered, this, &JobTableView::showInFolder);
    connect(remove_, &QAction::triggered, this, &JobTableView::removeSelected);
    // A double click, and Enter.
    connect(this, &QAbstractItemView::activated, this, &JobTableView::openJob);
}

void JobTableView::setRemovalEnabled(bool enabled) {
    removalEnabled_ = enabled;
    remove_->setEnabled(enabled);
}

int JobTableView::currentJob() const {
    return currentIndex().isValid() ? jobRow(currentIndex()) : -1;
}

void JobTableView::updateActions() {
    const int job = currentJob();
    const bool converted = job >= 0 && model_.state(job) == JobState::Converted;
    openPage_->setEnabled(converted && !model_.pagePath(job).isEmpty());
    showInFolder_->setEnabled(converted);
    remove_->setEnabled(removalEnabled_ && selectionModel()->hasSelection());
}

void JobTableView::openPage() {
    const int job = currentJob();
    if (job < 0 || model_.state(job) != JobState::Converted) return;
    if (!model_.pagePath(job).isEmpty()) shell_.openFile(model_.pagePath(job));
}

void JobTableView::showInFolder() {
    const int job = currentJob();
    if (job >= 0 && model_.state(job) == JobState::Converted) {
        shell_.showInFolder(model_.moviePath(job));
    }
}

void JobTableView::openJob(const QModelIndex& shown) {
    const int job = jobRow(shown);
    if (job < 0 || model_.state(job) != JobState::Converted) return;
    if (model_.pagePath(job).isEmpty()) {
        shell_.showInFolder(model_.moviePath(job));
    } else {
        shell_.openFile(model_.pagePath(job));
    }
}

void JobTableView::removeSelected() {
    if (!removalEnabled_) return;
    std::vector<int> rows;
    for (const QModelIndex& shown : selectionModel()->selectedRows()) rows.push_back(jobRow(shown));
    if (!rows.empty()) emit removeRequested(rows);
}

void JobTableView::contextMenuEvent(QContextMenuEvent* event) {
    updateActions();
    QMenu menu(this);
    menu.addAction(openPage_);
    menu.addAction(showInFolder_);
    menu.addSeparator();
    menu.addAction(remove_);
    menu.exec(event->globalPos());
    // The shortcut answers whenever removal is allowed.
    remove_->setEnabled(removalEnabled_);
}

int JobTableView::jobRow(const QModelIndex& shown) const {
    return sorted_->mapToSource(shown).row();
}

void JobTableView::dragEnterEvent(QDragEnterEvent* event) { list_.acceptDrag(event); }

void JobTableView::dragMoveEvent(QDragMoveEvent* event) { list_.acceptDrag(event); }

void JobTableView::dropEvent(QDropEvent* event) { list_.takeDrop(event); }

}  // namespace vantrel
