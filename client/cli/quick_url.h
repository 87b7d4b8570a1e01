// Quick-connect URLs of tarn-cli: ftp://[user[:password]@]host[:port][/path]
#pragma once

#include <string>

namespace tarn::cli {

struct QuickUrl {
  std::string scheme;    // "ftp" (or "ftpes" for explicit TLS)
  std::string user;      // "" = anonymous
  std::string password;
  bool hasPassword = false;
  std::string host;
  int port = 21;
  std::string path;      // "" when the URL names none
};

// Parses a URL; false with `*error` when it is not one tarn-cli can use.
// User, password and path are percent-decoded; a decoded CR, LF or NUL is
// refused, since it would end up on the control connection.
bool ParseQuickUrl(const std::string& text, QuickUrl* out, std::string* error);

}  // namespace tarn::cli
