// Stands in on a test's bus for the desktop services that tell of idle inhibitors and of the lock,
// where the test's desktop has none of its own:
//   idle_bus_stand_in session-manager   on the session bus, gnome-session's
//   org.gnome.SessionManager
//                                       with its InhibitedActions (GNOME Shell's idle watches wait
//                                       while it holds 8, "idle"): SIGUSR1 inhibits idle, SIGUSR2
//                                       lifts it
//   idle_bus_stand_in screensaver       on the session bus, GNOME Shell's org.gnome.ScreenSaver,
//                                       which a shell without a display manager leaves out:
//                                       SIGUSR1 shows its lock (ActiveChanged true), SIGUSR2
//                                       takes it away
//   idle_bus_stand_in logind            on the system bus, logind's manager and one session
//                                       (GetSession answers it for any name): SIGUSR1 sends the
//                                       session's Lock and sets its LockedHint, SIGUSR2 sends
//                                       Unlock and clears it
// It prints "ready" once it owns the name, and ends on SIGTERM or SIGINT (an inhibition lifted
// first, so that the shell goes on counting).
#include <systemd/sd-bus.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

constexpr const char* sessionPath = "/org/freedesktop/login1/session/stand_in";
constexpr uint32_t inhibitIdle = 8;

uint32_t inhibitedActions = 0;
int lockedHint = 0;

int getInhibitedActions(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                        void*, sd_bus_error*) {
    return sd_bus_message_append(reply, "u", inhibitedActions);
}

int getLockedHint(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                  sd_bus_error*) {
    return sd_bus_message_append(reply, "b", lockedHint);
}

int screenSaverActive = 0;

int getActive(sd_bus_message* call, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(call, "b", screenSaverActive);
}

int getSession(sd_bus_message* call, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(call, "o", sessionPath);
}

const sd_bus_vtable sessionManager[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("InhibitedActions", "u", getInhibitedActions, 0,
                    SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable screenSaver[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("GetActive", "", "b", getActive, 0),
    SD_BUS_SIGNAL("ActiveChanged", "b", 0),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable loginManager[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("GetSession", "s", "o", getSession, 0),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable loginSession[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("LockedHint", "b", getLockedHint, 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_SIGNAL("Lock", "", 0),
    SD_BUS_SIGNAL("Unlock", "", 0),
    SD_BUS_VTABLE_END,
};

int fail(const char* what, int result) {
    std::fprintf(stderr, "idle_bus_stand_in: %s: %s\n", what, std::strerror(-result));
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string role = argc == 2 ? argv[1] : "";
    const bool logind = role == "logind";
    const bool screensaver = role == "screensaver";
    if (!logind && !screensaver && role != "session-manager") {
        std::fprintf(stderr, "usage: idle_bus_stand_in session-manager | screensaver | logind\n");
        return 2;
    }
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT})
        sigaddset(&signals, s);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);

    sd_bus* bus = nullptr;
    int result = logind ? sd_bus_open_system(&bus) : sd_bus_open_user(&bus);
    if (result < 0)
        return fail("cannot reach the bus", result);
    if (logind) {
        result = sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/login1",
                                          "org.freedesktop.login1.Manager", loginManager, nullptr);
        if (result >= 0)
            result = sd_bus_add_object_vtable(
                bus, nullptr, sessionPath, "org.freedesktop.login1.Session", loginSession, nullptr);
    } else if (screensaver) {
        result = sd_bus_add_object_vtable(bus, nullptr, "/org/gnome/ScreenSaver",
                                          "org.gnome.ScreenSaver", screenSaver, nullptr);
    } else {
        result = sd_bus_add_object_vtable(bus, nullptr, "/org/gnome/SessionManager",
                                          "org.gnome.SessionManager", sessionManager, nullptr);
    }
    if (result < 0)
        return fail("cannot add the objects", result);
    const char* name = logind        ? "org.freedesktop.login1"
                       : screensaver ? "org.gnome.ScreenSaver"
                                     : "org.gnome.SessionManager";
    result = sd_bus_request_name(bus, name, 0);
    if (result < 0)
        return fail("cannot take the name", result);
    std::puts("ready");
    std::fflush(stdout);

    const auto changed = [&](bool on) {
        if (logind) {
            lockedHint = on;
            sd_bus_emit_signal(bus, sessionPath, "org.freedesktop.login1.Session",
                               on ? "Lock" : "Unlock", "");
            sd_bus_emit_properties_changed(bus, sessionPath, "org.freedesktop.login1.Session",
                                           "LockedHint", nullptr);
        } else if (screensaver) {
            screenSaverActive = on;
            sd_bus_emit_signal(bus, "/org/gnome/ScreenSaver", "org.gnome.ScreenSaver",
                               "ActiveChanged", "b", screenSaverActive);
        } else {
            inhibitedActions = on ? inhibitIdle : 0;
            sd_bus_emit_properties_changed(bus, "/org/gnome/SessionManager",
                                           "org.gnome.SessionManager", "InhibitedActions", nullptr);
        }
        sd_bus_flush(bus);
    };
    while (true) {
        while ((result = sd_bus_process(bus, nullptr)) > 0) {
        }
        if (result < 0)
            return fail("the bus failed", result);
        pollfd fds[2] = {{sd_bus_get_fd(bus), POLLIN, 0}, {signalFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR)
            return fail("cannot wait", -errno);
        signalfd_siginfo info{};
        if (!(fds[1].revents & POLLIN) || read(signalFd, &info, sizeof info) != sizeof info)
            continue;
        if (info.ssi_signo == SIGUSR1 || info.ssi_signo == SIGUSR2) {
            changed(info.ssi_signo == SIGUSR1);
        } else {
            if (inhibitedActions != 0)
                changed(false);
            sd_bus_flush_close_unref(bus);
            return 0;
        }
    }
}
