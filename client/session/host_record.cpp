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

}  // namespace tarn
