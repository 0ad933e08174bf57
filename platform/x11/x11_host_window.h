// The X side of host mode's windows (platform/host_window.h). The windows belong to another
// client, so their events arrive on the process's one connection among the toolkit's own: the
// message loop hands every event here.
#pragma once

#include <X11/Xlib.h>

// Follows a size change or the destruction of an open host window; other events pass.
void x11HostWindowEvent(const XEvent& event);
