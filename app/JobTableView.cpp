#include "app/JobTableView.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QSortFilterProxyModel>

#include "app/JobTableModel.h"
#include "app/VantrelView.h"

namespace vantrel {

JobTableView::JobTableView(JobTableModel& model, CVantrelView& list, QWidget* parent)
    : QTableView(parent), model_(model), list_(list), sorted_(new QSortFilterProxyModel(this)) {
    setObjectName(QStringLiteral("jobTable"));
    sorted_->setSourceModel(&model_);
    sorted_->setSortRole(JobTableModel::kSortRole);
    setModel(sorted_);
    // No column sorted at first: the rows keep the list's order.
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(true);
    setColumnWidth(JobTableModel::Source, 260);
    verticalHeader()->hide();
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    // A path keeps both its folder and its file name in sight.
    setTextElideMode(Qt::ElideMiddle);
    setDragEnabled(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
}

int JobTableView::jobRow(const QModelIndex& shown) const {
    return sorted_->mapToSource(shown).row();
}

void JobTableView::dragEnterEvent(QDragEnterEvent* event) { list_.acceptDrag(event); }

void JobTableView::dragMoveEvent(QDragMoveEvent* event) { list_.acceptDrag(event); }

void JobTableView::dropEvent(QDropEvent* event) { list_.takeDrop(event); }

}  // namespace vantrel
