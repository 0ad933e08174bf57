// GNOME's monitors as Mutter's display configuration (org.gnome.Mutter.DisplayConfig) describes
// them.
#pragma once

#include "platform/dbus/desktop_monitor.h"

#include <vector>

class DbusMessage;

// Every monitor that shows part of the desktop, with its connector, logical place and size,
// size in pixels and the layout's bounds. Throws Exception when the service is absent or
// answers with content this cannot read.
std::vector<DesktopMonitor> gnomeMonitors();

// The same from a reply of GetCurrentState, for the tests.
std::vector<DesktopMonitor> monitorsOfCurrentState(DbusMessage& reply);
