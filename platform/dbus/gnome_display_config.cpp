#include "platform/dbus/gnome_display_config.h"

#include "platform/dbus/dbus_connection.h"
#include "platform/exception.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

namespace {

constexpr int timeoutMs = 5000;
// Mutter's layout modes: in the logical one a monitor's size in the layout is its mode's size
// divided by its scale; in the physical one it is the mode's size.
constexpr uint32_t logicalLayout = 1;
// No monitor is larger; a figure beyond it is a fault of the answer's.
constexpr int largestSide = 65536;

struct Mode {
    std::string connector;
    int width = 0;
    int height = 0;
};

struct Logical {
    int x = 0;
    int y = 0;
    double scale = 1;
    uint32_t transform = 0;
    std::vector<std::string> connectors;
};

// A monitor's spec (connector, vendor, product, serial), read with types "ssss" or "(ssss)":
// its connector.
std::string readConnector(DbusMessage& reply, const char* types) {
    const char* connector = nullptr;
    const char* vendor = nullptr;
    const char* product = nullptr;
    const char* serial = nullptr;
    reply.read(types, &connector, &vendor, &product, &serial);
    return connector;
}

// Each monitor's current mode, if it has one (a monitor that is off has none).
std::vector<Mode> readModes(DbusMessage& reply) {
    std::vector<Mode> modes;
    reply.enter('a', "((ssss)a(siiddada{sv})a{sv})");
    while (reply.enter('r', "(ssss)a(siiddada{sv})a{sv}")) {
        const std::string connector = readConnector(reply, "(ssss)");
        reply.enter('a', "(siiddada{sv})");
        while (reply.enter('r', "siiddada{sv}")) {
            const char* id = nullptr;
            int width = 0, height = 0;
            double refresh = 0, preferredScale = 0;
            reply.read("siidd", &id, &width, &height, &refresh, &preferredScale);
            reply.skip("ad");
            bool current = false;
            reply.readOptions([&](const std::string& key, const std::string& type) {
                if (key != "is-current" || type != "b")
                    return false;
                int value = 0;
                reply.read("v", "b", &value);
                current = value != 0;
                return true;
            });
            reply.leave();
            if (current)
                modes.push_back({connector, width, height});
        }
        reply.leave();
        reply.skip("a{sv}");
        reply.leave();
    }
    reply.leave();
    return modes;
}

std::vector<Logical> readLogicalMonitors(DbusMessage& reply) {
    std::vector<Logical> monitors;
    reply.enter('a', "(iiduba(ssss)a{sv})");
    while (reply.enter('r', "iiduba(ssss)a{sv}")) {
        Logical logical;
        int primary = 0;
        reply.read("iidub", &logical.x, &logical.y, &logical.scale, &logical.transform, &primary);
        reply.enter('a', "(ssss)");
        while (reply.enter('r', "ssss")) {
            logical.connectors.push_back(readConnector(reply, "ssss"));
            reply.leave();
        }
        reply.leave();
        reply.skip("a{sv}");
        reply.leave();
        monitors.push_back(std::move(logical));
    }
    reply.leave();
    return monitors;
}

bool plausible(int value) {
    return value > -largestSide && value < largestSide;
}

} // namespace

std::vector<DesktopMonitor> monitorsOfCurrentState(DbusMessage& reply) {
    uint32_t serial = 0;
    reply.read("u", &serial);
    const std::vector<Mode> modes = readModes(reply);
    const std::vector<Logical> logicals = readLogicalMonitors(reply);
    uint32_t layoutMode = 0;
    reply.readOptions([&](const std::string& key, const std::string& type) {
        if (key != "layout-mode" || type != "u")
            return false;
        reply.read("v", "u", &layoutMode);
        return true;
    });

    std::vector<DesktopMonitor> monitors;
    for (const Logical& logical : logicals) {
        for (const std::string& connector : logical.connectors) {
            auto mode = std::find_if(modes.begin(), modes.end(),
                                     [&](const Mode& m) { return m.connector == connector; });
            if (mode == modes.end())
                continue;
            const bool turned = logical.transform % 2 == 1; // 90 and 270, flipped or not
            DesktopMonitor monitor;
            monitor.connector = connector;
            monitor.x = logical.x;
            monitor.y = logical.y;
            monitor.pixelWidth = turned ? mode->height : mode->width;
            monitor.pixelHeight = turned ? mode->width : mode->height;
            const double scale =
                layoutMode == logicalLayout && logical.scale > 0 ? logical.scale : 1;
            monitor.width = static_cast<int>(std::lround(monitor.pixelWidth / scale));
            monitor.height = static_cast<int>(std::lround(monitor.pixelHeight / scale));
            if (!plausible(monitor.x) || !plausible(monitor.y) || monitor.pixelWidth <= 0 ||
                monitor.pixelHeight <= 0 || monitor.pixelWidth >= largestSide ||
                monitor.pixelHeight >= largestSide || monitor.width <= 0 || monitor.height <= 0)
                throw Exception("GNOME's display configuration describes the monitor " + connector +
                                " with impossible figures");
            monitors.push_back(monitor);
        }
    }
    if (monitors.empty())
        throw Exception("GNOME's display configuration shows no monitor");
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    for (const DesktopMonitor& m : monitors) {
        left = std::min(left, m.x);
        top = std::min(top, m.y);
        right = std::max(right, m.x + m.width);
        bottom = std::max(bottom, m.y + m.height);
    }
    for (DesktopMonitor& m : monitors) {
        m.layoutX = left;
        m.layoutY = top;
        m.layoutWidth = right - left;
        m.layoutHeight = bottom - top;
    }
    return monitors;
}

std::vector<DesktopMonitor> gnomeMonitors() {
    DbusConnection bus(DbusConnection::Bus::session);
    DbusMessage method =
        bus.methodCall("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig",
                       "org.gnome.Mutter.DisplayConfig", "GetCurrentState");
    DbusMessage reply = bus.call(method, timeoutMs);
    return monitorsOfCurrentState(reply);
}
