// vantrel: the desktop window. Drop folders on it, then Convert to SWF.

#include "app/VantrelApp.h"

extern "C" {
#include <libavutil/log.h>
}

int main(int argc, char** argv) {
    // The window's application needs a display even to print its help.
    if (vantrel::asksForHelpOrVersion(argc, argv)) return vantrel::answerHelpOrVersion(argc, argv);
    vantrel::CVantrelApp app(argc, argv);
    // The report names videos that failed; the decoder's own chatter about
    // damaged streams would only fill the terminal the window was started from.
    av_log_set_level(AV_LOG_QUIET);
    app.initInstance();
    return vantrel::CVantrelApp::exec();
}
