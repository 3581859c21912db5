#include <QAction>
#include <QMimeData>
#include <QSortFilterProxyModel>
#include <QStackedWidget>
#include <QtTest>
#include <cerrno>
#include <filesystem>

#include "RecordingShell.h"
#include "app/JobTableModel.h"
#include "app/JobTableView.h"
#include "app/MainFrame.h"
#include "app/VantrelView.h"
#include "support/ScratchDir.h"
#include "support/Tools.h"

namespace vantrel {

namespace fs = std::filesystem;

namespace {

QString q(const fs::path& path) { return QString::fromStdString(path.string()); }

bool magick(const std::string& arguments) {
    return std::system(("convert " + arguments).c_str()) == 0;
}

// Folders as a user's renders are: a PNG sequence with its sound, a BMP
// sequence without, and a video with its own sound, each made by ImageMagick
// or FFmpeg.
struct Renders {
    test::ScratchDir scratch;
    fs::path walk = scratch.path() / "walk";
    fs::path run = scratch.path() / "run";
    fs::path clips = scratch.path() / "clips";

    bool make() {
        for (const fs::path& folder : {walk, run, clips}) fs::create_directories(folder);
        return magick("-size 40x30 xc:red " + (walk / "walk1.png").string()) &&
               magick("-size 40x30 xc:blue " + (walk / "walk2.png").string()) &&
               magick("-size 40x30 xc:green " + (walk / "walk3.png").string()) &&
               test::ffmpeg("-f lavfi -i sine=duration=0.3 " + (walk / "walk.mp3").string()) &&
               magick("-size 20x50 xc:white BMP3:" + (run / "run01.bmp").string()) &&
               magick("-size 20x50 xc:black BMP3:" + (run / "run02.bmp").string()) &&
               test::ffmpeg("-f lavfi -i testsrc=size=64x48:rate=10:duration=2 -f lavfi -i "
                            "sine=duration=2 -c:v mpeg4 -c:a mp2 " +
                            (clips / "clip.avi").string());
    }
};

struct Window {
    test::RecordingShell shell;
    CVantrelDoc doc;
    CMainFrame frame{doc, shell};

    QAction* action(const char* name) {
        return frame.findChild<QAction*>(QString::fromLatin1(name));
    }
    JobTableModel& model() { return *frame.jobTable(); }
    // The text of a column, row by row as the table shows them.
    QStringList shown(int column) {
        QAbstractItemModel* table = frame.table()->model();
        QStringList texts;
        for (int row = 0; row < table->rowCount(); ++row) {
            texts << table->index(row, column).data().toString();
        }
        return texts;
    }
};

}  // namespace

class DetailsTest : public QObject {
    Q_OBJECT

