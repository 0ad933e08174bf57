// The picture of one output from KDE Plasma's compositor: KWin's org.kde.KWin.ScreenShot2
// CaptureScreen on the session bus (sd-bus), at the output's native resolution without the
// cursor, the pixels read from a pipe. KWin grants it only to a program whose installed desktop
// entry names it in Exec and lists the interface in X-KDE-DBUS-Restricted-Interfaces
// (data/kelvara.desktop.in).
#pragma once

#include <string>

class Bitmap;

enum class KwinScreenshotResult {
    taken,   // the picture holds the output
    absent,  // no session bus, or no KWin screenshot service on it: not a KWin session
    refused, // KWin does not allow this program; why says how to allow it
    failed,  // KWin gave an error, an answer this cannot read, or no answer in time
};

// The longest the compositor may take to answer and to write the pixels, together.
constexpr int kwinScreenshotTimeoutMs = 5000;

// The output named outputName (the compositor's name, as wl_output's name event gives it) as it
// shows now, 24 bits per pixel. Anything but taken leaves picture as it was and says why in
// one clause for a line on standard error.
KwinScreenshotResult captureKwinScreen(const std::string& outputName, Bitmap& picture,
                                       std::string& why, int timeoutMs = kwinScreenshotTimeoutMs);
