#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QStringList>

#include "app/BatchRunner.h"
#include "app/JobDetailsWorker.h"
#include "convert/VantrelDoc.h"

class QAction;
class QLabel;
class QProgressBar;
class QStackedWidget;
class QToolButton;

namespace vantrel {

class CVantrelView;
class JobTableModel;
class JobTableView;
class ShellServices;

// Where the online manual is: manual/index.html beside the program, else
// the installed copy. When neither exists, the first place to look.
QString manualPath(const QString& programFolder);

// The main window: the job list, the menus, the toolbar with its one
// "Convert to SWF" button, and the status bar that shows where a batch
// stands.
class CMainFrame : public QMainWindow {
    Q_OBJECT

  public:
    CMainFrame(CVantrelDoc& doc, ShellServices& shell, FrameSourceFactory makeFrameSource = {},
               QWidget* parent = nullptr);

    CVantrelView* view() const { return view_; }
    // The details view and its rows.
    JobTableView* table() const { return table_; }
    JobTableModel* jobTable() const { return jobTable_; }
    bool isConverting() const { return runner_.isRunning(); }

    // The commands.
    void convertToSwf();
    void stopConverting();
    void showAbout();
    void openManual();

  signals:
    // A batch ended and its report has been shown.
    void batchFinished(const vantrel::ConvertReport& report);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void updateCommands();
    void setBusy(bool busy);
    void showProgress();
    void batchDone(const ConvertReport& report);
    void showRefused(const QStringList& paths);
    void updateLockKeys();
    void showDetails(bool shown);
    void planRows();
    void removeJobs(const std::vector<int>& rows);

    CVantrelDoc& doc_;
    ShellServices& shell_;
    BatchRunner runner_;
    bool closeWhenDone_ = false;

    CVantrelView* view_;
    QStackedWidget* views_;
    JobTableModel* jobTable_;
    JobTableView* table_;
    JobDetailsWorker detailsWorker_;
    // What the table shows and a batch carries out.
    BatchPlan plan_;
    // The plan was made before the jobs or settings last changed.
    bool rowsStale_ = true;
    // For the timing log (category vantrel.timing): since the last drop
    // began, until its jobs are first painted; since details were asked
    // for, until the last arrives, with the table's paints meanwhile.
    QElapsedTimer dropClock_;
    QElapsedTimer batchClock_;
    bool awaitingPaint_ = false;
    QElapsedTimer detailsClock_;
    int detailsPending_ = 0;
    int detailsAsked_ = 0;
    int paintsWhileReading_ = 0;
    QAction* convert_ = nullptr;
    QAction* stop_ = nullptr;
    QAction* exit_ = nullptr;
    QAction* toolBarToggle_ = nullptr;
    QAction* statusBarToggle_ = nullptr;
    QAction* detailsToggle_ = nullptr;
    QAction* manual_ = nullptr;
    QAction* about_ = nullptr;
    QLabel* message_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QToolButton* stopButton_ = nullptr;
    QLabel* capsLock_ = nullptr;
    QLabel* numLock_ = nullptr;
    QLabel* scrollLock_ = nullptr;
};

}  // namespace vantrel
