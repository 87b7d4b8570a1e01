#include "client/cli/quick_url.h"

#include <cctype>
#include <cstdlib>

namespace tarn::cli {

namespace {

int HexDigit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

bool Decode(const std::string& in, std::string* out, std::string* error) {
  out->clear();
  for (size_t i = 0; i < in.size(); ++i) {
    char ch = in[i];
    if (ch == '%') {
      int hi = i + 2 < in.size() ? HexDigit(in[i + 1]) : -1;
      int lo = i + 2 < in.size() ? HexDigit(in[i + 2]) : -1;
      if (hi < 0 || lo < 0) {
        *error = "bad percent escape in URL";
        return false;
      }
      ch = static_cast<char>(hi * 16 + lo);
      i += 2;
    }
    if (ch == '\r' || ch == '\n' || ch == '\0') {
      *error = "URL holds a line break or NUL";
      return false;
    }
    *out += ch;
  }
  return true;
}

}  // namespace

bool ParseQuickUrl(const std::string& text, QuickUrl* out, std::string* error) {
  *out = QuickUrl{};
  auto sep = text.find("://");
  if (sep == std::string::npos) {
    *error = "not a URL: " + text;
    return false;
  }
  out->scheme = text.substr(0, sep);
  for (char& ch : out->scheme) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
  if (out->scheme != "ftp" && out->scheme != "ftpes") {
    *error = "unsupported URL scheme \"" + out->scheme + "\" (use ftp://)";
    return false;
  }
  std::string rest = text.substr(sep + 3);
  auto slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  if (slash != std::string::npos && !Decode(rest.substr(slash), &out->path, error)) return false;
  if (out->path == "/") out->path.clear();

  auto at = authority.rfind('@');
  if (at != std::string::npos) {
    std::string userinfo = authority.substr(0, at);
    authority = authority.substr(at + 1);
    auto colon = userinfo.find(':');
    if (!Decode(userinfo.substr(0, colon), &out->user, error)) return false;
    if (colon != std::string::npos) {
      out->hasPassword = true;
      if (!Decode(userinfo.substr(colon + 1), &out->password, error)) return false;
    }
  }
  auto colon = authority.rfind(':');
  if (colon != std::string::npos) {
    std::string port = authority.substr(colon + 1);
    char* end = nullptr;
    long p = std::strtol(port.c_str(), &end, 10);
    if (port.empty() || *end || p < 1 || p > 65535) {
      *error = "bad port in URL: " + port;
      return false;
    }
    out->port = static_cast<int>(p);
    authority.resize(colon);
  }
  if (authority.empty()) {
    *error = "no host in URL";
    return false;
  }
  out->host = authority;
  return true;
}

}  // namespace tarn::cli
