// HostRecord: one stored FTP host session, as the registry keeps it and the
// log-on reads it. Text fields are fixed-capacity, NUL-terminated arrays
// whose capacities count the terminator; the store never writes past them.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace tarn {

// Bits of HostRecord::uSecurity.
enum SecurityBits : uint32_t {
  kSslUse = 1u << 0,          // SSLUse
  kSslTypeShift = 1,          // SSLType, two bits: 0 Max., 1 Partial
  kSslTypeMask = 3u << 1,
  kSslStrengthShift = 3,      // SSLStrength, two bits: 0 none .. 3 strong
  kSslStrengthMask = 3u << 3,
  kSslExpired = 1u << 5,      // SSLExpired
  kSslFuture = 1u << 6,       // SSLFuture
  kSslSelf = 1u << 7,         // SSLSelf
  kSslInvalid = 1u << 8,      // SSLInvalid
};

// HostRecord::iFirewallType values: how a session logs on through its
// firewall.
enum FirewallType : int {
  kFirewallUserNoLogon = 0,    // USER user@host at the firewall
  kFirewallUserWithLogon = 1,  // log on at the firewall, then USER user@host
  kFirewallTransparent = 2,    // USER fwuser@host:port
  kFirewallSiteHostname = 3,   // log on at the firewall, then USER "site host"
};

struct HostRecord {
  char cSessionName[260] = {};
  char cHostName[260] = {};
  char cFTPPort[6] = {};
  char cConnectFlag[2] = {};      // "X": cConnectVia names a dial-up entry
  char cConnectVia[260] = {};
  char cDefaultTransfer[7] = {};  // "Detect", "Binary" or "Ascii"
  char cProxy[2] = {};
  char cProxyAddress[260] = {};
  char cProxyPort[6] = {};
  char cUserFlag[2] = {};         // "A" anonymous, "P" prompt, else stored user
  char cUserName[260] = {};
  char cPasswordFlag[2] = {};     // "S" saved, "P" prompt
  char cHostDir[260] = {};
  char cLocalDir[260] = {};
  int32_t iPromptUser = 0;        // not stored: the prompt asks for the user too
  int32_t iQuickConnect = 0;      // not stored: connection without a session
  char cPassword[260] = {};       // scrambled in memory
  char cAccount[260] = {};        // scrambled in memory
  char cFirewallPass[260] = {};   // plain in memory
  char cFirewallHost[80] = {};
  char cFirewallUser[30] = {};
  int32_t iFirewallUse = 0;
  int32_t iFirewallType = 0;
  int32_t iFirewallPort = 21;
  uint32_t uSecurity = 1u << kSslStrengthShift;
  char cCertFile[260] = {};
  char cCertPassword[64] = {};    // plain in memory

  int SslType() const { return static_cast<int>((uSecurity & kSslTypeMask) >> kSslTypeShift); }
  int SslStrength() const {
    return static_cast<int>((uSecurity & kSslStrengthMask) >> kSslStrengthShift);
  }
};

// Copies `text` into a fixed field, cutting it to the field's capacity.
template <size_t N>
void SetField(char (&field)[N], const std::string& text) {
  size_t n = text.size() < N - 1 ? text.size() : N - 1;
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

// True when `text` fits a field of capacity N with its terminator.
template <size_t N>
bool FitsField(const char (&)[N], const std::string& text) {
  return text.size() < N;
}

// The port a session connects to: FTPPort, or 21 when it holds no port
// number (empty, as an imported .reg file may leave it, or outside
// 1..65535).
uint16_t ConnectPort(const HostRecord& rec);

// Applies the defaults of a new session (port "21", "Auto Detect",
// "Detect", no proxy, anonymous, password prompted, firewall and TLS off)
// and names it.
void InitNewSession(HostRecord* rec, const std::string& sessionName, const std::string& hostName);

}  // namespace tarn
