// The desktop portal's screenshot (org.freedesktop.portal.Screenshot): one picture of the whole
// desktop, asked for without the interactive dialog. The desktop may still ask the user once
// whether this program may take screenshots; it keeps the answer.
#pragma once

#include "platform/bitmap.h"

#include <string>

// The whole desktop, 24 bits per pixel. The picture file the portal leaves is read and removed.
// False, with the reason in why, when there is no portal, it refuses, its answer takes more
// than a while (a prompt nobody answers), or the file is no picture this can read.
bool capturePortalScreenshot(Bitmap& desktop, std::string& why);

// The local path of a file:// address, its %XX escapes decoded; "" for any other address or
// one that decodes to a NUL.
std::string pathOfFileUri(const std::string& uri);
