#pragma once

#include <QTableView>

class QSortFilterProxyModel;

namespace vantrel {

class CVantrelView;
class JobTableModel;

// The details view: the jobs as a table, one row each, sorted by any column
// (the job list's order until a header is clicked). Drops go to the list
// view, which owns what a drop does.
class JobTableView : public QTableView {
    Q_OBJECT

  public:
    JobTableView(JobTableModel& model, CVantrelView& list, QWidget* parent = nullptr);

    // The row of the jobs' model shown at this place of the table.
    int jobRow(const QModelIndex& shown) const;

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    JobTableModel& model_;
    CVantrelView& list_;
    QSortFilterProxyModel* sorted_;
};

}  // namespace vantrel
