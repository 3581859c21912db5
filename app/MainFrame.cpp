#include "app/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "app/AboutDlg.h"
#include "app/AppInfo.h"
#include "app/ConvertDlg.h"
#include "app/JobTableModel.h"
#include "app/JobTableView.h"
#include "app/LockKeys.h"
#include "app/ShellServices.h"
#include "app/VantrelView.h"

namespace vantrel {

namespace {

// How long a drop takes to show and its details to be read; off unless
// QT_LOGGING_RULES turns on vantrel.timing.info.
Q_LOGGING_CATEGORY(lcTiming, "vantrel.timing", QtWarningMsg)

// The status bar's message: shrinks with the window and then ends in "...",
// where a plain label would be cut off or push the window wider.
class StatusText : public QLabel {
  public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect area = contentsRect();
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
        style()->drawItemText(&painter, area, Qt::AlignLeft | Qt::AlignVCenter, palette(),
                              isEnabled(), shown, foregroundRole());
    }
};

}  // namespace

QString manualPath(const QString& programFolder) {
    const QDir folder(programFolder);
    const QString beside = folder.filePath(QStringLiteral("manual/index.html"));
    const QString installed =
        QDir::cleanPath(folder.filePath(QStringLiteral(VANTREL_INSTALLED_MANUAL)));
    for (const QString& candidate : {beside, installed}) {
        if (QFileInfo(candidate).isFile()) return candidate;
    }
    return beside;
}

CMainFrame::CMainFrame(CVantrelDoc& doc, ShellServices& shell, FrameSourceFactory makeFrameSource,
                       QWidget* parent)
    : QMainWindow(parent), doc_(doc), shell_(shell), runner_(std::move(makeFrameSource)) {
    setWindowTitle(QStringLiteral("Untitled - %1").arg(kAppName));
    setWindowIcon(appIcon());
    resize(320, 160);

    // The plain list, and the details table in its place when asked for.
    views_ = new QStackedWidget(this);
    view_ = new CVantrelView(doc_, shell_, views_);
    jobTable_ = new JobTableModel(this);
    table_ = new JobTableView(*jobTable_, *view_, shell_, views_);
    views_->addWidget(view_);
    views_->addWidget(table_);
    setCentralWidget(views_);
    connect(&detailsWorker_, &JobDetailsWorker::ready, jobTable_, &JobTableModel::setDetails);
    connect(table_, &JobTableView::removeRequested, this, &CMainFrame::removeJobs);
    view_->viewport()->installEventFilter(this);
    table_->viewport()->installEventFilter(this);
    connect(view_, &CVantrelView::dropStarted, this, [this] {
        dropClock_.start();
        awaitingPaint_ = true;
    });
    connect(jobTable_, &JobTableModel::detailsArrived, this, [this] {
        if (detailsPending_ == 0 || --detailsPending_ > 0) return;
        qCInfo(lcTiming, "details of %d jobs read in %lld ms; the table painted %d times meanwhile",
               detailsAsked_, detailsClock_.elapsed(), paintsWhileReading_);
    });

    createActions();
    createToolBar();
    createMenus();
    createStatusBar();
    updateCommands();

    connect(view_, &CVantrelView::jobsChanged, this, [this] {
        message_->setText(QStringLiteral("Ready"));
        message_->setToolTip({});
        updateCommands();
        rowsStale_ = true;
        if (detailsToggle_->isChecked()) showDetails(true);
    });
    connect(view_, &CVantrelView::note, this,
            [this](const QString& text) { statusBar()->showMessage(text, 10000); });
    connect(view_, &CVantrelView::refused, this, &CMainFrame::showRefused);
    connect(&runner_, &BatchRunner::progressed, this, &CMainFrame::showProgress);
    connect(&runner_, &BatchRunner::finished, this, &CMainFrame::batchDone);
    connect(&runner_, &BatchRunner::jobFinished, jobTable_, &JobTableModel::setOutcome);
}

