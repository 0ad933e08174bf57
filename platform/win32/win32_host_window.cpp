// Host mode and its pictures belong to the X11 saver hosts; Windows runs its savers through "/s"
// and "/p".
#include "platform/host_window.h"

#include "platform/exception.h"
#include "platform/picture_folder.h"
#include "platform/win32/win32_services.h"

std::unique_ptr<HostWindow> openWin32HostWindow(uintptr_t) {
    throw Exception("--root and --window-id are for X11 saver hosts; Windows runs savers with "
                    "/s and /p");
}

void endAtOnceOnTermination() {}

Bitmap pictureFromFolder(const std::string&, int, int) {
    throw Exception("Pictures from a folder are for X11 saver hosts");
}
