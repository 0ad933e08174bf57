// Drives a GNOME Shell for the tests over its session bus (DBUS_SESSION_BUS_ADDRESS):
//   gnome_shell_tool overview-off                 leaves the overview the shell starts in
//   gnome_shell_tool screenshot X Y W H FILE      a PNG of that part of the desktop
//   gnome_shell_tool key KEYCODE...               presses and releases each key (evdev codes:
//                                                 57 is the space bar) as a remote desktop does
// The shell takes screenshots only for its own screenshot tool, so this takes that tool's bus
// name first. Exit status 0 on success, 1 with a line on standard error otherwise.
#include "platform/dbus/dbus_connection.h"
#include "platform/exception.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

constexpr int timeoutMs = 10000;

int number(const char* text) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0 || value > 100000)
        throw Exception(std::string("not a number: ") + text);
    return static_cast<int>(value);
}

void overviewOff(DbusConnection& bus) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int result = sd_bus_set_property(bus.get(), "org.gnome.Shell", "/org/gnome/Shell",
                                           "org.gnome.Shell", "OverviewActive", &error, "b", 0);
    const std::string message = error.message != nullptr ? error.message : "";
    sd_bus_error_free(&error);
    if (result < 0)
        throw Exception("OverviewActive: " + message);
    int active = 1;
    error = SD_BUS_ERROR_NULL;
    const int got = sd_bus_get_property_trivial(bus.get(), "org.gnome.Shell", "/org/gnome/Shell",
                                                "org.gnome.Shell", "OverviewActive", &error, 'b',
                                                &active);
    sd_bus_error_free(&error);
    if (got < 0 || active)
        throw Exception("the overview is still shown");
}

void screenshot(DbusConnection& bus, int x, int y, int width, int height,
                const std::string& file) {
    const int named = sd_bus_request_name(bus.get(), "org.gnome.Screenshot", 0);
    if (named < 0)
        throwDbusFailure("cannot take the name org.gnome.Screenshot", named);
    // The shell writes the file as its own user: into its runtime folder, then moved here.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr)
        throw Exception("XDG_RUNTIME_DIR is not set");
    const std::string shellFile =
        std::string(runtime) + "/kelvara-screenshot-" + std::to_string(getpid()) + ".png";
    DbusMessage method = bus.methodCall("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot",
                                        "org.gnome.Shell.Screenshot", "ScreenshotArea");
    method.append("iiiibs", x, y, width, height, 0, shellFile.c_str());
    DbusMessage reply = bus.call(method, timeoutMs);
    int success = 0;
    const char* written = nullptr;
    reply.read("bs", &success, &written);
    if (!success)
        throw Exception("the shell took no screenshot");
    std::filesystem::copy_file(written, file, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove(written);
}

void keys(DbusConnection& bus, int count, char** codes) {
    const char* service = "org.gnome.Mutter.RemoteDesktop";
    const char* session = "org.gnome.Mutter.RemoteDesktop.Session";
    DbusMessage create =
        bus.methodCall(service, "/org/gnome/Mutter/RemoteDesktop", service, "CreateSession");
    DbusMessage created = bus.call(create, timeoutMs);
    const char* path = nullptr;
    created.read("o", &path);
    const std::string sessionPath = path;
    DbusMessage start = bus.methodCall(service, sessionPath.c_str(), session, "Start");
    bus.call(start, timeoutMs);
    for (int i = 0; i < count; ++i) {
        const uint32_t code = static_cast<uint32_t>(number(codes[i]));
        for (int pressed : {1, 0}) {
            DbusMessage key =
                bus.methodCall(service, sessionPath.c_str(), session, "NotifyKeyboardKeycode");
            key.append("ub", code, pressed);
            bus.call(key, timeoutMs);
        }
    }
    DbusMessage stop = bus.methodCall(service, sessionPath.c_str(), session, "Stop");
    bus.call(stop, timeoutMs);
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    try {
        DbusConnection bus(DbusConnection::Bus::session);
        if (command == "overview-off" && argc == 2)
            overviewOff(bus);
        else if (command == "screenshot" && argc == 7)
            screenshot(bus, number(argv[2]), number(argv[3]), number(argv[4]), number(argv[5]),
                       argv[6]);
        else if (command == "key" && argc > 2)
            keys(bus, argc - 2, argv + 2);
        else {
            std::fprintf(stderr, "usage: gnome_shell_tool overview-off | screenshot X Y W H FILE "
                                 "| key KEYCODE...\n");
            return 2;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gnome_shell_tool %s: %s\n", command.c_str(), e.what());
        return 1;
    }
    return 0;
}
