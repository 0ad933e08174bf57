// The sizes offered on Wayland (waylandDisplayMode). No client can set an output's mode there;
// the compositor scales any size to the output, so the list is the common sizes of the dialog's
// range at 32 bits, the same on every output and machine.
#include "platform/wayland/wayland_output_run.h"

#include <iterator>

namespace {

struct Size {
    int width;
    int height;
};

constexpr Size sizes[] = {{800, 600},  {1024, 600}, {1024, 768},  {1152, 864}, {1280, 720},
                          {1280, 800}, {1280, 960}, {1280, 1024}, {1366, 768}, {1400, 1050},
                          {1440, 900}, {1600, 900}, {1600, 1200}};

} // namespace

bool waylandDisplayMode(int index, SystemDisplayMode& mode) {
    if (index < 0 || index >= static_cast<int>(std::size(sizes)))
        return false;
    const Size& size = sizes[index];
    mode.mode = DisplayMode{size.width, size.height, 32, 0};
    mode.id = static_cast<uint64_t>(index);
    return true;
}
