#include "app/title_bar_choice.h"

#include <algorithm>
#include <cstdlib>

#ifdef KORVENIX_HAVE_WAYLAND_CLIENT
#include <wayland-client.h>
#endif

namespace kvx {

namespace {

// The protocol through which a compositor offers to draw title bars; Qt asks for it whenever
// it is there.
constexpr const char* kDecorationManager = "zxdg_decoration_manager_v1";

} // namespace

bool ownTitleBarWanted(const std::string& platform,
                       const std::optional<std::vector<std::string>>& globals,
                       bool qtDecorationsOff) {
    // "wayland", "wayland-egl" and the like.
    if (platform.rfind("wayland", 0) != 0 || qtDecorationsOff || !globals)
        return false;
    return std::find(globals->begin(), globals->end(), kDecorationManager) == globals->end();
}

#ifdef KORVENIX_HAVE_WAYLAND_CLIENT

namespace {

void addGlobal(void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
    static_cast<std::vector<std::string>*>(data)->emplace_back(interface);
}

void removeGlobal(void*, wl_registry*, uint32_t) {}

} // namespace

std::optional<std::vector<std::string>> waylandGlobals() {
    // A socket handed over in WAYLAND_SOCKET can be connected to only once, and it is Qt's.
    if (std::getenv("WAYLAND_SOCKET"))
        return std::nullopt;
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return std::nullopt;
    std::vector<std::string> names;
    static const wl_registry_listener listener = {addGlobal, removeGlobal};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &names);
    const bool read = wl_display_roundtrip(display) >= 0;
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    if (!read)
        return std::nullopt;
    return names;
}

#else

std::optional<std::vector<std::string>> waylandGlobals() {
    return std::nullopt;
}

#endif

} // namespace kvx
