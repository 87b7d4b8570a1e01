// The host view's option commands: the MVS SITE parameters of later
// transfers, the VM record format, and UNIX permissions (SITE CHMOD).
// The command texts are worked out here without I/O; the ops that send
// them run on the connection's worker.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client/engine/ftp_conn.h"

namespace tarn::listing {

// --- MVS Special Options -----------------------------------------------------

// Capacities of the dialog's text cells, terminator included.
constexpr size_t kMvsCellCapacity = 15;
constexpr size_t kMvsDestinationCapacity = 260;

// The record the "MVS Special Options" dialog fills; cleared each time the
// dialog opens. A *Set flag says a radio button of that group was chosen;
// the chosen button's own flag is 1.
struct MvsOptions {
  int32_t recfmSet = 0;
  int32_t spaceSet = 0;
  int32_t fileTypeSet = 0;
  int32_t blocks = 0, tracks = 0, cylinders = 0;
  int32_t sequential = 0, jes = 0, sql = 0;
  int32_t recF = 0, recFB = 0, recV = 0, recVB = 0, recOther = 0;
  std::string recOtherText;   // "Other" record format, a number
  std::string prime;
  std::string secondary;
  std::string directoryBlocks;
  std::string unit;
  std::string volume;
  std::string jesRecordLength;
  std::string jesRecordFormat;
  std::string destination;    // 259 characters at most
  std::string lrecl;
  std::string blkSize;
  std::string retpd;
};

// The decimal value of a field's text as the commands send it: leading
// blanks skipped, an optional sign, the digits that follow; 0 when the
// text does not start with a number. Clamped to the int32 range.
//   "10" -> 10, " 7x" -> 7, "abc" -> 0, "" -> 0
int32_t FieldNumber(std::string_view text);

// The commands of the record, in the order the host expects them:
//   SITE BL|TR|CY, SITE PRI=n, SITE SEC=n, SITE DI=n, SITE U=s, SITE VOL=s,
//   SITE JESL=n, SITE JESR=s, SITE DES=s, SITE FILE=JES|SEQ|SQL,
//   SITE REC=F|FB|V|VB|n, SITE LR=n, SITE BLK=n, SITE RET=n
// each only when its group was chosen or its field is not empty.
std::vector<std::string> MvsOptionCommands(const MvsOptions& o);

// --- VM Options --------------------------------------------------------------

// "SITE FIX n" for fixed records of length n, else "SITE VAR".
std::string VmOptionCommand(bool fixed, int32_t recordLength);

// --- Change Permissions ------------------------------------------------------

// One group of the permissions dialog (Owner, Group, Users).
struct PermissionGroup {
  bool read = false;
  bool write = false;
  bool execute = false;
  bool all = false;
};

// The octal digit of a group: 7 when "&All" is checked, else read 4 +
// write 2 + execute 1.
int PermissionDigit(const PermissionGroup& g);

// The mode text, owner, group, users: "644".
std::string PermissionMode(const PermissionGroup& owner, const PermissionGroup& group,
                           const PermissionGroup& users);

// The rows a change of permissions applies to, from the host list: when
// every row is selected the single target "*"; otherwise the name-column
// text of each selected row, in view order, the parent-directory entry
// left out (its permissions are not the selection's).
struct PermissionRow {
  std::string name;
  bool selected = false;
  bool isParent = false;
};
std::vector<std::string> PermissionTargets(const std::vector<PermissionRow>& rows);

constexpr const char* kNoItemSelectedText =
    "No item selected!\n\nPlease select the item(s) for which you would like to change the "
    "permissions";
constexpr const char* kPermissionsFailedText =
    "One or more file permissions could not be successfully changed";

// --- Worker ops (inside a ConnWorker op) --------------------------------------

// Sends each command in turn, replies not checked. Returns kReplyComplete,
// or kReplyAborted when not connected or cancelled before the last one.
int SendSiteCommandsOp(FtpConn& c, const std::vector<std::string>& commands);

// "SITE CHMOD <mode> <target>" for each target. True when every reply was
// a positive completion; a refused or unsendable one marks the run failed
// and the others are still sent.
bool ChangePermissionsOp(FtpConn& c, const std::string& mode,
                         const std::vector<std::string>& targets);

}  // namespace tarn::listing
