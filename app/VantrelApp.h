#pragma once

#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "app/ShellServices.h"
#include "convert/VantrelDoc.h"

namespace vantrel {

class CMainFrame;

// The folders named on the command line, as given (bytes, not re-encoded):
// everything after the program's name that is not an option, and all after
// "--".
std::vector<std::string> commandLineFolders(int argc, char** argv);

// Whether the command line asks only for the help or version text, before
// any "--": that needs no window, and so no display.
bool asksForHelpOrVersion(int argc, char** argv);

// Prints the help or version text the command line asks for and returns the
// exit status, without a window. Call instead of making a CVantrelApp.
int answerHelpOrVersion(int& argc, char** argv);

// The application: one document and one main window for the program's life.
class CVantrelApp : public QApplication {
    Q_OBJECT

  public:
    CVantrelApp(int& argc, char** argv);
    ~CVantrelApp() override;

    // Parses the command line, shows the main window and queues the folders
    // it names as one drop. --help, --version and unknown options print
    // their text and end the program here.
    void initInstance();

  private:
    int& argc_;
    char** argv_;
    ShellServices shell_;
    CVantrelDoc doc_;
    std::unique_ptr<CMainFrame> frame_;
};

}  // namespace vantrel
