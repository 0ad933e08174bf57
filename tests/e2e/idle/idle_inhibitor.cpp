// An idle inhibitor, as a video player holds one: a small window on $WAYLAND_DISPLAY with
// zwp_idle_inhibitor_v1 on its surface, which the compositor honours while the window shows.
// Prints "ready" once the window has shown with its inhibitor; runs until a signal ends it, and
// its inhibitor goes with its connection.
#include "idle-inhibit-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"
#include <wayland-client.h>

#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr int width = 64;
constexpr int height = 64;

struct Globals {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* wmBase = nullptr;
    zwp_idle_inhibit_manager_v1* inhibitManager = nullptr;
    bool configured = false;
};

void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto& g = *static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0)
        g.compositor = static_cast<wl_compositor*>(
            wl_registry_bind(registry, name, &wl_compositor_interface, 1));
    else if (std::strcmp(interface, wl_shm_interface.name) == 0)
        g.shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0)
        g.wmBase =
            static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    else if (std::strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name) == 0)
        g.inhibitManager = static_cast<zwp_idle_inhibit_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_idle_inhibit_manager_v1_interface, 1));
}
void globalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryListener = {global, globalRemove};

void ping(void*, xdg_wm_base* base, uint32_t serial) {
    xdg_wm_base_pong(base, serial);
}
const xdg_wm_base_listener wmBaseListener = {ping};

void surfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    static_cast<Globals*>(data)->configured = true;
}
const xdg_surface_listener surfaceListener = {surfaceConfigure};

void toplevelConfigure(void*, xdg_toplevel*, int32_t, int32_t, wl_array*) {}
void toplevelClose(void*, xdg_toplevel*) {}
// Later versions of the protocol add events that version 1, bound here, never sends.
xdg_toplevel_listener toplevelListenerOf() {
    xdg_toplevel_listener listener{};
    listener.configure = toplevelConfigure;
    listener.close = toplevelClose;
    return listener;
}
const xdg_toplevel_listener toplevelListener = toplevelListenerOf();

} // namespace

int main() {
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fputs("idle_inhibitor: no Wayland display\n", stderr);
        return 1;
    }
    Globals g;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &g);
    wl_display_roundtrip(display);
    if (!g.compositor || !g.shm || !g.wmBase || !g.inhibitManager) {
        std::fputs("idle_inhibitor: the compositor lacks the idle inhibitor or a window shell\n",
                   stderr);
        return 1;
    }
    xdg_wm_base_add_listener(g.wmBase, &wmBaseListener, nullptr);
    wl_surface* surface = wl_compositor_create_surface(g.compositor);
    xdg_surface* shellSurface = xdg_wm_base_get_xdg_surface(g.wmBase, surface);
    xdg_surface_add_listener(shellSurface, &surfaceListener, &g);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(shellSurface);
    xdg_toplevel_add_listener(toplevel, &toplevelListener, nullptr);
    xdg_toplevel_set_title(toplevel, "idle inhibitor");
    wl_surface_commit(surface);
    while (!g.configured && wl_display_dispatch(display) >= 0) {
    }

    // A grey buffer: a surface shows only with content.
    const int stride = width * 4;
    const int size = stride * height;
    const int fd = memfd_create("idle-inhibitor", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0) {
        std::fputs("idle_inhibitor: no shared memory\n", stderr);
        return 1;
    }
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    std::memset(pixels, 0x80, size);
    wl_shm_pool* pool = wl_shm_create_pool(g.shm, fd, size);
    wl_buffer* buffer =
        wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    zwp_idle_inhibit_manager_v1_create_inhibitor(g.inhibitManager, surface);
    wl_surface_attach(surface, buffer, 0, 0);
    wl_surface_damage(surface, 0, 0, width, height);
    wl_surface_commit(surface);
    wl_display_roundtrip(display);
    std::puts("ready");
    std::fflush(stdout);
    while (wl_display_dispatch(display) >= 0) {
    }
    return 1; // the compositor went away
}