  private slots:
    void fittedSizeKeepsTheAspectAndNeverEnlarges_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("maxWidth");
        QTest::addColumn<int>("maxHeight");
        QTest::addColumn<QSize>("fitted");
        // clang-format off
        QTest::newRow("no limit") << 640 << 480 << 0 << 0 << QSize(640, 480);
        QTest::newRow("inside") << 640 << 480 << 800 << 600 << QSize(640, 480);
        QTest::newRow("width bounds") << 640 << 480 << 320 << 480 << QSize(320, 240);
        QTest::newRow("height bounds") << 640 << 480 << 640 << 120 << QSize(160, 120);
        QTest::newRow("width only") << 1920 << 1080 << 1280 << 0 << QSize(1280, 720);
        QTest::newRow("height only") << 1920 << 1080 << 0 << 360 << QSize(640, 360);
        QTest::newRow("rounded") << 100 << 30 << 33 << 0 << QSize(33, 10);
        QTest::newRow("rounded up") << 100 << 35 << 10 << 0 << QSize(10, 4);
        QTest::newRow("at least 1") << 1000 << 2 << 100 << 0 << QSize(100, 1);
        QTest::newRow("upright") << 480 << 640 << 320 << 320 << QSize(240, 320);
        // clang-format on
    }
    void fittedSizeKeepsTheAspectAndNeverEnlarges() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, maxWidth);
        QFETCH(int, maxHeight);
        QFETCH(QSize, fitted);
        QCOMPARE(fittedSize(width, height, maxWidth, maxHeight), fitted);
    }

    void statusesSayHowEachJobEnded_data() {
        // c converted, p converted without its page, s skipped, k kept, f failed, t stopped
        QTest::addColumn<char>("kind");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("problem");
        // clang-format off
        QTest::newRow("converted") << 'c' << "converted, 1234 bytes" << false;
        QTest::newRow("no page") << 'p' << "converted, 1234 bytes: cannot write /v/clip.html: No space left on device" << true;
        QTest::newRow("kept") << 'k' << "skipped: movie exists: /v/clip.swf" << false;
        QTest::newRow("skipped") << 's' << "skipped: its movie /v/clip.swf is already made from /v/clip.mp4 in this batch" << true;
        QTest::newRow("failed") << 'f' << "failed: video cannot be opened" << true;
        QTest::newRow("stopped") << 't' << "not converted: not started: the batch was stopped" << false;
        // clang-format on
    }
    void statusesSayHowEachJobEnded() {
        QFETCH(char, kind);
        QFETCH(QString, status);
        QFETCH(bool, problem);
        JobOutcome outcome;
        outcome.source = "/v/clip.avi";
        outcome.outputPath = "/v/clip.swf";
        switch (kind) {
            case 'p':
                outcome.warnings.push_back(
                    writeFault(FaultStep::WriteFile, "/v/clip.html", ENOSPC));
                break;
            case 'k':
                outcome.status = JobOutcome::Status::Skipped;
                outcome.fault = Fault(FaultCode::MovieExists, FaultStep::StartJob, "/v/clip.swf");
                break;
            case 's':
                outcome.status = JobOutcome::Status::Skipped;
                outcome.fault =
                    Fault(FaultCode::DuplicateMovie, FaultStep::StartJob, "/v/clip.swf");
                outcome.fault->other = "/v/clip.mp4";
                break;
            case 'f':
                outcome.status = JobOutcome::Status::Failed;
                outcome.fault = Fault(FaultCode::Unreadable, FaultStep::OpenVideo, outcome.source);
                break;
            case 't':
                outcome.status = JobOutcome::Status::Stopped;
                outcome.fault = Fault(FaultCode::Stopped, FaultStep::StartJob);
                break;
        }
        QCOMPARE(outcomeStatus(outcome, 1234), status);
        QCOMPARE(isProblem(outcome), problem);

        // The row shows it, its tip the whole outcome, problems in another colour.
        JobTableModel rows;
        BatchPlan plan;
        plan.jobs.push_back({VideoJob{"/v/clip.avi"}, "/v/clip.avi", "/v/clip.swf"});
        rows.setPlan(plan);
        rows.setWaiting();
        rows.setProgress(0, 3, 10);
        QCOMPARE(rows.index(0, JobTableModel::Status).data().toString(),
                 QStringLiteral("converting: frame 3 of 10"));
        rows.setOutcome(0, outcome);
        const QModelIndex cell = rows.index(0, JobTableModel::Status);
        QCOMPARE(cell.data().toString(), outcomeStatus(outcome, 0));  // no movie on disk
        QVERIFY(cell.data(Qt::ToolTipRole)
                    .toString()
                    .startsWith(QString::fromStdString(outcomeLine(outcome))));
        QCOMPARE(cell.data(Qt::ForegroundRole).isValid(), problem);
    }

    void plainListStaysTheDefault() {
        Window window;
        QAction* details = window.action("detailsToggle");
        QVERIFY(details);
        QVERIFY(details->isCheckable());
        QVERIFY(!details->isChecked());
        auto* views = window.frame.findChild<QStackedWidget*>();
        QCOMPARE(views->currentWidget(), window.frame.view());
        details->trigger();
        QCOMPARE(views->currentWidget(), window.frame.table());
        details->trigger();
        QCOMPARE(views->currentWidget(), window.frame.view());
    }

    void rowsShowEachJobBeforeItConverts() {
        Renders renders;
        QVERIFY(renders.make());
        Window window;
        window.frame.show();
        window.action("detailsToggle")->trigger();
        window.frame.view()->dropPaths({renders.scratch.path().string()});

        // The list's rows, sequences first, with what the plan knows at once.
        const QStringList sources{q(renders.run / "run(01 - 02).bmp"),
                                  q(renders.walk / "walk(1 - 3).png"), q(renders.clips / "clip.avi")};
        QCOMPARE(window.shown(JobTableModel::Source), sources);
        QCOMPARE(window.shown(JobTableModel::Kind),
                 (QStringList{"sequence", "sequence", "video"}));
        QCOMPARE(window.shown(JobTableModel::Sound), (QStringList{"none", "walk.mp3", "own"}));
        QCOMPARE(window.shown(JobTableModel::Movie),
                 (QStringList{q(renders.run / "run.swf"), q(renders.walk / "walk.swf"),
                              q(renders.clips / "clip.swf")}));
        QCOMPARE(window.frame.table()->model()->index(0, JobTableModel::Source).data(
                     Qt::ToolTipRole),
                 QVariant(sources[0]));

        // Sizes from the first pictures, the video's frames and size from its
        // stream, as they arrive.
        QTRY_COMPARE(window.shown(JobTableModel::Size),
                     (QStringList{"20 x 50", "40 x 30", "64 x 48"}));
        QCOMPARE(window.shown(JobTableModel::Frames), (QStringList{"2", "3", "20"}));
        window.model().setMaxSize(32, 32);
        QCOMPARE(window.shown(JobTableModel::Size),
                 (QStringList{"13 x 32", "32 x 24", "32 x 24"}));

        // Sorting by a column, numbers by value.
        window.frame.table()->sortByColumn(JobTableModel::Frames, Qt::DescendingOrder);
        QCOMPARE(window.shown(JobTableModel::Frames), (QStringList{"20", "3", "2"}));
        window.frame.table()->sortByColumn(JobTableModel::Sound, Qt::AscendingOrder);
        QCOMPARE(window.shown(JobTableModel::Sound), (QStringList{"none", "own", "walk.mp3"}));
    }

    void dropsOnTheTableQueueJobs() {
        Renders renders;
        QVERIFY(renders.make());
        Window window;
        window.frame.show();
        window.action("detailsToggle")->trigger();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(q(renders.run))});
        QWidget* target = window.frame.table()->viewport();
        QDragEnterEvent enter({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent dropped({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        QTRY_COMPARE(window.shown(JobTableModel::Source),
                     QStringList{q(renders.run / "run(01 - 02).bmp")});
        QCOMPARE(window.frame.view()->count(), 1);
    }
};

}  // namespace vantrel

QTEST_MAIN(vantrel::DetailsTest)
#include "DetailsTest.moc"
