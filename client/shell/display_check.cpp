#include "client/shell/display_check.h"

#include <sys/stat.h>

namespace tarn::shell {

std::string NoDisplayReason(const char* (*getenv)(const char*), const std::string& x11SocketDir) {
  auto value = [getenv](const char* name) {
    const char* v = getenv(name);
    return std::string(v ? v : "");
  };
  const std::string platform = value("QT_QPA_PLATFORM");
  // A platform chosen on purpose (offscreen, vnc, a Wayland compositor) is
  // Qt's business.
  if (!platform.empty() && platform.rfind("xcb", 0) != 0) return "";
  if (platform.empty() && !value("WAYLAND_DISPLAY").empty()) return "";
  const std::string display = value("DISPLAY");
  if (display.empty()) return "no display (DISPLAY is not set)";
  // ":N" or ":N.S" is a local server with a socket; "host:N" is left to Qt.
  if (display[0] == ':') {
    std::string number = display.substr(1, display.find('.') == std::string::npos
                                               ? std::string::npos
                                               : display.find('.') - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
      return "no display (DISPLAY=" + display + " is not a display name)";
    struct stat st{};
    if (stat((x11SocketDir + "/X" + number).c_str(), &st) != 0)
      return "no display (nothing listens on DISPLAY=" + display + ")";
  }
  return "";
}

}  // namespace tarn::shell
