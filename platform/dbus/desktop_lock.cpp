#include "platform/dbus/desktop_lock.h"

#include "platform/dbus/dbus_connection.h"
#include "platform/exception.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace {

constexpr int callTimeoutMs = 5000;

struct ScreenSaverService {
    const char* name;
    const char* path;
};
// The interface is named as the service is. KDE's answers on two paths; its signal is taken
// from any.
constexpr ScreenSaverService screenSavers[] = {
    {"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver"},
    {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver"},
};

constexpr const char* logind = "org.freedesktop.login1";
constexpr const char* sessionInterface = "org.freedesktop.login1.Session";

// The session bus's screen saver: whether its lock (or its shield before the lock) is up.
struct ScreenSaver {
    std::unique_ptr<DbusConnection> bus;
    const char* name = nullptr;
    std::optional<DbusSignalWait> changed;
    bool active = false;

    // Throws Exception when there is none, or it does not answer.
    ScreenSaver() : bus(std::make_unique<DbusConnection>(DbusConnection::Bus::session)) {
        for (const ScreenSaverService& service : screenSavers) {
            if (!bus->hasOwner(service.name))
                continue;
            name = service.name;
            changed.emplace(*bus, "", service.name, "ActiveChanged");
            DbusMessage get =
                bus->methodCall(service.name, service.path, service.name, "GetActive");
            DbusMessage reply = bus->call(get, callTimeoutMs);
            int value = 0;
            reply.read("b", &value);
            active = value != 0;
            return;
        }
        throw Exception("no screen saver on the session bus");
    }

    void update() {
        bus->processArrived();
        DbusMessage signal;
        while (changed->take(signal)) {
            int value = 0;
            try {
                signal.read("b", &value);
            } catch (const Exception&) {
                continue;
            }
            active = value != 0;
        }
    }
};

// logind's record of this session: "auto" is the caller's session, or where the caller is
// in none (a service of the user's own systemd), the user's graphical session.
struct Logind {
    std::unique_ptr<DbusConnection> bus;
    std::string session;
    std::optional<DbusSignalWait> lock;
    std::optional<DbusSignalWait> properties;
    bool lockedHint = false;
    bool lockAsked = false;

    Logind() : bus(std::make_unique<DbusConnection>(DbusConnection::Bus::system)) {
        DbusMessage get = bus->methodCall(logind, "/org/freedesktop/login1",
                                          "org.freedesktop.login1.Manager", "GetSession");
        get.append("s", "auto");
        DbusMessage reply = bus->call(get, callTimeoutMs);
        const char* path = nullptr;
        reply.read("o", &path);
        session = path;
        lock.emplace(*bus, session, sessionInterface, "Lock");
        properties.emplace(*bus, session, "org.freedesktop.DBus.Properties", "PropertiesChanged");
        readLockedHint();
    }

    void readLockedHint() {
        DbusMessage get =
            bus->methodCall(logind, session.c_str(), "org.freedesktop.DBus.Properties", "Get");
        get.append("ss", sessionInterface, "LockedHint");
        DbusMessage reply = bus->call(get, callTimeoutMs);
        int value = 0;
        reply.read("v", "b", &value);
        lockedHint = value != 0;
    }

    void update() {
        bus->processArrived();
        DbusMessage signal;
        while (lock->take(signal))
            lockAsked = true;
        bool reread = false;
        while (properties->take(signal)) {
            try {
                reread = changesLockedHint(signal) || reread;
            } catch (const Exception&) {
                // Not what PropertiesChanged holds: nothing to learn from it.
            }
        }
        if (reread)
            readLockedHint();
    }

    // Takes the new LockedHint where the signal carries it; true where it only names it as
    // changed.
    bool changesLockedHint(DbusMessage& signal) {
        const char* interface = nullptr;
        signal.read("s", &interface);
        if (std::strcmp(interface, sessionInterface) != 0)
            return false;
        signal.readOptions([&](const std::string& name, const std::string&) {
            if (name != "LockedHint")
                return false;
            int value = 0;
            signal.read("v", "b", &value);
            lockedHint = value != 0;
            return true;
        });
        bool named = false;
        signal.enter('a', "s");
        const char* invalidated = nullptr;
        while (!named && sd_bus_message_read_basic(signal.get(), 's', &invalidated) > 0)
            named = std::strcmp(invalidated, "LockedHint") == 0;
        return named;
    }
};

class DesktopLock final : public LockSource {
public:
    DesktopLock(std::unique_ptr<ScreenSaver> screenSaver, std::unique_ptr<Logind> logind)
        : screenSaver(std::move(screenSaver)), logind(std::move(logind)) {}

    void prepareWait(std::vector<int>& fds, int& timeoutMs) override {
        // What came along with a call's reply waits in the connection, not in its socket.
        update();
        if (lockedNow())
            timeoutMs = 0;
        guarded(screenSaver, "the screen saver's",
                [&] { fds.push_back(screenSaver->bus->flushForPoll()); });
        guarded(logind, "logind's", [&] { fds.push_back(logind->bus->flushForPoll()); });
    }

    void update() override {
        guarded(screenSaver, "the screen saver's", [&] { screenSaver->update(); });
        guarded(logind, "logind's", [&] { logind->update(); });
    }

    std::string description() const override {
        std::string text;
        if (screenSaver)
            text = std::string(screenSaver->name) + " on the session bus";
        if (logind)
            text +=
                (text.empty() ? "" : " and ") + std::string("logind's session ") + logind->session;
        return text.empty() ? "nothing (no screen saver on the session bus, no logind session)"
                            : text;
    }

    bool takeLocked() override {
        const bool locked = lockedNow();
        if (logind)
            logind->lockAsked = false;
        return locked;
    }

private:
    // A bus that fails takes only its own part away: the other may still tell.
    template <class Part, class Step>
    static void guarded(std::unique_ptr<Part>& part, const char* whose, const Step& step) {
        if (!part)
            return;
        try {
            step();
        } catch (const Exception& e) {
            std::fprintf(stderr, "kelvara: %s lock is no longer watched: %s\n", whose,
                         e.message.c_str());
            part.reset();
        }
    }

    bool lockedNow() const {
        return (screenSaver && screenSaver->active) ||
               (logind && (logind->lockedHint || logind->lockAsked));
    }

    std::unique_ptr<ScreenSaver> screenSaver;
    std::unique_ptr<Logind> logind;
};

} // namespace

std::unique_ptr<LockSource> openDesktopLock() {
    std::unique_ptr<ScreenSaver> screenSaver;
    std::unique_ptr<Logind> session;
    try {
        screenSaver = std::make_unique<ScreenSaver>();
    } catch (const Exception&) {
        // None here: the desktop shows its lock to logind, if at all.
    }
    try {
        session = std::make_unique<Logind>();
    } catch (const Exception&) {
        // No logind, or this user has no session there (a plain X server started by hand).
    }
    return std::make_unique<DesktopLock>(std::move(screenSaver), std::move(session));
}
