#include <QAction>
#include <QMimeData>
#include <QSortFilterProxyModel>
#include <QStackedWidget>
#include <QtTest>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "RecordingShell.h"
#include "app/ShellServices.h"
#include "app/JobTableModel.h"
#include "app/JobTableView.h"
#include "app/MainFrame.h"
#include "app/VantrelView.h"
#include "convert/JobIntake.h"
#include "convert/OptionTable.h"
#include "support/ScratchDir.h"
#include "support/Tools.h"

namespace vantrel {

namespace fs = std::filesystem;

namespace {

QString q(const fs::path& path) { return QString::fromStdString(path.string()); }

// A planned video job whose movie goes to `movie`.
PlannedJob plannedVideo(const std::string& path, const std::string& movie) {
    PlannedJob job;
    job.input = VideoJob{path};
    job.source = path;
    job.moviePath = movie;
    return job;
}

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

    CVantrelDoc doc_;

  private slots:
    void fittedSizeKeepsTheAspectAndNeverEnlarges_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("maxWidth");
        QTest::addColumn<int>("maxHeight");
        QTest::addColumn<PictureSize>("fitted");
        // clang-format off
        QTest::newRow("no limit") << 640 << 480 << 0 << 0 << PictureSize{640, 480};
        QTest::newRow("inside") << 640 << 480 << 800 << 600 << PictureSize{640, 480};
        QTest::newRow("width bounds") << 640 << 480 << 320 << 480 << PictureSize{320, 240};
        QTest::newRow("height bounds") << 640 << 480 << 640 << 120 << PictureSize{160, 120};
        QTest::newRow("width only") << 1920 << 1080 << 1280 << 0 << PictureSize{1280, 720};
        QTest::newRow("height only") << 1920 << 1080 << 0 << 360 << PictureSize{640, 360};
        QTest::newRow("rounded") << 100 << 30 << 33 << 0 << PictureSize{33, 10};
        QTest::newRow("rounded up") << 100 << 35 << 10 << 0 << PictureSize{10, 4};
        QTest::newRow("at least 1") << 1000 << 2 << 100 << 0 << PictureSize{100, 1};
        QTest::newRow("upright") << 480 << 640 << 320 << 320 << PictureSize{240, 320};
        // clang-format on
    }
    void fittedSizeKeepsTheAspectAndNeverEnlarges() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, maxWidth);
        QFETCH(int, maxHeight);
        QFETCH(PictureSize, fitted);
        QCOMPARE(fitInside(width, height, boxOfSides(maxWidth, maxHeight)), fitted);
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
        plan.jobs.push_back(plannedVideo("/v/clip.avi", "/v/clip.swf"));
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
                    .startsWith(QString::fromStdString(outcomeLine(outcome, windowName))));
        QCOMPARE(cell.data(Qt::ForegroundRole).isValid(), problem);
    }

    void theEndOfALongBatchIsNotifiedWhenTheWindowIsNotActive_data() {
        QTest::addColumn<int>("milliseconds");
        QTest::addColumn<bool>("active");
        QTest::addColumn<bool>("notified");
        // clang-format off
        QTest::newRow("short, elsewhere") << 3000 << false << false;
        QTest::newRow("ten seconds, elsewhere") << 10000 << false << false;
        QTest::newRow("longer, elsewhere") << 10001 << false << true;
        QTest::newRow("an hour, elsewhere") << 3600000 << false << true;
        QTest::newRow("longer, watched") << 60000 << true << false;
        QTest::newRow("short, watched") << 500 << true << false;
        // clang-format on
    }
    void theEndOfALongBatchIsNotifiedWhenTheWindowIsNotActive() {
        QFETCH(int, milliseconds);
        QFETCH(bool, active);
        QFETCH(bool, notified);
        QCOMPARE(notifiesBatchEnd(std::chrono::milliseconds(milliseconds), active), notified);
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
        QCOMPARE(window.shown(JobTableModel::Frames), (QStringList{"2", "3", "30"}));
        ConvertSettings fitted;
        fitted.maxSize = {32, 32};
        window.model().setSettings(fitted);
        QCOMPARE(window.shown(JobTableModel::Size),
                 (QStringList{"13 x 32", "32 x 24", "32 x 24"}));

        // Sorting by a column, numbers by value.
        window.frame.table()->sortByColumn(JobTableModel::Frames, Qt::DescendingOrder);
        QCOMPARE(window.shown(JobTableModel::Frames), (QStringList{"30", "3", "2"}));
        window.frame.table()->sortByColumn(JobTableModel::Sound, Qt::AscendingOrder);
        QCOMPARE(window.shown(JobTableModel::Sound), (QStringList{"none", "own", "walk.mp3"}));
    }

    // A video without sound, planned with its own, shows none once its
    // header is read, and so does one that cannot be opened; one beside them
    // with sound keeps its own.
    void aSilentVideoHasNoSoundOnceRead() {
        Renders renders;
        QVERIFY(renders.make());
        QVERIFY(test::ffmpeg("-f lavfi -i testsrc=size=32x24:rate=10:duration=1 " +
                             (renders.clips / "silent.mp4").string()));
        Window window;
        window.frame.show();
        window.action("detailsToggle")->trigger();
        std::ofstream(renders.clips / "broken.mp4") << "no video";
        window.frame.view()->dropPaths({renders.clips.string()});
        QCOMPARE(window.shown(JobTableModel::Sound), (QStringList{"own", "own", "own"}));
        QTRY_COMPARE(window.shown(JobTableModel::Sound), (QStringList{"own", "none", "none"}));
    }

    // What the menu and the keys do with a row, the shell recording it.
    void convertedRowsOpenTheirPageOrFolder_data() {
        QTest::addColumn<QString>("command");  // an action's name, or a key
        QTest::addColumn<bool>("withPage");
        QTest::addColumn<QStringList>("opened");
        QTest::addColumn<QStringList>("shown");
        const QStringList page{"/v/clip.html"}, movie{"/v/clip.swf"}, none;
        // clang-format off
        QTest::newRow("Enter: page") << "Enter" << true << page << none;
        QTest::newRow("Enter: no page") << "Enter" << false << none << movie;
        QTest::newRow("double click") << "double" << true << page << none;
        QTest::newRow("Open Page") << "openPage" << true << page << none;
        QTest::newRow("Show in Folder") << "showInFolder" << true << none << movie;
        // clang-format on
    }
    void convertedRowsOpenTheirPageOrFolder() {
        QFETCH(QString, command);
        QFETCH(bool, withPage);
        QFETCH(QStringList, opened);
        QFETCH(QStringList, shown);
        test::RecordingShell shell;
        CVantrelView list(doc_, shell);
        JobTableModel rows;
        JobTableView table(rows, list, shell);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        BatchPlan plan;
        plan.jobs.push_back(plannedVideo("/v/clip.avi", "/v/clip.swf"));
        plan.jobs.push_back(plannedVideo("/v/bad.avi", "/v/bad.swf"));
        rows.setPlan(plan);
        JobOutcome converted;
        converted.outputPath = "/v/clip.swf";
        if (withPage) converted.pagePath = "/v/clip.html";
        rows.setOutcome(0, converted);
        JobOutcome failed;
        failed.status = JobOutcome::Status::Failed;
        failed.fault = Fault(FaultCode::Unreadable, FaultStep::OpenVideo, "/v/bad.avi");
        rows.setOutcome(1, failed);

        // A failed row opens nothing.
        for (int row : {1, 0}) {
            const QModelIndex cell = table.model()->index(row, 0);
            table.setCurrentIndex(cell);
            if (command == QLatin1String("Enter")) {
                QTest::keyClick(&table, Qt::Key_Return);
            } else if (command == QLatin1String("double")) {
                const QPoint at = table.visualRect(cell).center();
                QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, at);
                QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, at);
            } else {
                table.findChild<QAction*>(command)->trigger();
            }
            if (row == 1) {
                QVERIFY(shell.opened.isEmpty() && shell.shownInFolder.isEmpty());
            }
        }
        QCOMPARE(shell.opened, opened);
        QCOMPARE(shell.shownInFolder, shown);
    }

    void deleteRemovesJobsFromTheList() {
        Renders renders;
        QVERIFY(renders.make());
        Window window;
        window.frame.show();
        window.action("detailsToggle")->trigger();
        window.frame.view()->dropPaths({renders.scratch.path().string()});
        JobTableView& table = *window.frame.table();
        window.frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window.frame));
        table.setFocus();
        table.selectRow(1);
        QTest::keyClick(&table, Qt::Key_Delete);
        const QStringList left{q(renders.run / "run(01 - 02).bmp"), q(renders.clips / "clip.avi")};
        QCOMPARE(window.shown(JobTableModel::Source), left);
        QCOMPARE(int(window.doc.jobs.folderJobs.size() + window.doc.jobs.videoJobs.size()), 2);
        QCOMPARE(window.frame.view()->count(), 2);
        QCOMPARE(window.frame.view()->item(1)->text(), left[1]);

        // The menu's command, sorted: the row shown first is the video.
        table.sortByColumn(JobTableModel::Kind, Qt::DescendingOrder);
        table.selectRow(0);
        table.findChild<QAction*>(QStringLiteral("removeFromList"))->trigger();
        QCOMPARE(window.shown(JobTableModel::Source), QStringList{left[0]});
        QVERIFY(window.doc.jobs.videoJobs.empty());
    }

    void removingJobsKeepsTheListsOrder_data() {
        QTest::addColumn<QList<int>>("removed");
        QTest::addColumn<QStringList>("left");
        // clang-format off
        QTest::newRow("a sequence") << QList<int>{1} << QStringList{"/a(1 - 1).bmp", "/c(1 - 1).bmp", "/x.avi", "/y.avi"};
        QTest::newRow("a video") << QList<int>{3} << QStringList{"/a(1 - 1).bmp", "/b(1 - 1).bmp", "/c(1 - 1).bmp", "/y.avi"};
        QTest::newRow("both, any order") << QList<int>{4, 0, 2} << QStringList{"/b(1 - 1).bmp", "/x.avi"};
        QTest::newRow("all") << QList<int>{0, 1, 2, 3, 4} << QStringList{};
        // clang-format on
    }
    void removingJobsKeepsTheListsOrder() {
        QFETCH(QList<int>, removed);
        QFETCH(QStringList, left);
        JobList jobs;
        for (const char* prefix : {"/a", "/b", "/c"}) {
            jobs.folderJobs.push_back({prefix, "bmp", {{"1", "bmp"}}});
        }
        jobs.videoJobs = {{"/x.avi"}, {"/y.avi"}};
        removeJobs(jobs, std::vector<int>(removed.begin(), removed.end()));
        QStringList rows;
        for (const std::string& row : listRows(jobs)) rows << QString::fromStdString(row);
        QCOMPARE(rows, left);
    }

    // Each row's first picture, the video's first frame, in the Source
    // column; a file changed since is read again.
    void thumbnailsArriveForSequencesAndVideos() {
        Renders renders;
        QVERIFY(renders.make());
        Window window;
        window.frame.show();
        window.action("detailsToggle")->trigger();
        window.frame.view()->dropPaths({renders.scratch.path().string()});
        JobTableModel& rows = window.model();
        QTRY_VERIFY(rows.hasThumbnail(0) && rows.hasThumbnail(1) && rows.hasThumbnail(2));
        auto thumbnail = [&rows](int row) {
            return rows.index(row, JobTableModel::Source)
                .data(Qt::DecorationRole)
                .value<QPixmap>()
                .toImage();
        };
        QCOMPARE(thumbnail(0).size(), QSize(14, 36));  // 20 x 50 white
        QCOMPARE(thumbnail(0).pixelColor(7, 18), QColor(Qt::white));
        QCOMPARE(thumbnail(1).size(), QSize(48, 36));  // 40 x 30 red
        QCOMPARE(thumbnail(1).pixelColor(24, 18), QColor(Qt::red));
        QCOMPARE(thumbnail(2).size(), QSize(48, 36));
        QVERIFY(!rows.index(0, JobTableModel::Kind).data(Qt::DecorationRole).isValid());

        // Dropped again unchanged, and after the first picture changed.
        QVERIFY(magick("-size 60x30 xc:blue " + (renders.walk / "walk1.png").string()));
        window.frame.view()->dropPaths({renders.scratch.path().string()});
        QTRY_VERIFY(rows.hasThumbnail(0) && rows.hasThumbnail(1) && rows.hasThumbnail(2));
        QCOMPARE(thumbnail(0).pixelColor(7, 18), QColor(Qt::white));
        QCOMPARE(thumbnail(1).size(), QSize(48, 24));
        QCOMPARE(thumbnail(1).pixelColor(24, 12), QColor(Qt::blue));
        QCOMPARE(window.shown(JobTableModel::Size)[1], QStringLiteral("60 x 30"));
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
