// endAtOnceOnTermination on POSIX: SIGTERM, SIGINT and SIGHUP end the process on the spot,
// with status 0, whatever it is doing (the message loop's orderly way out waits for the frame
// or the start-up check under way, and a host expects its saver gone at once).
#include "platform/host_window.h"

#include <csignal>
#include <unistd.h>

namespace {

extern "C" void endNow(int) {
    _exit(0);
}

} // namespace

void endAtOnceOnTermination() {
    struct sigaction action {};
    action.sa_handler = endNow;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(s, &action, nullptr);
    }
}
