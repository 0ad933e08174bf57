// The desktop's own lock screen, for the idle watcher, from wherever this session tells of it:
// the session bus's screen saver (GNOME Shell's org.gnome.ScreenSaver, else the
// org.freedesktop.ScreenSaver of KDE Plasma and others: GetActive and ActiveChanged) and
// logind on the system bus (the session's LockedHint, which lock screens set, and its Lock
// signal, logind's request to every locker of the session). Either may be missing; with
// neither, nothing tells of a lock.
#pragma once

#include "platform/idle_watch.h"

#include <memory>

std::unique_ptr<LockSource> openDesktopLock();
