// Whether a window can be shown at all, decided before Qt starts (Qt ends
// the process when its platform cannot connect).
#pragma once

#include <string>

namespace tarn::shell {

// "" when a display looks reachable; else one line saying why not. Reads
// QT_QPA_PLATFORM, WAYLAND_DISPLAY and DISPLAY from `getenv`; a local X
// display (":N") must have its socket in `x11SocketDir`.
std::string NoDisplayReason(const char* (*getenv)(const char*),
                            const std::string& x11SocketDir = "/tmp/.X11-unix");

}  // namespace tarn::shell
