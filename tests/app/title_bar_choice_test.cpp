// When the windows draw their own title bar: only on Wayland, and only where the compositor
// does not offer to draw title bars.

#include "app/title_bar_choice.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

struct Case {
    const char* what;
    std::string platform;
    std::optional<std::vector<std::string>> globals;
    bool qtDecorationsOff;
    bool own;
};

const std::vector<std::string> kWeston = {"wl_compositor", "wl_subcompositor", "wl_shm",
                                          "xdg_wm_base",   "wl_seat",          "wl_output"};
const std::vector<std::string> kKwin = {"wl_compositor", "xdg_wm_base", "wl_seat",
                                        "zxdg_decoration_manager_v1", "org_kde_kwin_blur_manager"};

TEST(OwnTitleBar, followsThePlatformAndTheCompositor) {
    const Case cases[] = {
        {"wayland without decoration manager", "wayland", kWeston, false, true},
        {"wayland-egl without decoration manager", "wayland-egl", kWeston, false, true},
        {"an empty registry", "wayland", std::vector<std::string>{}, false, true},
        {"the compositor draws title bars", "wayland", kKwin, false, false},
        {"the registry could not be read", "wayland", std::nullopt, false, false},
        {"Qt told to draw no title bar", "wayland", kWeston, true, false},
        {"X11", "xcb", kWeston, false, false},
        {"offscreen", "offscreen", kWeston, false, false},
        {"a name that only contains wayland", "xwayland", kWeston, false, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kvx::ownTitleBarWanted(c.platform, c.globals, c.qtDecorationsOff), c.own)
            << c.what;
}

} // namespace
