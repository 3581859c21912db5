#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QToolButton>
#include <QtTest>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "RecordingShell.h"
#include "app/ConvertDlg.h"
#include "app/JobTableModel.h"
#include "app/JobTableView.h"
#include "app/MainFrame.h"
#include "app/ReportText.h"
#include "app/ShellServices.h"
#include "app/VantrelView.h"
#include "convert/OptionTable.h"
#include "support/ScratchDir.h"
#include "support/Tools.h"
#include "video/FrameSource.h"

namespace vantrel {

namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(VANTREL_TEST_DATA);

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Frames that come only when the test lets them: the batch is in the middle
// of a video for as long as the test wants.
class Gate {
  public:
    void open(int frames) {
        const std::lock_guard lock(mutex_);
        permits_ += frames;
        changed_.notify_all();
    }
    void pass() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return permits_ > 0; });
        --permits_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int permits_ = 0;
};

// A one-second video of ten 8 x 6 frames, each grabbed only through the gate.
class GatedFrameSource : public FrameSource {
  public:
    explicit GatedFrameSource(Gate& gate) : gate_(gate) {}
    bool open(const std::string&) override { return true; }
    std::int32_t videoWidth() const override { return 8; }
    std::int32_t videoHeight() const override { return 6; }
    double durationSeconds() const override { return 1.0; }
    std::int32_t frameCount() const override { return 10; }
    bool grabFrame(std::int32_t index, RasterImage& picture) override {
        gate_.pass();
        picture.resize(8, 6);
        std::fill(picture.pixels.begin(), picture.pixels.end(), 0xFF000000u | std::uint32_t(index));
        return true;
    }
    std::int32_t frameShownAt(double seconds) override { return std::int32_t(seconds * 10); }
    bool grabAtTime(double, RasterImage&) override { return false; }
    bool isBufferEmpty() const override { return false; }
    void close() override {}

  private:
    Gate& gate_;
};

// A window whose videos deliver their frames through the gate.
struct GatedWindow {
    Gate gate;
    test::RecordingShell shell;
    CVantrelDoc doc;
    CMainFrame frame{doc, shell, [this] { return std::make_unique<GatedFrameSource>(gate); }};

    // Should a check fail, the batch must still be able to end.
    ~GatedWindow() { gate.open(1000); }
};

// Counts the paintings of a widget.
class PaintCounter : public QObject {
  public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
    int paints = 0;
};

}  // namespace

class BatchTest : public QObject {
    Q_OBJECT

