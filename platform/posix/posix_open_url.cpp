// Opening a web address (openUrl) on a free desktop: xdg-open, started detached.
#include "platform/desktop_services.h"

#include <sys/wait.h>
#include <unistd.h>

void openUrl(const std::string& url) {
    // Started through a middle process that ends at once, so that the browser is nobody's
    // child here and leaves no zombie behind.
    const pid_t middle = fork();
    if (middle == 0) {
        setsid();
        if (fork() == 0) {
            execlp("xdg-open", "xdg-open", url.c_str(), static_cast<char*>(nullptr));
        }
        _exit(0);
    }
    if (middle > 0) {
        waitpid(middle, nullptr, 0);
    }
}
