// vantrel: the desktop window. Drop folders on it, then Convert to SWF.

#include <malloc.h>

#include "app/VantrelApp.h"

extern "C" {
#include <libavutil/log.h>
}

int main(int argc, char** argv) {
    // Frames pass through buffers of megabytes on several threads; with a
    // fixed threshold such buffers are mapped on their own and go back to
    // the system when freed, instead of piling up in per-thread heaps.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    vantrel::CVantrelApp app(argc, argv);
    // The report names videos that failed; the decoder's own chatter about
    // damaged streams would only fill the terminal the window was started from.
    av_log_set_level(AV_LOG_QUIET);
    app.initInstance();
    return vantrel::CVantrelApp::exec();
}
