// A stand-in for KWin's screenshot service on the session bus it is started on (a private one
// of the test): org.kde.KWin.ScreenShot2 at /org/kde/KWin/ScreenShot2 with the CaptureScreen
// call as KWin documents it: the answer first, a dictionary of the picture's layout, then the
// pixels written into the caller's pipe from a thread of their own. KWin on a machine without a
// graphics device composites without OpenGL and offers no such service, hence this.
//
// The output's name picks what it does, so that one stand-in serves every case:
//   Virtual-0, Virtual-1, Large-1   the pictures of kwin_stand_in_pictures.h
//   refused                         KWin's error for a program it does not allow
//   silent                          no answer at all
//   stalled                         an answer, then no pixels while the pipe stays open
//   short                           an answer, then half the pixels and the pipe closed
//   huge-claim                      an answer of 100000 x 100000 pixels
//   big-claim                       an answer of 8192 x 8192 pixels, then 100 bytes
//   narrow-rows, wide-rows          rows shorter than a pixel row, or far longer
//   png, indexed                    a type other than raw, a format this program does not read
//   signed-width, no-height         a width of the wrong D-Bus type, a missing height
//   anything else                   KWin's error for an unknown output
// Calls that do not ask for native resolution without the cursor get an InvalidArgs error.
// Prints "ready" once it owns its names; ends when the bus goes.
#include "kwin_stand_in_pictures.h"

#include <systemd/sd-bus.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* errorPrefix = "org.kde.KWin.ScreenShot2.Error.";

