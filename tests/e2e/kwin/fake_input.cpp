// Keys for a headless KWin, which has no input devices and takes no wtype: KWin's own fake
// input protocol (org_kde_kwin_fake_input; KWin offers it to any client when started with
// KWIN_WAYLAND_NO_PERMISSION_CHECKS=1).
//   kwin_fake_input key CODE...      presses and releases each key (Linux input codes: 57 is
//                                    the space bar)
// Exits 0 once KWin has had the events, 1 when there is no KWin or no fake input.
#include "fake-input-client-protocol.h"
#include <wayland-client.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

org_kde_kwin_fake_input* fakeInput = nullptr;

void global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0)
        fakeInput = static_cast<org_kde_kwin_fake_input*>(wl_registry_bind(
            registry, name, &org_kde_kwin_fake_input_interface, std::min<uint32_t>(version, 4)));
}

void globalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener listener = {global, globalRemove};

int usage() {
    std::fprintf(stderr, "usage: kwin_fake_input key CODE...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || std::strcmp(argv[1], "key") != 0)
        return usage();
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "kwin_fake_input: no Wayland display\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, nullptr);
    wl_display_roundtrip(display);
    if (fakeInput == nullptr) {
        std::fprintf(stderr, "kwin_fake_input: the compositor offers no fake input (is it KWin, "
                             "started with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1?)\n");
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(fakeInput, "Kelvara tests", "end-to-end input");
    if (org_kde_kwin_fake_input_get_version(fakeInput) < 4) {
        std::fprintf(stderr, "kwin_fake_input: this KWin's fake input has no keys\n");
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const auto code = static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10));
        org_kde_kwin_fake_input_keyboard_key(fakeInput, code, WL_KEYBOARD_KEY_STATE_PRESSED);
        org_kde_kwin_fake_input_keyboard_key(fakeInput, code, WL_KEYBOARD_KEY_STATE_RELEASED);
    }
    const bool delivered = wl_display_roundtrip(display) >= 0;
    wl_display_disconnect(display);
    return delivered ? 0 : 1;
}
