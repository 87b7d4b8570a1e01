#include "client/listing/host_options.h"

#include <climits>

#include "client/engine/control.h"

namespace tarn::listing {

int32_t FieldNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > int64_t{INT32_MAX} + 1) break;  // clamped below; no overflow
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

std::vector<std::string> MvsOptionCommands(const MvsOptions& o) {
  std::vector<std::string> out;
  auto number = [&out](const char* key, const std::string& field) {
    if (!field.empty()) out.push_back(std::string("SITE ") + key + "=" + std::to_string(FieldNumber(field)));
  };
  auto text = [&out](const char* key, const std::string& field) {
    if (!field.empty()) out.push_back(std::string("SITE ") + key + "=" + field);
  };

  if (o.spaceSet) {
    if (o.blocks) out.push_back("SITE BL");
    else if (o.cylinders) out.push_back("SITE CY");
    else if (o.tracks) out.push_back("SITE TR");
  }
  number("PRI", o.prime);
  number("SEC", o.secondary);
  number("DI", o.directoryBlocks);
  text("U", o.unit);
  text("VOL", o.volume);
  number("JESL", o.jesRecordLength);
  text("JESR", o.jesRecordFormat);
  text("DES", o.destination);
  if (o.fileTypeSet) {
    if (o.jes) out.push_back("SITE FILE=JES");
    else if (o.sequential) out.push_back("SITE FILE=SEQ");
    else if (o.sql) out.push_back("SITE FILE=SQL");
  }
  if (o.recfmSet) {
    if (o.recF) out.push_back("SITE REC=F");
    else if (o.recFB) out.push_back("SITE REC=FB");
    else if (o.recV) out.push_back("SITE REC=V");
    else if (o.recVB) out.push_back("SITE REC=VB");
    else if (o.recOther) out.push_back("SITE REC=" + std::to_string(FieldNumber(o.recOtherText)));
  }
  number("LR", o.lrecl);
  number("BLK", o.blkSize);
  number("RET", o.retpd);
  return out;
}

std::string VmOptionCommand(bool fixed, int32_t recordLength) {
  return fixed ? "SITE FIX " + std::to_string(recordLength) : "SITE VAR";
}

int PermissionDigit(const PermissionGroup& g) {
  if (g.all) return 7;
  return (g.read ? 4 : 0) + (g.write ? 2 : 0) + (g.execute ? 1 : 0);
}

std::string PermissionMode(const PermissionGroup& owner, const PermissionGroup& group,
                           const PermissionGroup& users) {
  return std::to_string(PermissionDigit(owner)) + std::to_string(PermissionDigit(group)) +
         std::to_string(PermissionDigit(users));
}

std::vector<std::string> PermissionTargets(const std::vector<PermissionRow>& rows) {
  std::vector<std::string> out;
  bool all = !rows.empty();
  for (const PermissionRow& r : rows) all = all && r.selected;
  if (all) return {"*"};
  for (const PermissionRow& r : rows)
    if (r.selected && !r.isParent) out.push_back(r.name);
  return out;
}

int SendSiteCommandsOp(FtpConn& c, const std::vector<std::string>& commands) {
  const platform::Socket sock = c.sockControl;
  if (sock == platform::kInvalidSocket) return kReplyAborted;
  for (const std::string& line : commands) {
    if (c.bAbort) return kReplyAborted;
    FtpCommandLine(c, sock, line);
  }
  return kReplyComplete;
}

bool ChangePermissionsOp(FtpConn& c, const std::string& mode,
                         const std::vector<std::string>& targets) {
  const platform::Socket sock = c.sockControl;
  if (sock == platform::kInvalidSocket) return false;
  bool ok = true;
  for (const std::string& target : targets) {
    if (c.bAbort) return false;
    if (FtpCommandLine(c, sock, "SITE CHMOD " + mode + " " + target) != kReplyComplete) ok = false;
  }
  return ok;
}

}  // namespace tarn::listing
