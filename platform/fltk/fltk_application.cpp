// The application (Application, createFltkApplication) on FLTK: a message loop of Fl::wait with the
// idle hook as Fl::add_idle or a repeating Fl::add_timeout, and SIGTERM, SIGINT and SIGHUP closing
// the main form through a self-pipe so that the normal teardown gives the display mode back.
#include "platform/fltk/fltk_services.h"

#include "platform/error_display.h"
#include "platform/exception.h"
#include "platform/fltk/fltk_loop.h"
#include "platform/message_loop.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_host_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

FltkMainForm* mainForm = nullptr;

int signalPipe[2] = {-1, -1};

// Every X event passes here before FLTK looks at it: those of a host's window are not FLTK's.
int forwardToHostWindows(void* event, void*) {
    x11HostWindowEvent(*static_cast<const XEvent*>(event));
    return 0;
}

extern "C" void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    (void)!write(signalPipe[1], &byte, 1);
    errno = saved;
}

class FltkApplication : public Application {
public:
    FltkApplication() {
        // X errors are reported, not fatal, from the start; the code that expects some traps them.
        installX11ErrorHandler();
        Fl::add_system_handler(forwardToHostWindows, nullptr);
        if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
            Fl::add_fd(signalPipe[0], FL_READ, onSignalByte, this);
            struct sigaction action {};
            action.sa_handler = onSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESTART;
            for (int s : {SIGTERM, SIGINT, SIGHUP}) {
                sigaction(s, &action, nullptr);
            }
        }
    }

    ~FltkApplication() override {
        clearIdleHandler();
        Fl::remove_system_handler(forwardToHostWindows);
        if (signalPipe[0] >= 0) {
            for (int s : {SIGTERM, SIGINT, SIGHUP}) {
                signal(s, SIG_DFL);
            }
            Fl::remove_fd(signalPipe[0]);
            close(signalPipe[0]);
            close(signalPipe[1]);
            signalPipe[0] = signalPipe[1] = -1;
        }
    }

    // The window class (WM_CLASS) names the application to the desktop, as the title does
    // on the taskbar elsewhere.
    void setTitle(const std::string& newTitle) override {
        title = newTitle;
        Fl_Window::default_xclass(title.c_str());
    }

    void setIdleHandler(std::function<void(bool& done)> handler, int paceMs) override {
        clearIdleHandler();
        loop.setIdleHandler(std::move(handler), paceMs);
        arm();
    }

    void clearIdleHandler() override {
        Fl::remove_idle(onIdle, this);
        Fl::remove_timeout(onPace, this);
        Fl::remove_check(onWake, this);
        waited = false;
        loop.clearIdleHandler();
    }

    void terminate() override { loop.terminate(); }

    void run() override {
        if (!loop.terminated() && mainForm != nullptr) {
            mainForm->showAsMainForm(); // a form that cannot show ends the run with its error
        }
        while (!loop.terminated() && (mainForm == nullptr || !mainForm->isClosed())) {
            if (mainForm == nullptr && Fl::first_window() == nullptr && !loop.hasIdleHandler()) {
                break; // nothing left that could end the loop
            }
            try {
                Fl::wait(1e20);
            } catch (...) {
                showFltkError(currentExceptionMessage());
            }
        }
    }

private:
    void arm() {
        if (!loop.hasIdleHandler()) {
            return;
        }
        if (loop.paceMs() > 0) {
            Fl::add_timeout(loop.paceMs() / 1000.0, onPace, this);
        } else {
            Fl::add_idle(onIdle, this);
        }
    }

    static void onIdle(void* self) {
        auto* app = static_cast<FltkApplication*>(self);
        MessageLoop& loop = app->loop;
        if (loop.hasIdleHandler() && !loop.callIdleHandler() && loop.hasIdleHandler()) {
            // Done for now: wait for the next message, then go on.
            Fl::remove_idle(onIdle, self);
            Fl::add_check(onWake, self);
        }
    }

    static void onPace(void* self) {
        MessageLoop& loop = static_cast<FltkApplication*>(self)->loop;
        if (!loop.hasIdleHandler()) {
            return;
        }
        if (loop.callIdleHandler() && loop.hasIdleHandler()) {
            Fl::repeat_timeout(loop.paceMs() / 1000.0, onPace, self);
        } else if (loop.hasIdleHandler()) {
            Fl::add_check(onWake, self);
        }
    }

    // Check callbacks run before each wait for messages: the first one sees the loop about to
    // wait, the second one runs after a message came.
    static void onWake(void* self) {
        auto* app = static_cast<FltkApplication*>(self);
        if (!app->waited) {
            app->waited = true;
            return;
        }
        app->waited = false;
        Fl::remove_check(onWake, self);
        app->arm();
    }

    static void onSignalByte(int fd, void* self) {
        char buffer[64];
        while (read(fd, buffer, sizeof buffer) > 0) {
        }
        if (mainForm != nullptr && !mainForm->isClosed()) {
            runGuarded([] { mainForm->closeMainForm(); });
        }
        static_cast<FltkApplication*>(self)->terminate();
        // An error box open at that moment would keep the process waiting for its OK.
        dismissModalWindows();
    }

    static void dismissModalWindows() {
        Fl_Window* modal[8];
        int count = 0;
        for (Fl_Window* w = Fl::first_window(); w != nullptr && count < 8; w = Fl::next_window(w)) {
            if (w->modal()) {
                modal[count++] = w;
            }
        }
        for (int i = 0; i < count; ++i) {
            modal[i]->hide();
        }
    }

    std::string title;
    MessageLoop loop;
    bool waited = false;
};

} // namespace

void setFltkMainForm(FltkMainForm* form) {
    mainForm = form;
}
FltkMainForm* fltkMainForm() {
    return mainForm;
}

std::unique_ptr<Application> createFltkApplication(int, char**) {
    return std::make_unique<FltkApplication>();
}