void CMainFrame::createActions() {
    auto action = [this](const QString& text, const QString& name, const QString& prompt,
                         const QString& tip) {
        auto* created = new QAction(text, this);
        created->setObjectName(name);
        created->setStatusTip(prompt);
        created->setToolTip(tip);
        return created;
    };
    convert_ = action(QStringLiteral("Convert to SWF"), QStringLiteral("convert"),
                      QStringLiteral("Convert to SWF"), QStringLiteral("Convert to SWF"));
    convert_->setIcon(convertIcon());
    connect(convert_, &QAction::triggered, this, &CMainFrame::convertToSwf);

    stop_ =
        action(QStringLiteral("&Stop"), QStringLiteral("stop"),
               QStringLiteral("Stop converting after the current frame"), QStringLiteral("Stop"));
    stop_->setShortcut(Qt::Key_Escape);
    stop_->setEnabled(false);
    connect(stop_, &QAction::triggered, this, &CMainFrame::stopConverting);

    exit_ = action(QStringLiteral("E&xit"), QStringLiteral("exit"),
                   QStringLiteral("Quit the application; prompts to save documents"),
                   QStringLiteral("Exit"));
    exit_->setShortcut(QKeySequence::Quit);
    connect(exit_, &QAction::triggered, this, &QWidget::close);

    statusBarToggle_ =
        action(QStringLiteral("&Status Bar"), QStringLiteral("statusBarToggle"),
               QStringLiteral("Show or hide the status bar"), QStringLiteral("Toggle StatusBar"));
    statusBarToggle_->setCheckable(true);
    statusBarToggle_->setChecked(true);
    connect(statusBarToggle_, &QAction::toggled, this,
            [this](bool shown) { statusBar()->setVisible(shown); });

    detailsToggle_ = action(QStringLiteral("&Details"), QStringLiteral("detailsToggle"),
                            QStringLiteral("Show the jobs as a table of details"),
                            QStringLiteral("Toggle Details"));
    detailsToggle_->setCheckable(true);
    connect(detailsToggle_, &QAction::toggled, this, &CMainFrame::showDetails);

    manual_ = action(QStringLiteral("Online Manual"), QStringLiteral("manual"), {}, {});
    manual_->setShortcut(Qt::Key_F1);
    connect(manual_, &QAction::triggered, this, &CMainFrame::openManual);

    about_ = action(QStringLiteral("&About %1...").arg(kAppName), QStringLiteral("about"),
                    QStringLiteral("Display program information, version number and copyright"),
                    QStringLiteral("About"));
    connect(about_, &QAction::triggered, this, &CMainFrame::showAbout);
}

void CMainFrame::createToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("Toolbar"));
    bar->setObjectName(QStringLiteral("toolBar"));
    bar->setIconSize(QSize(16, 16));
    bar->addAction(convert_);
    toolBarToggle_ = bar->toggleViewAction();
    toolBarToggle_->setObjectName(QStringLiteral("toolBarToggle"));
    toolBarToggle_->setText(QStringLiteral("&Toolbar"));
    toolBarToggle_->setStatusTip(QStringLiteral("Show or hide the toolbar"));
    toolBarToggle_->setToolTip(QStringLiteral("Toggle ToolBar"));
}

void CMainFrame::createMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(convert_);
    file->addAction(stop_);
    file->addSeparator();
    file->addAction(exit_);
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->addAction(toolBarToggle_);
    view->addAction(statusBarToggle_);
    view->addAction(detailsToggle_);
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(manual_);
    help->addAction(about_);
}

void CMainFrame::createStatusBar() {
    message_ = new StatusText(QStringLiteral("Ready"));
    message_->setObjectName(QStringLiteral("statusMessage"));
    progressBar_ = new QProgressBar;
    progressBar_->setMaximumWidth(100);
    progressBar_->setFormat(QStringLiteral("%v/%m"));
    progressBar_->hide();
    stopButton_ = new QToolButton;
    stopButton_->setDefaultAction(stop_);
    stopButton_->setAutoRaise(true);
    stopButton_->hide();
    statusBar()->addWidget(message_, 1);
    statusBar()->addWidget(progressBar_);
    statusBar()->addWidget(stopButton_);

    auto indicator = [this](const QString& text) {
        auto* label = new QLabel(text);
        label->setObjectName(text);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 8);
        label->setEnabled(false);
        statusBar()->addPermanentWidget(label);
        return label;
    };
    capsLock_ = indicator(QStringLiteral("CAP"));
    numLock_ = indicator(QStringLiteral("NUM"));
    scrollLock_ = indicator(QStringLiteral("SCRL"));
    if (readLockKeys()) {
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, &CMainFrame::updateLockKeys);
        poll->start(300);
        updateLockKeys();
    }
}

void CMainFrame::updateLockKeys() {
    const std::optional<LockKeyState> keys = readLockKeys();
    if (!keys) return;
    capsLock_->setEnabled(keys->capsLock);
    numLock_->setEnabled(keys->numLock);
    scrollLock_->setEnabled(keys->scrollLock);
}

