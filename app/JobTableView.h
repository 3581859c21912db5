#pragma once

#include <QTableView>
#include <vector>

class QSortFilterProxyModel;

namespace vantrel {

class CVantrelView;
class JobTableModel;
class ShellServices;

// The details view: the jobs as a table, one row each, sorted by any column
// (the job list's order until a header is clicked). Drops go to the list
// view, which owns what a drop does. A converted row opens its page, or
// without one its movie's folder, on a double click or Enter; its menu
// also shows the movie in its folder, and removes rows from the list
// (Delete) while no batch runs.
class JobTableView : public QTableView {
    Q_OBJECT

  public:
    JobTableView(JobTableModel& model, CVantrelView& list, ShellServices& shell,
                 QWidget* parent = nullptr);

    // The row of the jobs' model shown at this place of the table.
    int jobRow(const QModelIndex& shown) const;

    // Rows are removed only while no batch runs.
    void setRemovalEnabled(bool enabled);

    // What the menu's commands do, for the current row (the selected ones
    // for removal).
    void openPage();
    void showInFolder();
    void removeSelected();

  signals:
    // The user asked for these rows of the jobs' model to go.
    void removeRequested(const std::vector<int>& rows);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    // The row of the jobs' model that is current; -1 when none is.
    int currentJob() const;
    void openJob(const QModelIndex& shown);
    void updateActions();

    JobTableModel& model_;
    CVantrelView& list_;
    ShellServices& shell_;
    QSortFilterProxyModel* sorted_;
    QAction* openPage_;
    QAction* showInFolder_;
    QAction* remove_;
    bool removalEnabled_ = true;
};

}  // namespace vantrel
