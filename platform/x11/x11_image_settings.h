// XScreenSaver's image settings (HostImageSettings) as its image loader, xscreensaver-getimage,
// reads them: from X resources of its class, where the user's ~/.xscreensaver overrides the X
// server's resources (xrdb), which override the system's app-defaults file.
#pragma once

#include "platform/host_window.h"

#include <string>
#include <vector>

// Where Debian's XScreenSaver keeps its app-defaults file; the first that opens counts.
extern const std::vector<std::string> xscreensaverAppDefaults;

// serverResources: the server's RESOURCE_MANAGER text, or nullptr; home: $HOME, or nullptr.
// A setting found nowhere is off, as the loader takes it. A ~/.xscreensaver that exists but
// cannot be read turns grabbing and images off, with the reason in problem.
HostImageSettings xscreensaverImageSettings(const char* serverResources,
                                            const std::vector<std::string>& appDefaults,
                                            const char* home);