void CMainFrame::showDetails(bool shown) {
    views_->setCurrentWidget(shown ? static_cast<QWidget*>(table_) : view_);
    if (shown && rowsStale_) planRows();
    // Pictures are read only for a table that shows them.
    std::vector<JobTableModel::DetailsSource> missing;
    if (shown) missing = jobTable_->missingDetails();
    detailsAsked_ = detailsPending_ = int(missing.size());
    paintsWhileReading_ = 0;
    detailsClock_.start();
    detailsWorker_.request(std::move(missing));
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint) {
        const bool table = watched == table_->viewport();
        if (awaitingPaint_ && table == (views_->currentWidget() == table_)) {
            awaitingPaint_ = false;
            qCInfo(lcTiming, "%zu jobs painted %lld ms after the drop",
                   doc_.jobs.folderJobs.size() + doc_.jobs.videoJobs.size(), dropClock_.elapsed());
        }
        if (table && detailsPending_ > 0) ++paintsWhileReading_;
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::planRows() {
    // Listings and metadata only: the pictures and videos are read by the
    // worker.
    plan_ = planBatch(doc_.jobs, doc_.settings, VideoHeaders::Unread);
    jobTable_->setPlan(plan_);
    jobTable_->setSettings(doc_.settings);
    rowsStale_ = false;
}

void CMainFrame::removeJobs(const std::vector<int>& rows) {
    // A running batch's outcomes find their rows by place.
    if (runner_.isRunning()) return;
    vantrel::removeJobs(doc_.jobs, rows);
    jobTable_->removeJobRows(rows);
    // The rows left keep their details; the plan is made again before a
    // batch, as a removed job may have kept another from its movie.
    rowsStale_ = true;
    view_->showJobs();
    updateCommands();
}

void CMainFrame::updateCommands() {
    convert_->setEnabled(!runner_.isRunning() && !doc_.jobs.isEmpty());
}

void CMainFrame::setBusy(bool busy) {
    // Exit stays: leaving stops the batch first.
    for (QAction* action : {toolBarToggle_, statusBarToggle_, manual_, about_}) {
        action->setEnabled(!busy);
    }
    stop_->setEnabled(busy);
    view_->setDropsEnabled(!busy);
    table_->setRemovalEnabled(!busy);
    progressBar_->setVisible(busy);
    stopButton_->setVisible(busy);
    if (busy) {
        progressBar_->setRange(0, 0);
        message_->setText(QStringLiteral("Converting"));
        message_->setToolTip({});
        // Busy rather than wait: the Stop command still answers.
        QApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
    updateCommands();
}

void CMainFrame::convertToSwf() {
    if (runner_.isRunning() || doc_.jobs.isEmpty()) return;
    CConvertDlg dialog(doc_.settings, shell_, this);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // The compression clicked stays even when the dialog is cancelled.
    ConvertSettings chosen = doc_.settings;
    if (accepted) {
        chosen = dialog.settings();
    } else {
        chosen.compression = dialog.settings().compression;
    }
    // The rows show what the batch will do: planned again once the settings
    // change, and the batch carries out that very plan.
    if (chosen != doc_.settings) rowsStale_ = true;
    doc_.settings = std::move(chosen);
    if (rowsStale_) {
        planRows();
        // Rows planned again wait for their details.
        if (detailsToggle_->isChecked()) showDetails(true);
    }
    if (!accepted) return;
    jobTable_->setWaiting();
    runner_.start(plan_, doc_.settings);
    batchClock_.start();
    setBusy(true);
}

void CMainFrame::stopConverting() {
    if (!runner_.isRunning()) return;
    runner_.stop();
    stop_->setEnabled(false);
    message_->setText(QStringLiteral("Stopping after the current frame"));
}

void CMainFrame::showProgress() {
    if (!runner_.isRunning() || !stop_->isEnabled()) return;
    const BatchProgress progress = runner_.progress();
    jobTable_->setProgress(progress.job, progress.framesDone, progress.framesTotal);
    message_->setText(progressText(progress));
    if (progress.framesTotal > 0) {
        progressBar_->setRange(0, progress.framesTotal);
        progressBar_->setValue(progress.framesDone);
    } else {
        progressBar_->setRange(0, 0);
    }
}

void CMainFrame::batchDone(const ConvertReport& report) {
    setBusy(false);
    message_->setText(summaryLine(report));
    const QString details = warningDetails(report);
    QString tip = message_->text();
    for (const QString& text : {soundDetails(report), details}) {
        if (!text.isEmpty()) tip += QStringLiteral("\n\n") + text;
    }
    message_->setToolTip(tip);
    if (notifiesBatchEnd(std::chrono::milliseconds(batchClock_.elapsed()), isActiveWindow())) {
        shell_.notify(kAppName, message_->text());
    }
    if (closeWhenDone_) {
        emit batchFinished(report);
        close();
        return;
    }
    const QStringList problems = problemLines(report);
    if (!problems.isEmpty()) {
        shell_.showList(this, QMessageBox::Warning, problemHeading(problems.size()), problems,
                        details);
    }
    emit batchFinished(report);
}

void CMainFrame::showRefused(const QStringList& paths) {
    // The boxes only say that something was refused: the names stay here,
    // each path whole in the tip.
    QStringList names;
    for (const QString& path : paths) names << QFileInfo(path).fileName();
    message_->setText(QStringLiteral("Not a folder: %1").arg(names.join(QStringLiteral(", "))));
    message_->setToolTip(QStringLiteral("Not a folder:\n") + paths.join(QLatin1Char('\n')));
}

void CMainFrame::showAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CMainFrame::openManual() {
    const QString path = manualPath(QCoreApplication::applicationDirPath());
    if (!QFileInfo(path).isFile()) {
        shell_.showMessage(this, QMessageBox::Warning,
                           QStringLiteral("The manual is missing. It belongs at %1.").arg(path));
        return;
    }
    if (!shell_.openFile(path)) {
        shell_.showMessage(
            this, QMessageBox::Warning,
            QStringLiteral("No program to show the manual was found. It is at %1.").arg(path));
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!runner_.isRunning()) {
        event->accept();
        return;
    }
    // The movie in progress is dropped; those already written stay.
    closeWhenDone_ = true;
    stopConverting();
    event->ignore();
}

}  // namespace vantrel
