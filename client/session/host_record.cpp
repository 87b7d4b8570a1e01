#include "client/session/host_record.h"

namespace tarn {

// A new session starts from a blank record rather than from whatever the
// settings dialog showed last: carrying the previous session's account or
// dial-up flag into a new one would send one host's secret to another, or
// dial an entry called "Auto Detect".
void InitNewSession(HostRecord* rec, const std::string& sessionName, const std::string& hostName) {
  *rec = HostRecord{};
  SetField(rec->cSessionName, sessionName);
  SetField(rec->cHostName, hostName);
  SetField(rec->cFTPPort, "21");
  SetField(rec->cConnectVia, "Auto Detect");
  SetField(rec->cDefaultTransfer, "Detect");
  SetField(rec->cUserFlag, "A");
  SetField(rec->cPasswordFlag, "P");
  rec->iFirewallUse = 0;
  rec->iFirewallType = 0;
  rec->iFirewallPort = 21;
  rec->uSecurity = 1u << kSslStrengthShift;
}

uint16_t ConnectPort(const HostRecord& rec) {
  constexpr uint16_t kFtpPort = 21;
  uint32_t port = 0;
  for (const char* p = rec.cFTPPort; *p; ++p) {
    if (*p < '0' || *p > '9') return kFtpPort;
    port = port * 10 + static_cast<uint32_t>(*p - '0');
    if (port > 65535) return kFtpPort;
  }
  return port == 0 ? kFtpPort : static_cast<uint16_t>(port);
}

}  // namespace tarn