  private:
    // Answers the Convert dialog the window is about to show.
    static void answerDialog(QObject* context, std::function<void(QDialog&)> fill) {
        QTimer::singleShot(0, context, [fill] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            fill(*dialog);
            for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
                if (button->text() == QStringLiteral("OK"))
                    QTest::mouseClick(button, Qt::LeftButton);
            }
        });
    }
    static QString status(CMainFrame& frame) {
        return frame.findChild<QLabel*>(QStringLiteral("statusMessage"))->text();
    }
    static void copyData(const char* from, const fs::path& to) {
        fs::create_directories(to.parent_path());
        fs::copy_file(kData / from, to);
    }

  private slots:
    void windowWritesWhatTheCommandLineWrites() {
        test::ScratchDir scratch;
        const fs::path byWindow = scratch.path() / "window", byCli = scratch.path() / "cli";
        for (const fs::path& folder : {byWindow, byCli}) {
            copyData("convert/red4x3.tga", folder / "walk1.tga");
            copyData("convert/red4x3.tga", folder / "walk2.tga");
            copyData("convert/green6x5.bmp", folder / "run01.bmp");
            copyData("convert/tone.mp3", folder / "walk.mp3");
            copyData("video/few.avi", folder / "clip.avi");
        }

        test::RecordingShell shell;
        CVantrelDoc doc;
        CMainFrame frame(doc, shell);
        frame.show();
        frame.view()->dropPaths({byWindow.string()});
        QCOMPARE(frame.view()->count(), 3);
        QSignalSpy finished(&frame, &CMainFrame::batchFinished);
        answerDialog(this, [](QDialog& dialog) {
            QTest::mouseClick(dialog.findChild<QRadioButton*>(QStringLiteral("lossless")),
                              Qt::LeftButton);
            QTest::mouseClick(dialog.findChild<QCheckBox*>(QStringLiteral("includeAlpha")),
                              Qt::LeftButton);
            dialog.findChild<QLineEdit*>(QStringLiteral("frameRate"))
                ->setText(QStringLiteral("12.5"));
        });
        frame.convertToSwf();
        QVERIFY(finished.wait(60000));
        QVERIFY(shell.messages.empty());
        QCOMPARE(status(frame), QStringLiteral("3 movies written"));
        const QString tip = frame.findChild<QLabel*>(QStringLiteral("statusMessage"))->toolTip();
        QVERIFY2(tip.contains(QStringLiteral("walk.swf: sound %1/walk.mp3")
                                  .arg(QString::fromStdString(byWindow.string()))),
                 qPrintable(tip));
        QVERIFY2(tip.contains(QStringLiteral("clip.swf: no sound")), qPrintable(tip));

        QProcess cli;
        cli.start(QStringLiteral(VANTREL_CLI), {"--lossless", "--alpha", "--rate", "12.5",
                                                "--quiet", QString::fromStdString(byCli.string())});
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 0);

        for (const char* name :
             {"walk.swf", "walk.html", "run.swf", "run.html", "clip.swf", "clip.html"}) {
            QVERIFY2(fs::exists(byWindow / name), name);
            QVERIFY2(readFile(byWindow / name) == readFile(byCli / name), name);
        }
    }

    // While a batch runs the window paints its progress, refuses other
    // input and can be stopped; the movie in progress is not written.
    void progressShowsWhileTheBatchRunsAndStopWritesNoPartialMovie() {
        test::ScratchDir scratch;
        const fs::path folder = scratch.path();
        copyData("convert/red4x3.bmp", folder / "x1.bmp");
        std::ofstream(folder / "clip.avi") << "stands for a video";

        GatedWindow window;
        Gate& gate = window.gate;
        test::RecordingShell& shell = window.shell;
        CMainFrame& frame = window.frame;
        frame.show();
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        frame.view()->dropPaths({folder.string()});
        QSignalSpy finished(&frame, &CMainFrame::batchFinished);
        PaintCounter painted;
        frame.findChild<QLabel*>(QStringLiteral("statusMessage"))->installEventFilter(&painted);

        answerDialog(this, [](QDialog&) {});
        frame.convertToSwf();
        QVERIFY(frame.isConverting());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        QVERIFY(!frame.findChild<QAction*>(QStringLiteral("convert"))->isEnabled());
        QVERIFY(!frame.findChild<QAction*>(QStringLiteral("about"))->isEnabled());
        QVERIFY(frame.findChild<QAction*>(QStringLiteral("stop"))->isEnabled());

        // The sequence goes through; the video waits at its first frame.
        gate.open(1);
        QTRY_COMPARE(status(frame),
                     QStringLiteral("Converting clip.swf: frame 1 of 15, job 2 of 2"));
        const int paintsBefore = painted.paints;
        gate.open(1);
        QTRY_COMPARE(status(frame),
                     QStringLiteral("Converting clip.swf: frame 2 of 15, job 2 of 2"));
        QTRY_VERIFY(painted.paints > paintsBefore);

        // Drops are refused while converting.
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder.string()))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame.view()->viewport(), &enter);
        QVERIFY(!enter.isAccepted());
        // The offscreen platform does not hand the focus back after a dialog.
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        QTest::keyClick(&frame, Qt::Key_Escape);
        gate.open(15);
        QVERIFY(finished.wait(30000));
        QVERIFY(!frame.isConverting());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(status(frame), QStringLiteral("Stopped: 1 movie written, 1 job not converted"));
        QVERIFY(shell.messages.empty());  // a stop is not a failure
        QVERIFY(fs::exists(folder / "x.swf"));
        QVERIFY(!fs::exists(folder / "clip.swf"));
        QVERIFY(!fs::exists(folder / "clip.html"));
        // The pictures, the video, and the first job's movie and page only:
        // no temporary file is left.
        QCOMPARE(scratch.entries(), std::size_t{4});
        QVERIFY(frame.findChild<QAction*>(QStringLiteral("convert"))->isEnabled());
    }

    // In details mode each row tells where its job stands: waiting,
    // converting with its own frames, then its outcome in the fault's words.
    void detailsRowsFollowTheBatch() {
        test::ScratchDir scratch;
        const fs::path folder = scratch.path();
        copyData("convert/red4x3.bmp", folder / "x1.bmp");
        std::ofstream(folder / "y1.bmp") << "not a picture";
        std::ofstream(folder / "clip.avi") << "stands for a video";
        GatedWindow window;
        CMainFrame& frame = window.frame;
        frame.show();
        frame.findChild<QAction*>(QStringLiteral("detailsToggle"))->trigger();
        frame.view()->dropPaths({folder.string()});
        JobTableModel& rows = *frame.jobTable();
        auto statusOf = [&rows](int row) {
            return rows.index(row, JobTableModel::Status).data().toString();
        };
        auto tipOf = [&rows](int row) {
            return rows.index(row, JobTableModel::Status).data(Qt::ToolTipRole).toString();
        };
        QCOMPARE(statusOf(0), QString());
        QSignalSpy finished(&frame, &CMainFrame::batchFinished);
        answerDialog(this, [](QDialog&) {});
        frame.convertToSwf();
        QCOMPARE(statusOf(2), QStringLiteral("waiting"));

        window.gate.open(1);
        QTRY_COMPARE(statusOf(2), QStringLiteral("converting: frame 1 of 15"));
        QCOMPARE(rows.state(2), JobState::Converting);
        QCOMPARE(statusOf(0),
                 QStringLiteral("converted, %1 bytes").arg(fs::file_size(folder / "x.swf")));
        QCOMPARE(rows.state(1), JobState::Failed);
        QCOMPARE(statusOf(1),
                 QStringLiteral("failed: no picture could be read: no movie written"));
        // The tip holds the whole outcome: its line and the picture that failed.
        QVERIFY2(tipOf(1).startsWith(QStringLiteral("failed %1: no picture")
                                         .arg(QString::fromStdString((folder / "y(1 - 1).bmp")
                                                                         .string()))),
                 qPrintable(tipOf(1)));
        QVERIFY2(tipOf(1).contains(QString::fromStdString((folder / "y1.bmp").string())),
                 qPrintable(tipOf(1)));

        // Nothing is removed while the batch runs.
        JobTableView& table = *frame.table();
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        table.setFocus();
        table.selectRow(0);
        QTest::keyClick(&table, Qt::Key_Delete);
        table.removeSelected();
        QCOMPARE(rows.rowCount(), 3);
        QCOMPARE(frame.view()->count(), 3);

        window.gate.open(1000);
        QVERIFY(finished.wait(30000));
        QCOMPARE(statusOf(2),
                 QStringLiteral("converted, %1 bytes").arg(fs::file_size(folder / "clip.swf")));
        QCOMPARE(rows.pagePath(2), QString::fromStdString((folder / "clip.html").string()));
        // The box of problems is shown as before.
        QCOMPARE(window.shell.texts(), QStringList{QStringLiteral("This job was not converted:")});
    }

    void failedJobsAreListedInAMessage() {
        test::ScratchDir scratch;
        std::ofstream(scratch.path() / "broken.avi") << "not a video";
        copyData("convert/red4x3.bmp", scratch.path() / "x1.bmp");
        test::RecordingShell shell;
        CVantrelDoc doc;
        CMainFrame frame(doc, shell);
        frame.view()->dropPaths({scratch.path().string()});
        QSignalSpy finished(&frame, &CMainFrame::batchFinished);
        answerDialog(this, [](QDialog&) {});
        frame.convertToSwf();
        QVERIFY(finished.wait(60000));
        const QString video = QString::fromStdString((scratch.path() / "broken.avi").string());
        QVERIFY2(
            status(frame).startsWith(QStringLiteral("1 movie written, 1 job failed: broken.avi: ")),
            qPrintable(status(frame)));
        QCOMPARE(shell.texts(), QStringList{QStringLiteral("This job was not converted:")});
        QCOMPARE(shell.messages[0].lines,
                 QStringList{QStringLiteral("%1: video cannot be opened").arg(video)});
        QCOMPARE(shell.messages[0].icon, QMessageBox::Warning);
    }

    // However many jobs fail, the real box fits the screen with its OK button
    // in reach, and its list scrolls through all of them.
    void manyFailedJobsFitOnTheScreen() {
        test::ScratchDir scratch;
        QStringList lines;
        for (int i = 1000; i < 1300; ++i) {
            const fs::path video = scratch.path() / ("broken" + std::to_string(i) + ".avi");
            std::ofstream(video) << "not a video";
            const Fault unopened(FaultCode::Unreadable, FaultStep::OpenVideo, video.string());
            lines << QString::fromStdString(video.string() + ": " +
                                            faultText(unopened, windowName));
        }
        ShellServices shell;
        CVantrelDoc doc;
        CMainFrame frame(doc, shell);
        frame.show();
        frame.view()->dropPaths({scratch.path().string()});
        QSignalSpy finished(&frame, &CMainFrame::batchFinished);

        QRect box, screen, ok;
        QString heading, listed;
        bool warns = false, scrolls = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            QWidget* shown = QApplication::activeModalWidget();
            if (shown == nullptr || shown->windowTitle() != QStringLiteral("Vantrel")) return;
            poll.stop();
            box = shown->frameGeometry();
            screen = shown->screen()->availableGeometry();
            const int side = shown->style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
            const QImage warning = shown->style()
                                       ->standardIcon(QStyle::SP_MessageBoxWarning)
                                       .pixmap(QSize(side, side), shown->devicePixelRatio())
                                       .toImage();
            for (QLabel* label : shown->findChildren<QLabel*>()) {
                warns = warns || label->pixmap().toImage() == warning;
                if (label->text().endsWith(QLatin1Char(':'))) heading = label->text();
            }
            if (auto* list = shown->findChild<QPlainTextEdit*>()) {
                listed = list->toPlainText();
                scrolls = list->verticalScrollBar()->isVisible();
            }
            for (QPushButton* button : shown->findChildren<QPushButton*>()) {
                if (button->text() != QStringLiteral("OK") || !button->isVisible()) continue;
                ok = QRect(button->mapToGlobal(QPoint(0, 0)), button->size());
                QTest::mouseClick(button, Qt::LeftButton);
            }
        });
        poll.start(20);
        answerDialog(this, [](QDialog&) {});
        frame.convertToSwf();
        QVERIFY(finished.wait(120000));
        QVERIFY(warns);
        QCOMPARE(heading, QStringLiteral("These jobs were not converted:"));
        QVERIFY(screen.contains(box));
        QVERIFY(!ok.isEmpty() && box.contains(ok));
        QCOMPARE(listed.split(QLatin1Char('\n')), lines);
        QVERIFY(scrolls);
    }

    void cancellingTheDialogConvertsNothing() {
        test::ScratchDir scratch;
        copyData("convert/red4x3.bmp", scratch.path() / "x1.bmp");
        test::RecordingShell shell;
        CVantrelDoc doc;
        CMainFrame frame(doc, shell);
        frame.view()->dropPaths({scratch.path().string()});
        QTimer::singleShot(
            0, this, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
        frame.convertToSwf();
        QVERIFY(!frame.isConverting());
        QVERIFY(!fs::exists(scratch.path() / "x.swf"));
        QCOMPARE(status(frame), QStringLiteral("Ready"));
    }

    void closingDuringABatchStopsItFirst() {
        test::ScratchDir scratch;
        std::ofstream(scratch.path() / "clip.avi") << "stands for a video";
        GatedWindow window;
        CMainFrame& frame = window.frame;
        frame.show();
        frame.view()->dropPaths({scratch.path().string()});
        QSignalSpy finished(&frame, &CMainFrame::batchFinished);
        answerDialog(this, [](QDialog&) {});
        frame.convertToSwf();

        QVERIFY(!frame.close());  // the window waits for the batch to stop
        QVERIFY(frame.isVisible());
        window.gate.open(1000);
        QVERIFY(finished.wait(30000));
        QTRY_VERIFY(!frame.isVisible());
        QVERIFY(!fs::exists(scratch.path() / "clip.swf"));
        QCOMPARE(scratch.entries(), std::size_t{1});
    }

    // The summary, and the problems listed in the message box: those the
    // command line counts in its exit status too (isProblem).
    void summaryLines_data() {
        // c converted, f failed, s skipped, k kept by --no-overwrite, t stopped,
        // p converted but its page not written, m a missing picture in the job before
        QTest::addColumn<QString>("statuses");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("problems");
        // clang-format off
        QTest::newRow("all written") << "ccc" << "3 movies written" << 0;
        QTest::newRow("one written") << "c" << "1 movie written" << 0;
        QTest::newRow("one failed") << "cf" << "1 movie written, 1 job failed: clip.avi: video cannot be opened" << 1;
        QTest::newRow("several") << "ffs" << "0 movies written, 2 jobs failed, 1 job skipped" << 3;
        QTest::newRow("pictures") << "cmm" << "1 movie written, 2 pictures could not be read" << 0;
        QTest::newRow("kept") << "ck" << "1 movie written, 1 job skipped" << 0;
        QTest::newRow("stopped") << "ct" << "Stopped: 1 movie written, 1 job not converted" << 0;
        QTest::newRow("no page") << "p" << "1 movie written: clip.avi: cannot write /videos/clip.html: No space left on device" << 1;
        // clang-format on
    }
    void summaryLines() {
        QFETCH(QString, statuses);
        QFETCH(QString, line);
        QFETCH(int, problems);
        ConvertReport report;
        for (QChar status : statuses) {
            if (status == QLatin1Char('m')) {
                report.jobs.back().missingPictures.emplace_back(FaultCode::Damaged,
                                                                FaultStep::DecodePicture, "/a/x7.bmp");
                continue;
            }
            JobOutcome job;
            job.source = "/videos/clip.avi";
            job.fault = Fault(FaultCode::Unreadable, FaultStep::OpenVideo, job.source);
            switch (status.toLatin1()) {
                case 'c': job.status = JobOutcome::Status::Converted; break;
                case 'f': job.status = JobOutcome::Status::Failed; break;
                case 'k': job.fault = Fault(FaultCode::MovieExists, FaultStep::StartJob, "/videos/clip.swf");
                    [[fallthrough]];
                case 's': job.status = JobOutcome::Status::Skipped; break;
                case 't': job.status = JobOutcome::Status::Stopped; report.stopped = true; break;
                case 'p':
                    job.status = JobOutcome::Status::Converted;
                    job.warnings.push_back(writeFault(FaultStep::WriteFile, "/videos/clip.html", ENOSPC));
                    break;
            }
            report.jobs.push_back(job);
        }
        QCOMPARE(summaryLine(report), line);
        QCOMPARE(int(problemLines(report).size()), problems);
    }

    // The summary's tooltip: each movie's sound, and the quality a target
    // size chose.
    void soundDetailsGiveTheQualityChosen() {
        ConvertReport report;
        for (const auto& [movie, quality] :
             {std::pair{"/anim/walk.swf", 0}, std::pair{"/videos/clip.swf", 72}}) {
            JobOutcome job;
            job.outputPath = movie;
            job.quality = quality;
            job.sound = quality > 0 ? SoundOrigin::Video : SoundOrigin::None;
            report.jobs.push_back(job);
        }
        QCOMPARE(soundDetails(report),
                 QStringLiteral("walk.swf: no sound\nclip.swf: the video's own sound, quality 72"));
    }

    // The options of the More options panel reach the settings, and the
    // table shows what the batch will do before it does it: a cut's frames.
    void moreOptionsReplanTheRowsTheBatchRuns() {
        test::ScratchDir scratch;
        for (int i = 1; i <= 6; ++i) {
            copyData("convert/red4x3.tga", scratch.path() / ("walk" + std::to_string(i) + ".tga"));
        }
        QVERIFY(test::ffmpeg("-f lavfi -i testsrc=size=32x24:rate=10:duration=2 " +
                             (scratch.path() / "clip.avi").string()));
        GatedWindow window;
        const auto frames = [&window] {
            QStringList shown;
            QAbstractItemModel* rows = window.frame.table()->model();
            for (int row = 0; row < rows->rowCount(); ++row) {
                shown << rows->index(row, JobTableModel::Frames).data().toString();
            }
            return shown;
        };
        window.frame.findChild<QAction*>(QStringLiteral("detailsToggle"))->trigger();
        window.frame.view()->dropPaths({scratch.path().string()});
        QTRY_COMPARE(frames(), (QStringList{"6", "30"}));

        QSignalSpy finished(&window.frame, &CMainFrame::batchFinished);
        ConvertReport report;
        connect(&window.frame, &CMainFrame::batchFinished, this,
                [&report](const ConvertReport& done) { report = done; });
        answerDialog(this, [](QDialog& dialog) {
            QTest::mouseClick(dialog.findChild<QToolButton*>(QStringLiteral("moreOptions")),
                              Qt::LeftButton);
            dialog.findChild<QLineEdit*>(QStringLiteral("maxWidth"))->setText(QStringLiteral("640"));
            dialog.findChild<QLineEdit*>(QStringLiteral("endSeconds"))->setText(QStringLiteral("0.2"));
            dialog.findChild<QCheckBox*>(QStringLiteral("playOnce"))->setChecked(true);
        });
        window.frame.convertToSwf();
        QVERIFY(window.frame.isConverting());
        QCOMPARE(frames().value(0), QStringLiteral("3"));
        QTRY_COMPARE(frames(), (QStringList{"3", "3"}));
        window.gate.open(1000);
        QVERIFY(finished.wait(60000));
        QCOMPARE(report.jobs.at(0).frameCount, 3);
        QCOMPARE(window.doc.settings.maxSize.width, 640);
        QVERIFY(window.doc.settings.playOnce);
    }

    // A target size no quality meets is told in the window's words: the
    // dialog's field that would help, not the command line's option.
    void aTargetSizeNotMetNamesTheDialogsField() {
        test::ScratchDir scratch;
        QVERIFY(test::ffmpeg("-f lavfi -i testsrc2=size=320x240:rate=15 -frames:v 3 " +
                             (scratch.path() / "walk%d.png").string()));
        test::RecordingShell shell;
        CVantrelDoc doc;
        CMainFrame frame(doc, shell);
        frame.view()->dropPaths({scratch.path().string()});
        QSignalSpy finished(&frame, &CMainFrame::batchFinished);
        answerDialog(this, [](QDialog& dialog) {
            QTest::mouseClick(dialog.findChild<QToolButton*>(QStringLiteral("moreOptions")),
                              Qt::LeftButton);
            dialog.findChild<QLineEdit*>(QStringLiteral("targetSize"))->setText(QStringLiteral("1"));
        });
        frame.convertToSwf();
        QVERIFY(finished.wait(60000));
        QCOMPARE(shell.messages.size(), std::size_t{1});
        const QString problem = shell.messages[0].lines.join(QLatin1Char('\n'));
        QVERIFY2(problem.endsWith(QStringLiteral(
                     "make its pictures smaller with Maximum Size (More options)")),
                 qPrintable(problem));
    }

    void progressBeforeTheFirstFrame() {
        QCOMPARE(progressText({0, 3, "/anim/walk.swf", 0, 0}),
                 QStringLiteral("Converting walk.swf, job 1 of 3"));
    }
};

}  // namespace vantrel

QTEST_MAIN(vantrel::BatchTest)
#include "BatchTest.moc"
