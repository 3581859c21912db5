#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "RecordingShell.h"
#include "app/MainFrame.h"
#include "app/VantrelApp.h"
#include "app/VantrelView.h"
#include "support/ScratchDir.h"

namespace vantrel {

namespace fs = std::filesystem;

class WindowTest : public QObject {
    Q_OBJECT

  private:
    struct Window {
        test::RecordingShell shell;
        CVantrelDoc doc;
        CMainFrame frame{doc, shell};

        QAction* action(const char* name) {
            return frame.findChild<QAction*>(QString::fromLatin1(name));
        }
        QStringList rows() const {
            QStringList texts;
            for (int i = 0; i < frame.view()->count(); ++i) texts << frame.view()->item(i)->text();
            return texts;
        }
        QString status() const {
            return frame.findChild<QLabel*>(QStringLiteral("statusMessage"))->text();
        }
    };

    static QString q(const fs::path& path) { return QString::fromStdString(path.string()); }

    // The box each dropped item that is no folder brings.
    static QString refusal() { return QStringLiteral("Select folder not file."); }

    static void touch(const fs::path& path) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
    }

    // Drags the paths over the list and drops them, as a file manager does.
    // Returns the action the view accepted, or IgnoreAction.
    static Qt::DropAction drop(QWidget* target, const QList<QUrl>& urls,
                               Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction) {
        QMimeData data;
        data.setUrls(urls);
        const QPoint at(10, 10);
        QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted()) return Qt::IgnoreAction;
        QDropEvent dropped(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        return dropped.isAccepted() ? dropped.dropAction() : Qt::IgnoreAction;
    }

