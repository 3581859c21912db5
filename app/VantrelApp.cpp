#include "app/VantrelApp.h"

#include <QCommandLineParser>
#include <QTimer>
#include <cstring>

#include "app/AppInfo.h"
#include "app/MainFrame.h"
#include "app/VantrelView.h"

namespace vantrel {

std::vector<std::string> commandLineFolders(int argc, char** argv) {
    std::vector<std::string> folders;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (!optionsEnded && std::strcmp(argument, "--") == 0) {
            optionsEnded = true;
        } else if (optionsEnded || argument[0] != '-' || argument[1] == '\0') {
            folders.emplace_back(argument);
        }
    }
    return folders;
}

namespace {

void nameApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("vantrel"));
    QCoreApplication::setApplicationVersion(kAppVersion);
}

// The options of the command line; process() prints help, version or
// errors and ends the program.
void describeCommandLine(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Converts numbered picture sequences and videos into SWF movies. "
                       "Folders given are queued as if dropped on the window."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("folders to queue"),
                                 QStringLiteral("[FOLDER...]"));
}

}  // namespace

bool asksForHelpOrVersion(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--") == 0) return false;
        for (const char* option : {"-h", "--help", "--help-all", "-?", "-v", "--version"}) {
            if (std::strcmp(argument, option) == 0) return true;
        }
    }
    return false;
}

int answerHelpOrVersion(int& argc, char** argv) {
    const QCoreApplication core(argc, argv);
    nameApplication();
    QCommandLineParser parser;
    describeCommandLine(parser);
    parser.process(QCoreApplication::arguments());
    return 0;
}

CVantrelApp::CVantrelApp(int& argc, char** argv)
    : QApplication(argc, argv), argc_(argc), argv_(argv) {
    nameApplication();
    setWindowIcon(appIcon());
    setDesktopFileName(QStringLiteral("vantrel"));
}

CVantrelApp::~CVantrelApp() = default;

void CVantrelApp::initInstance() {
    QCommandLineParser parser;
    describeCommandLine(parser);
    // QApplication has taken its own options (-platform, ...) out of argv;
    // what remains is ours.
    parser.process(arguments());

    frame_ = std::make_unique<CMainFrame>(doc_, shell_);
    frame_->show();
    const std::vector<std::string> folders = commandLineFolders(argc_, argv_);
    if (!folders.empty()) {
        QTimer::singleShot(0, frame_.get(),
                           [this, folders] { frame_->view()->dropPaths(folders); });
    }
}

}  // namespace vantrel
