#include "platform/dbus/mutter_screen_cast.h"

#include "platform/dbus/dbus_connection.h"
#include "platform/dbus/pipewire_frame.h"
#include "platform/dbus/video_frame.h"
#include "platform/exception.h"

namespace {

constexpr const char* service = "org.gnome.Mutter.ScreenCast";
constexpr const char* sessionInterface = "org.gnome.Mutter.ScreenCast.Session";
// Each step answers at once where the service works; the stream's first frame comes with the
// next repaint.
constexpr int callTimeoutMs = 5000;
constexpr int frameTimeoutMs = 3000;
// The shell records a stream's first frame as soon as the stream runs; when that comes before
// the stream has its buffers, no other frame follows until something on the monitor changes,
// which on a still desktop may be never. A new session gets a new first frame.
constexpr int attempts = 2;
constexpr uint32_t cursorHidden = 0;

// A session, stopped however the capture ends; the service also ends it when this program's
// connection closes.
struct Session {
    DbusConnection& bus;
    std::string path;
    bool started = false;

    ~Session() {
        if (!started)
            return;
        try {
            DbusMessage stop = bus.methodCall(service, path.c_str(), sessionInterface, "Stop");
            bus.call(stop, callTimeoutMs);
        } catch (const Exception&) {
            // Gone already: the service stopped it itself.
        }
    }
};

// Where the frame goes while PipeWire still holds its buffer; nothing may be thrown through C.
struct Received {
    Bitmap picture;
    std::string error;
};

void receive(void* user, const PipewireFrame* frame) {
    Received& received = *static_cast<Received*>(user);
    try {
        received.picture = pictureOfFrame(*frame);
    } catch (const Exception& e) {
        received.error = e.message;
    }
}

// One session; false when its stream brought no picture in time.
bool record(DbusConnection& bus, const std::string& connector, Received& received) {
    DbusMessage create =
        bus.methodCall(service, "/org/gnome/Mutter/ScreenCast", service, "CreateSession");
    create.openOptions();
    create.closeOptions();
    DbusMessage created = bus.call(create, callTimeoutMs);
    const char* sessionPath = nullptr;
    created.read("o", &sessionPath);
    Session session{bus, sessionPath};

    DbusMessage monitor =
        bus.methodCall(service, session.path.c_str(), sessionInterface, "RecordMonitor");
    monitor.append("s", connector.c_str());
    monitor.openOptions();
    monitor.appendOption("cursor-mode", cursorHidden);
    monitor.closeOptions();
    DbusMessage recorded = bus.call(monitor, callTimeoutMs);
    const char* streamPath = nullptr;
    recorded.read("o", &streamPath);

    DbusSignalWait added(bus, streamPath, "org.gnome.Mutter.ScreenCast.Stream",
                         "PipeWireStreamAdded");
    DbusMessage start = bus.methodCall(service, session.path.c_str(), sessionInterface, "Start");
    session.started = true;
    bus.call(start, callTimeoutMs);
    DbusMessage node = added.next(callTimeoutMs);
    uint32_t nodeId = 0;
    node.read("u", &nodeId);

    char why[256];
    const int result =
        pipewireReadFrame(nodeId, frameTimeoutMs, receive, &received, why, sizeof why);
    if (result < 0)
        return false;
    if (result == 0)
        throw Exception(why);
    if (!received.error.empty())
        throw Exception(received.error);
    return true;
}

} // namespace

bool captureScreenCast(const std::string& connector, Bitmap& picture, std::string& why) {
    try {
        if (connector.empty())
            throw Exception("the monitor's connector name is unknown");
        DbusConnection bus(DbusConnection::Bus::session);
        if (!bus.hasOwner(service))
            throw Exception("the service is not on the session bus");
        for (int attempt = 0; attempt < attempts; ++attempt) {
            Received received;
            if (record(bus, connector, received)) {
                picture = std::move(received.picture);
                return true;
            }
        }
        why = "the stream brought no picture within " + std::to_string(frameTimeoutMs / 1000) +
              " s, twice";
    } catch (const Exception& e) {
        why = e.message;
    }
    return false;
}
