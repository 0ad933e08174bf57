#include "platform/dbus/mutter_idle_monitor.h"

#include "platform/dbus/dbus_connection.h"
#include "platform/exception.h"

#include <cstdint>
#include <string>

namespace {

constexpr const char* service = "org.gnome.Mutter.IdleMonitor";
constexpr const char* corePath = "/org/gnome/Mutter/IdleMonitor/Core";
constexpr int callTimeoutMs = 5000;

class MutterIdleMonitor final : public IdleSource {
public:
    MutterIdleMonitor(std::unique_ptr<DbusConnection> connection, int seconds)
        : bus(std::move(connection)), fired(*bus, corePath, service, "WatchFired"),
          ownerChanged(*bus, "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameOwnerChanged",
                       service) {
        // The signal waits come first: a user idle for longer already gets the watch fired at
        // once, possibly along with the reply. One watch serves every stretch of idle time:
        // it fires each time the time since the last input reaches the interval.
        DbusMessage add = bus->methodCall(service, corePath, service, "AddIdleWatch");
        add.append("t", static_cast<uint64_t>(seconds) * 1000);
        DbusMessage reply = bus->call(add, callTimeoutMs);
        reply.read("u", &watch);
    }

    void prepareWait(std::vector<int>& fds, int& timeoutMs) override {
        // A signal that came with a reply waits in the connection, not in its socket.
        update();
        if (idle)
            timeoutMs = 0;
        fds.push_back(bus->flushForPoll());
    }

    void update() override {
        bus->processArrived();
        DbusMessage signal;
        while (fired.take(signal)) {
            uint32_t id = 0;
            try {
                signal.read("u", &id);
            } catch (const Exception&) {
                continue; // not the monitor's own signal: someone else's on the same path
            }
            idle = idle || id == watch;
        }
        while (ownerChanged.take(signal)) {
            const char* name = nullptr;
            const char* before = nullptr;
            const char* after = nullptr;
            try {
                signal.read("sss", &name, &before, &after);
            } catch (const Exception&) {
                continue;
            }
            // The shell that held the watch has gone (it restarted, or the session ends).
            if (std::string(name) == service)
                throw Exception("GNOME's idle monitor went away");
        }
    }

    std::string description() const override {
        return "GNOME's idle monitor (org.gnome.Mutter.IdleMonitor), which honours the session's "
               "idle inhibitors";
    }

private:
    std::unique_ptr<DbusConnection> bus;
    DbusSignalWait fired;
    DbusSignalWait ownerChanged;
    uint32_t watch = 0;
};

} // namespace

std::unique_ptr<IdleSource> openMutterIdleMonitor(int seconds) {
    std::unique_ptr<DbusConnection> bus;
    try {
        bus = std::make_unique<DbusConnection>(DbusConnection::Bus::session);
        if (!bus->hasOwner(service))
            return nullptr;
    } catch (const Exception&) {
        return nullptr; // no session bus: not GNOME
    }
    try {
        return std::make_unique<MutterIdleMonitor>(std::move(bus), seconds);
    } catch (const Exception& e) {
        throw Exception("GNOME's idle monitor: " + e.message);
    }
}
