#pragma once
// Whether the windows need a title bar of their own. On Wayland a compositor that does not
// draw title bars leaves them to Qt, whose bar always offers maximise, which a fixed-size
// window cannot honour; there the windows go frameless and draw their own bar.

#include <optional>
#include <string>
#include <vector>

namespace kvx {

// `platform` is Qt's platform name; `globals` the interface names the Wayland display
// announces, none when they could not be read; `qtDecorationsOff` whether Qt was told to draw
// no title bar at all (then there is none to replace).
bool ownTitleBarWanted(const std::string& platform,
                       const std::optional<std::vector<std::string>>& globals,
                       bool qtDecorationsOff);

// The interface names of the Wayland display the environment names, read over a connection
// of our own; none when there is no such display or it cannot be read.
std::optional<std::vector<std::string>> waylandGlobals();

} // namespace kvx
