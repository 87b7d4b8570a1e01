// A session's initial PC directory: a plain folder ("/home/jo/ftp") or a
// UNC path ("\\server\share\path") as sessions made on Windows hold them.
// A UNC path is looked up among the network file systems mounted here:
// CIFS/SMB and NFS mounts of the mount table, and the desktop's own network
// mounts under $XDG_RUNTIME_DIR/gvfs. That set stands for the network
// neighbourhood: its servers are the computers, each mount a share (or a
// folder below one).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "client/session/ui.h"

namespace tarn {

// One mounted network file system.
//   //fs1/public/docs on /mnt/docs      -> {"fs1", {"public", "docs"}, "/mnt/docs"}
//   nas:/export/home on /home/shared    -> {"nas", {"export", "home"}, "/home/shared"}
//   .../gvfs/smb-share:server=fs1,share=public -> {"fs1", {"public"}, that folder}
//   .../gvfs/smb-server:server=fs1      -> {"fs1", {}, that folder (its shares inside)}
struct NetworkMount {
  std::string server;                  // host as mounted: name, full name or address
  std::vector<std::string> sharePath;  // the share and the folders below it the mount shows
  std::string mountPoint;              // the local folder
};

// The table of network mounts. Tests script it.
class MountTable {
 public:
  virtual ~MountTable() = default;
  // The network mounts in table order. False when the system's mount table
  // cannot be read at all.
  virtual bool NetworkMounts(std::vector<NetworkMount>* out) = 0;
};

// The system's table: `mountInfo` (normally /proc/self/mountinfo) and the
// folders of `gvfsDir` (normally $XDG_RUNTIME_DIR/gvfs, or
// /run/user/UID/gvfs without XDG_RUNTIME_DIR). Both are read at each call.
std::unique_ptr<MountTable> SystemMountTable();
std::unique_ptr<MountTable> SystemMountTable(const std::string& mountInfo, const std::string& gvfsDir);

// The CIFS/SMB (cifs, smb3, smbfs) and NFS (nfs, nfs4) mounts of a
// mountinfo text, in its order. Octal escapes (\040) are undone; a bind
// mount of a folder inside a share adds that folder to the share path.
std::vector<NetworkMount> ParseMountInfo(const std::string& text);

// A gvfs mount folder's name ("smb-share:server=fs1,share=public",
// "smb-server:server=fs1", "nfs:host=nas,prefix=%2Fexport"); false for
// other kinds.
bool ParseGvfsMountName(const std::string& name, const std::string& folder, NetworkMount* out);

// True for "\\" followed by anything: the path is meant as UNC.
bool IsUncPath(const std::string& path);

// Messages of the lookup, shown under this title with the information icon.
inline constexpr const char* kPcDirectoryErrorTitle = "Error finding initial PC directory";
enum PcDirectoryMessage : int {
  kPcDirectoryFound = 0,
  kPcDirectoryBadFormat = 324,     // not "\\server\share..."
  kPcDirectoryNoNetwork = 429,     // no network file systems to search
  kPcDirectoryNoServer = 430,      // nothing of that server is mounted
  kPcDirectoryPathNotFound = 431,  // the server is, the path is not
};
// The message's text; an unknown number gives "Unknown error finding
// initial PC directory.\r\nError number: N".
std::string PcDirectoryMessageText(int message);
void ShowPcDirectoryMessage(Ui& ui, int message);

struct PcDirectoryResult {
  int message = kPcDirectoryFound;  // a PcDirectoryMessage
  std::string path;                 // the local folder when found
};

// FindInitialPcDirectory: the local folder of a UNC path.
//   1. "\\" + server + "\" + share path, else 324.
//   2. No readable mount table, or no network mounts in it: 429.
//   3. No mount of that server (names compare ignoring case; a short name
//      also matches the first label of a full one): 430.
//   4. The mount whose share path is the longest prefix of the path's parts
//      (ignoring case), then each remaining part matched ignoring case
//      against the folders below it; no such mount or a missing folder: 431.
// Empty parts (doubled or trailing backslashes) are skipped.
PcDirectoryResult FindInitialPcDirectory(const std::string& uncPath, MountTable& mounts);

// The session check's test of an initial local directory: a UNC path that
// FindInitialPcDirectory finds, or an absolute path of an existing folder.
bool LocalDirectoryResolves(const std::string& path, MountTable& mounts);

}  // namespace tarn