  private slots:
    void startsAsAnEmptyUntitledWindow() {
        Window window;
        QCOMPARE(window.frame.windowTitle(), QStringLiteral("Untitled - Vantrel"));
        QCOMPARE(window.frame.size(), QSize(320, 160));
        QCOMPARE(window.status(), QStringLiteral("Ready"));
        for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
            QVERIFY(window.frame.statusBar()->findChild<QLabel*>(QString::fromLatin1(indicator)));
        }
        QCOMPARE(window.frame.view()->viewMode(), QListView::ListMode);
        QVERIFY(window.frame.view()->isWrapping());
        QVERIFY(!window.action("convert")->isEnabled());
        QVERIFY(!window.action("stop")->isEnabled());
        QCOMPARE(window.action("manual")->shortcut(), QKeySequence(Qt::Key_F1));
        QCOMPARE(window.action("convert")->statusTip(), QStringLiteral("Convert to SWF"));
        QCOMPARE(window.action("about")->text(), QStringLiteral("&About Vantrel..."));
    }

    void droppedFoldersBecomeRowsAndFilesAreRefused() {
        test::ScratchDir scratch;
        const fs::path anim = scratch.path() / "anim", clips = scratch.path() / "clips";
        for (const char* name : {"walk1.bmp", "walk2.bmp", "walk10.bmp", "notes.txt"}) {
            touch(anim / name);
        }
        touch(anim / "sub" / "run001.tga");
        touch(clips / "clip.avi");
        const fs::path file = anim / "walk1.bmp";

        Window window;
        window.frame.show();
        QWidget* target = window.frame.view()->viewport();
        const QUrl animUrl = QUrl::fromLocalFile(q(anim)), clipsUrl = QUrl::fromLocalFile(q(clips)),
                   fileUrl = QUrl::fromLocalFile(q(file));

        // Never a move: the file manager would delete what it thinks it moved.
        QCOMPARE(drop(target, {animUrl, clipsUrl}), Qt::CopyAction);
        const QStringList rows{q(anim / "sub" / "run(001 - 001).tga"), q(anim / "walk(1 - 10).bmp"),
                               q(clips / "clip.avi")};
        QTRY_COMPARE(window.rows(), rows);
        QVERIFY(window.shell.messages.empty());
        QVERIFY(window.action("convert")->isEnabled());
        QToolBar* toolBar = window.frame.findChild<QToolBar*>(QStringLiteral("toolBar"));
        QVERIFY(toolBar->widgetForAction(window.action("convert"))->isEnabled());

        // Files alone: one message each, the list emptied, the command greyed.
        QCOMPARE(drop(target, {fileUrl, fileUrl}), Qt::CopyAction);
        QTRY_COMPARE(window.shell.messages.size(), std::size_t{2});
        QCOMPARE(window.shell.texts(), QStringList(2, refusal()));
        QCOMPARE(window.rows(), QStringList{});
        QVERIFY(!window.action("convert")->isEnabled());
        QVERIFY(!toolBar->widgetForAction(window.action("convert"))->isEnabled());

        // Both: the folder's rows and one message.
        window.shell.messages.clear();
        QCOMPARE(drop(target, {fileUrl, clipsUrl}), Qt::CopyAction);
        QTRY_COMPARE(window.rows(), QStringList{q(clips / "clip.avi")});
        QCOMPARE(window.shell.texts(), QStringList{refusal()});
        QVERIFY(window.action("convert")->isEnabled());
    }

    // The boxes cannot say which items they refuse; the status bar names
    // them before the first box shows, a long list without widening the
    // window, and its tip holds every path.
    void refusedItemsAreNamedInTheStatusBar() {
        test::ScratchDir scratch;
        const fs::path clips = scratch.path() / "clips";
        std::vector<std::string> dropped{clips.string()};
        QString tip = QStringLiteral("Not a folder:");
        for (int i = 0; i < 200; ++i) {
            const fs::path file = clips / ("render" + std::to_string(i) + ".avi");
            touch(file);
            dropped.push_back(file.string());
            tip += QLatin1Char('\n') + q(file);
        }
        Window window;
        window.frame.show();
        const QSize size = window.frame.size();
        auto* label = window.frame.findChild<QLabel*>(QStringLiteral("statusMessage"));
        QStringList shownWithBoxes;
        window.shell.onMessage = [&] { shownWithBoxes << label->text(); };

        window.frame.view()->dropPaths(dropped);
        QCOMPARE(window.rows().size(), 200);
        QCOMPARE(window.shell.texts(), QStringList(200, refusal()));
        QVERIFY(
            window.status().startsWith(QStringLiteral("Not a folder: render0.avi, render1.avi, ")));
        QCOMPARE(shownWithBoxes, QStringList(200, window.status()));
        QCOMPARE(label->toolTip(), tip);
        QCOMPARE(window.frame.size(), size);
    }

    void dropsOfAnythingButLocalPathsAreRefused() {
        Window window;
        window.frame.show();
        QWidget* target = window.frame.view()->viewport();
        QCOMPARE(drop(target, {QUrl(QStringLiteral("https://example.org/anim/"))}),
                 Qt::IgnoreAction);
        QCOMPARE(drop(target, {QUrl::fromLocalFile(QStringLiteral("/tmp"))}, Qt::MoveAction),
                 Qt::IgnoreAction);
        QCOMPARE(drop(target, {QUrl::fromLocalFile(QStringLiteral("/tmp"))},
                      Qt::MoveAction | Qt::LinkAction),
                 Qt::LinkAction);
    }

    void droppedPathsKeepTheirBytes_data() {
        QTest::addColumn<QByteArray>("uriList");
        QTest::addColumn<QByteArrayList>("paths");  // empty: refused
        // clang-format off
        QTest::newRow("plain") << QByteArray("file:///a/b\r\nfile:///c\r\n") << QByteArrayList{"/a/b", "/c"};
        QTest::newRow("escapes") << QByteArray("file:///a%20b/%C3%A9") << QByteArrayList{"/a b/\xC3\xA9"};
        QTest::newRow("not UTF-8") << QByteArray("file:///caf%E9/x1.bmp") << QByteArrayList{"/caf\xE9/x1.bmp"};
        QTest::newRow("localhost") << QByteArray("file://localhost/x") << QByteArrayList{"/x"};
        QTest::newRow("comment") << QByteArray("# from a file manager\nfile:///x\n") << QByteArrayList{"/x"};
        QTest::newRow("other host") << QByteArray("file://server/x") << QByteArrayList{};
        QTest::newRow("web") << QByteArray("file:///x\nhttps://example.org/y") << QByteArrayList{};
        QTest::newRow("NUL") << QByteArray("file:///x%00y") << QByteArrayList{};
        QTest::newRow("nothing") << QByteArray("\r\n") << QByteArrayList{};
        // clang-format on
    }
    void droppedPathsKeepTheirBytes() {
        QFETCH(QByteArray, uriList);
        QFETCH(QByteArrayList, paths);
        QMimeData data;
        data.setData(QStringLiteral("text/uri-list"), uriList);
        const auto dropped = droppedPaths(data);
        QCOMPARE(dropped.has_value(), !paths.isEmpty());
        QByteArrayList got;
        for (const std::string& path : dropped.value_or(std::vector<std::string>{})) {
            got << QByteArray::fromStdString(path);
        }
        QCOMPARE(got, paths);
    }

    void commandLineFoldersAreTheArgumentsThatAreNotOptions() {
        std::vector<std::string> arguments{"vantrel", "/a", "-", "--", "-b", "--c"};
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        QCOMPARE(commandLineFolders(int(argv.size()), argv.data()),
                 (std::vector<std::string>{"/a", "-", "-b", "--c"}));
        std::vector<std::string> options{"vantrel", "-x", "/d"};
        std::vector<char*> optionArgv;
        for (std::string& argument : options) optionArgv.push_back(argument.data());
        QCOMPARE(commandLineFolders(int(optionArgv.size()), optionArgv.data()),
                 std::vector<std::string>{"/d"});
    }

    void viewTogglesFollowTheBars() {
        Window window;
        window.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window.frame));
        QToolBar* toolBar = window.frame.findChild<QToolBar*>(QStringLiteral("toolBar"));
        QAction* toolBarToggle = window.action("toolBarToggle");
        QAction* statusBarToggle = window.action("statusBarToggle");
        QCOMPARE(toolBarToggle->text(), QStringLiteral("&Toolbar"));
        QCOMPARE(statusBarToggle->text(), QStringLiteral("&Status Bar"));
        QVERIFY(toolBarToggle->isChecked() && statusBarToggle->isChecked());

        toolBarToggle->trigger();
        QVERIFY(!toolBar->isVisible());
        QVERIFY(!toolBarToggle->isChecked());
        toolBarToggle->trigger();
        QVERIFY(toolBar->isVisible());
        QVERIFY(toolBarToggle->isChecked());

        statusBarToggle->trigger();
        QVERIFY(!window.frame.statusBar()->isVisible());
        QVERIFY(!statusBarToggle->isChecked());
        statusBarToggle->trigger();
        QVERIFY(window.frame.statusBar()->isVisible());
    }

    void aboutBoxNamesTheVersion() {
        Window window;
        QString title, text;
        QTimer::singleShot(0, this, [&] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box);
            title = box->windowTitle();
            text = box->findChild<QLabel*>(QStringLiteral("aboutText"))->text();
            QTest::keyClick(box, Qt::Key_Return);
        });
        window.frame.showAbout();
        QCOMPARE(title, QStringLiteral("About Vantrel"));
        QCOMPARE(text, QStringLiteral("Vantrel Version 1.05"));
    }

    void manualIsBesideTheProgramOrInstalled() {
        test::ScratchDir scratch;
        const fs::path bin = scratch.path() / "bin";
        const fs::path beside = bin / "manual" / "index.html";
        const fs::path installed =
            scratch.path() / "share" / "doc" / "vantrel" / "manual" / "index.html";
        fs::create_directories(bin);
        QCOMPARE(manualPath(q(bin)), q(beside));  // neither: where it should be
        touch(installed);
        QCOMPARE(manualPath(q(bin)), q(installed));
        touch(beside);
        QCOMPARE(manualPath(q(bin)), q(beside));
    }

    void helpOpensTheManualBesideTheProgram() {
        const fs::path manual = fs::path(QCoreApplication::applicationDirPath().toStdString()) /
                                "manual" / "index.html";
        fs::remove_all(manual.parent_path());
        Window window;
        window.frame.openManual();
        QCOMPARE(
            window.shell.texts(),
            QStringList{QStringLiteral("The manual is missing. It belongs at %1.").arg(q(manual))});
        QVERIFY(window.shell.opened.isEmpty());

        touch(manual);
        window.frame.openManual();
        QCOMPARE(window.shell.opened, QStringList{q(manual)});
        fs::remove_all(manual.parent_path());
    }
};

}  // namespace vantrel

QTEST_MAIN(vantrel::WindowTest)
#include "WindowTest.moc"