// Writes bytes into the pipe as KWin does, blocking while the reader lags, then holds the pipe
// open for holdSeconds before closing it.
void writeLater(int fd, std::vector<uint8_t> bytes, int holdSeconds) {
    std::thread([fd, bytes = std::move(bytes), holdSeconds] {
        size_t done = 0;
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        while (done < bytes.size()) {
            const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        std::this_thread::sleep_for(std::chrono::seconds(holdSeconds));
        close(fd);
    }).detach();
}

// The options the client must give: native resolution, no cursor.
bool readOptions(sd_bus_message* call, bool& native, bool& cursor) {
    if (sd_bus_message_enter_container(call, 'a', "{sv}") <= 0)
        return false;
    while (sd_bus_message_enter_container(call, 'e', "sv") > 0) {
        const char* key = nullptr;
        if (sd_bus_message_read(call, "s", &key) < 0)
            return false;
        int value = 0;
        bool* flag = std::strcmp(key, "native-resolution") == 0 ? &native
                     : std::strcmp(key, "include-cursor") == 0  ? &cursor
                                                                : nullptr;
        if (flag != nullptr) {
            if (sd_bus_message_read(call, "v", "b", &value) < 0)
                return false;
            *flag = value != 0;
        } else if (sd_bus_message_skip(call, "v") < 0) {
            return false;
        }
        sd_bus_message_exit_container(call);
    }
    return sd_bus_message_exit_container(call) >= 0;
}

std::vector<sd_bus_message*> unanswered; // the silent calls, kept so that no reply goes out

int captureScreen(sd_bus_message* call, void*, sd_bus_error* error) {
    const char* name = nullptr;
    bool native = false, cursor = false;
    int fd = -1;
    if (sd_bus_message_read(call, "s", &name) < 0 || !readOptions(call, native, cursor) ||
        sd_bus_message_read(call, "h", &fd) < 0)
        return sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS, "unreadable call");
    if (!native || cursor)
        return sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS,
                                "the stand-in wants native-resolution and no cursor");
    const std::string output = name;
    if (output == "refused")
        return sd_bus_error_set(error, (std::string(errorPrefix) + "NoAuthorized").c_str(),
                                "The process is not authorized to take a screenshot");
    if (output == "silent") {
        unanswered.push_back(sd_bus_message_ref(call));
        return 1;
    }

    StandInPicture picture = standInPicture(output);
    std::string type = "raw";
    int holdSeconds = 0;
    bool signedWidth = false, noHeight = false;
    if (picture.bytes.empty()) {
        picture = standInPicture("Virtual-0");
        if (output == "stalled") {
            picture.bytes.clear();
            holdSeconds = 30;
        } else if (output == "short") {
            picture.bytes.resize(picture.bytes.size() / 2);
        } else if (output == "huge-claim") {
            picture.width = picture.height = 100000;
            picture.stride = picture.width * 4;
        } else if (output == "big-claim") {
            picture.width = picture.height = 8192;
            picture.stride = picture.width * 4;
            picture.bytes.resize(100);
        } else if (output == "narrow-rows") {
            picture.stride = picture.width * 4 - 4;
        } else if (output == "wide-rows") {
            picture.stride = picture.width * 4 + 100000;
        } else if (output == "png") {
            type = "png";
        } else if (output == "indexed") {
            picture.format = 3;
        } else if (output == "signed-width") {
            signedWidth = true;
        } else if (output == "no-height") {
            noHeight = true;
        } else {
            return sd_bus_error_set(error, (std::string(errorPrefix) + "InvalidScreen").c_str(),
                                    "Invalid screen requested");
        }
    }

    sd_bus_message* reply = nullptr;
    int r = sd_bus_message_new_method_return(call, &reply);
    if (r >= 0)
        r = sd_bus_message_open_container(reply, 'a', "{sv}");
    if (r >= 0)
        r = sd_bus_message_append(reply, "{sv}{sv}{sv}{sv}{sv}{sv}", "type", "s", type.c_str(),
                                  "format", "u", picture.format, "stride", "u", picture.stride,
                                  "screen", "s", name, "scale", "d", 1.0, "later-entry", "as", 2,
                                  "not", "read");
    if (r >= 0)
        r = signedWidth ? sd_bus_message_append(reply, "{sv}", "width", "i",
                                                static_cast<int32_t>(picture.width))
                        : sd_bus_message_append(reply, "{sv}", "width", "u", picture.width);
    if (r >= 0 && !noHeight)
        r = sd_bus_message_append(reply, "{sv}", "height", "u", picture.height);
    if (r >= 0)
        r = sd_bus_message_close_container(reply);
    if (r >= 0)
        r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    if (r < 0)
        return r;
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy >= 0)
        writeLater(copy, std::move(picture.bytes), holdSeconds);
    return 1;
}

int version(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
            sd_bus_error*) {
    return sd_bus_message_append(reply, "u", 4u);
}

const sd_bus_vtable screenShot2[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Version", "u", version, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("CaptureScreen", "sa{sv}h", "a{sv}", captureScreen, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

} // namespace

int main() {
    // As KWin: a caller that stops reading early must not end the service.
    signal(SIGPIPE, SIG_IGN);
    sd_bus* bus = nullptr;
    int r = sd_bus_open_user(&bus);
    if (r >= 0)
        r = sd_bus_add_object_vtable(bus, nullptr, "/org/kde/KWin/ScreenShot2",
                                     "org.kde.KWin.ScreenShot2", screenShot2, nullptr);
    // KWin owns both names; clients call the interface's own.
    if (r >= 0)
        r = sd_bus_request_name(bus, "org.kde.KWin.ScreenShot2", 0);
    if (r >= 0)
        r = sd_bus_request_name(bus, "org.kde.KWin", 0);
    if (r < 0) {
        std::fprintf(stderr, "kwin_screenshot_stand_in: %s\n", std::strerror(-r));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        r = sd_bus_process(bus, nullptr);
        if (r < 0)
            break; // the bus has gone
        if (r == 0 && sd_bus_wait(bus, UINT64_MAX) < 0)
            break;
    }
    for (sd_bus_message* call : unanswered)
        sd_bus_message_unref(call);
    sd_bus_flush_close_unref(bus);
    return 0;
}
