#include "platform/dbus/portal_screenshot.h"

#include "platform/dbus/dbus_connection.h"
#include "platform/exception.h"
#include "platform/posix/png_decoder.h"

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int callTimeoutMs = 5000;
// The portal answers at once when the answer is kept; longer is a prompt on the screen, which
// the user may still be reading.
constexpr int answerTimeoutMs = 20000;
constexpr uint32_t responseSuccess = 0;
constexpr uint32_t responseCancelled = 1;
// Several 8K monitors side by side; a larger picture is refused before it is read.
constexpr int64_t largestDesktop = int64_t{1} << 27;

// The Request object the portal makes for a call with this token: its path is known before the
// call, so the answer cannot arrive before anyone listens.
std::string requestPath(const std::string& uniqueName, const std::string& token) {
    std::string sender;
    for (char c : uniqueName) {
        if (c != ':')
            sender += c == '.' ? '_' : c;
    }
    return "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One screenshot at a time for this user's programs: GNOME Shell takes one screenshot for the
// portal at a time, and the portal leaves a second request that comes meanwhile unanswered. The
// output runs of one full-screen run all ask at once; they take turns here instead. The lock
// goes with the file's descriptor, however the process ends.
class ScreenshotTurn {
public:
    explicit ScreenshotTurn(int timeoutMs) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        const std::string path =
            std::string(runtime != nullptr && runtime[0] == '/' ? runtime : "/tmp") +
            "/kelvara-screenshot-" + std::to_string(getuid()) + ".lock";
        descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        for (int waited = 0; descriptor >= 0 && flock(descriptor, LOCK_EX | LOCK_NB) != 0;
             waited += 50) {
            if (waited >= timeoutMs)
                break; // the holder hangs: go on without the turn rather than wait for ever
            usleep(50000);
        }
    }
    ~ScreenshotTurn() {
        if (descriptor >= 0)
            close(descriptor);
    }
    ScreenshotTurn(const ScreenshotTurn&) = delete;
    ScreenshotTurn& operator=(const ScreenshotTurn&) = delete;

private:
    int descriptor = -1;
};

// Reads the picture at path and removes the file, whether or not it was a picture.
Bitmap takeFile(const std::string& path) {
    struct Remove {
        const std::string& path;
        ~Remove() { unlink(path.c_str()); }
    } remove{path};
    return decodePngFile(path, largestDesktop);
}

Bitmap screenshot() {
    const ScreenshotTurn turn(answerTimeoutMs);
    DbusConnection bus(DbusConnection::Bus::session);
    static std::atomic<unsigned> calls{0};
    const std::string token = "kelvara" + std::to_string(getpid()) + "_" + std::to_string(calls++);
    const std::string path = requestPath(bus.uniqueName(), token);
    DbusSignalWait response(bus, path, "org.freedesktop.portal.Request", "Response");

    DbusMessage method =
        bus.methodCall("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                       "org.freedesktop.portal.Screenshot", "Screenshot");
    method.append("s", ""); // no parent window
    method.openOptions();
    method.appendOption("handle_token", token.c_str());
    method.appendOption("interactive", false);
    method.closeOptions();
    DbusMessage request = bus.call(method, callTimeoutMs);
    const char* handle = nullptr;
    request.read("o", &handle);
    if (path != handle)
        throw Exception("the portal answers on an object of its own choosing (" +
                        std::string(handle) + "), which this program does not follow");

    DbusMessage answer = response.next(answerTimeoutMs);
    uint32_t code = 0;
    answer.read("u", &code);
    if (code == responseCancelled)
        throw Exception("the user or the desktop declined the screenshot");
    if (code != responseSuccess)
        throw Exception("the portal refused the screenshot (response " + std::to_string(code) +
                        ")");
    const std::string uri = answer.readStringOption("uri");
    const std::string file = pathOfFileUri(uri);
    if (file.empty())
        throw Exception("the portal's picture is not a local file (\"" + uri + "\")");
    try {
        return takeFile(file);
    } catch (const Exception& e) {
        throw Exception(file + ": " + e.message);
    }
}

} // namespace

std::string pathOfFileUri(const std::string& uri) {
    static const std::string scheme = "file://";
    if (uri.compare(0, scheme.size(), scheme) != 0)
        return "";
    // file:///path, or file://localhost/path; another host's file is none of this machine's.
    std::string rest = uri.substr(scheme.size());
    if (rest.compare(0, 9, "localhost") == 0)
        rest.erase(0, 9);
    if (rest.empty() || rest[0] != '/')
        return "";
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%') {
            const int high = i + 2 < rest.size() ? hexDigit(rest[i + 1]) : -1;
            const int low = high >= 0 ? hexDigit(rest[i + 2]) : -1;
            if (low < 0 || (high == 0 && low == 0))
                return "";
            path += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (rest[i] == '?' || rest[i] == '#') {
            break;
        } else {
            path += rest[i];
        }
    }
    return path;
}

bool capturePortalScreenshot(Bitmap& desktop, std::string& why) {
    try {
        desktop = screenshot();
        return true;
    } catch (const Exception& e) {
        why = e.message;
        return false;
    }
}
