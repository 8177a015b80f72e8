#pragma once
// Starting without a desktop: whether a window can open at all, and what to
// tell the user when it cannot.

#include <functional>
#include <iosfwd>
#include <string_view>

namespace tarnwick {

// Reads one environment variable: its value, or null when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// True when a window can be shown: on X11 and Wayland desktops DISPLAY or
// WAYLAND_DISPLAY names the display; QT_QPA_PLATFORM names another window
// system (for instance "offscreen"). Windows and macOS always have one.
bool displayAvailable(const EnvironmentLookup& environment);

// Says that there is no display, that the window plays nothing, and which
// command lines play, export or print the piece instead. program is the
// program's name as the user started it.
void explainNoDisplay(std::ostream& err, std::string_view program);

} // namespace tarnwick
