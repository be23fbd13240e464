#include "platform/sdl/sdl_wayland.h"

#include <SDL_syswm.h>
#include <wayland-client.h>

#include <cstring>

namespace pxNative::sdl {
namespace {

void announced(void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
    if (std::strcmp(interface, wl_seat_interface.name) == 0) *static_cast<bool*>(data) = true;
}

void withdrawn(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kListener = {announced, withdrawn};

}  // namespace

bool waylandHasSeat() {
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) return true;
    wl_registry* registry = wl_display_get_registry(display);
    bool seat = registry == nullptr;  // nothing learnt: let SDL say what is wrong
    if (registry != nullptr) {
        wl_registry_add_listener(registry, &kListener, &seat);
        // One round trip: the compositor has announced every global by then.
        if (wl_display_roundtrip(display) < 0) seat = true;  // let SDL say what is wrong
        wl_registry_destroy(registry);
    }
    wl_display_disconnect(display);
    return seat;
}

bool waylandConnectionLost(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_WAYLAND) return false;
    return info.info.wl.display != nullptr && wl_display_get_error(info.info.wl.display) != 0;
}

}  // namespace pxNative::sdl
