#include "platform/wayland/wayland_idle_notify.h"

#include "platform/exception.h"
#include "platform/wayland/wayland_connection.h"

#include "ext-idle-notify-v1-client-protocol.h"
#include <wayland-client.h>

#include <cstring>
#include <string>

namespace {

class WaylandIdleNotification final : public IdleSource {
public:
    explicit WaylandIdleNotification(int seconds) {
        try {
            watch(seconds);
        } catch (...) {
            release(); // no destructor runs for an object whose construction threw
            throw;
        }
    }
    ~WaylandIdleNotification() override { release(); }
    WaylandIdleNotification(const WaylandIdleNotification&) = delete;
    WaylandIdleNotification& operator=(const WaylandIdleNotification&) = delete;

    void prepareWait(std::vector<int>& fds, int& timeoutMs) override {
        // Events read along with an earlier roundtrip wait in the queue, not in the socket.
        connection.dispatch(0);
        if (idle)
            timeoutMs = 0;
        fds.push_back(wl_display_get_fd(connection.display));
    }

    void update() override { connection.dispatch(0); }

    std::string description() const override {
        return "the compositor's idle notification (ext-idle-notify-v1), which honours idle "
               "inhibitors";
    }

private:
    void watch(int seconds) {
        // A registry of its own for the one global the connection's record has no use for.
        wl_registry* registry = wl_display_get_registry(connection.display);
        wl_registry_add_listener(registry, &registryListener, this);
        connection.roundtrip();
        wl_registry_destroy(registry);
        if (notifier == nullptr)
            throw Exception("This Wayland compositor offers no idle notification "
                            "(ext-idle-notify-v1), so Kelvara cannot tell when you are idle. "
                            "Start the run with the compositor's own idle tool instead, for "
                            "example: swayidle timeout 600 'kelvara /s'");
        if (connection.globals.seat == nullptr)
            throw Exception("This Wayland compositor has no seat: no input, no idle time");
        notification = ext_idle_notifier_v1_get_idle_notification(
            notifier, static_cast<uint32_t>(seconds) * 1000, connection.globals.seat);
        ext_idle_notification_v1_add_listener(notification, &notificationListener, this);
        connection.roundtrip();
    }
    void release() {
        if (notification != nullptr)
            ext_idle_notification_v1_destroy(notification);
        if (notifier != nullptr)
            ext_idle_notifier_v1_destroy(notifier);
        notification = nullptr;
        notifier = nullptr;
    }

    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t) {
        auto* self = static_cast<WaylandIdleNotification*>(data);
        if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0 &&
            self->notifier == nullptr)
            self->notifier = static_cast<ext_idle_notifier_v1*>(
                wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
    }
    static void globalRemove(void*, wl_registry*, uint32_t) {}
    static void idled(void* data, ext_idle_notification_v1*) {
        static_cast<WaylandIdleNotification*>(data)->idle = true;
    }
    static void resumed(void* data, ext_idle_notification_v1*) {
        static_cast<WaylandIdleNotification*>(data)->idle = false;
    }

    static constexpr wl_registry_listener registryListener = {&global, &globalRemove};
    static constexpr ext_idle_notification_v1_listener notificationListener = {&idled, &resumed};

    WaylandConnection connection;
    ext_idle_notifier_v1* notifier = nullptr;
    ext_idle_notification_v1* notification = nullptr;
};

} // namespace

std::unique_ptr<IdleSource> openWaylandIdleNotification(int seconds) {
    return std::make_unique<WaylandIdleNotification>(seconds);
}
