// The path rules of a connection that differ per HostFamily: the parent of
// a directory, the CWD argument, the switch between MVS and UNIX path
// styles, the last component of a path and the split of a typed path into
// directory and file mask. Pure functions over explicit state; the listing
// thread does the talking to the server.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "client/listing/host_types.h"
#include "client/listing/listing_model.h"
#include "client/listing/text_rules.h"
#include "client/session/ui.h"

namespace tarn::listing {

// The host-type integers and the connection paths the listing code keeps.
struct PathState {
  int32_t hostFamily = HOST_GENERIC;
  int32_t serverType = SERVER_UNIX;
  int32_t systemCode = SYSTEM_DEFAULT;
  std::string rootString = "/";  // path separator joining names; "" on MVS and VM
  std::string currentDir;        // the server's working directory as we set it
  std::string parentDir;         // "" when there is none
};

// --- ProcessCurrentDirectory ---------------------------------------------

// True when `directory` differs, ignoring case, from the current one, so
// that a CWD must be sent.
bool NeedsCwd(const PathState& s, std::string_view directory);

// The argument of that CWD: MVS dataset names go in single quotes.
//   CwdArgument(HOST_MVS, "USER.CNTL") == "'USER.CNTL'"
std::string CwdArgument(int32_t hostFamily, std::string_view directory);

// The parent of `directory`, "" when it has none:
//   generic: "/a" -> "/", "/a/b" -> "/a", "/" -> "" (separator: the first
//            character of `root`)
//   MVS:     "USER.CNTL" -> "USER", "USER" -> ""
//   VM, VSE: always ""
std::string ParentDirectory(int32_t hostFamily, std::string_view root, std::string_view directory);

// After a successful CWD (or none needed): the current directory becomes
// `directory` and the parent is computed again.
void EnterDirectory(PathState* s, std::string_view directory);

// --- Path style of MVS servers -------------------------------------------

enum class PathStyleChange { kNone, kToUnix, kToMvs };

// On a server whose SYST said MVS (SystemCode 13), a positive PWD reply
// shows which path style is in force: a "/" in it on an MVS-style
// connection means UNIX paths; none on a UNIX-style connection means MVS.
PathStyleChange PathStyleFromPwd(const PathState& s, std::string_view pwdReply);

// Selecting a tree node whose path holds no "/" on such a server while it
// is in UNIX style goes back to MVS paths.
PathStyleChange PathStyleForNodePath(const PathState& s, std::string_view nodePath);

// A path the person typed on such a server: one beginning with "/" while
// it is in MVS style names a UNIX directory, one beginning with a single
// quote while it is in UNIX style a dataset name. Either switches the style
// before the path is split, so that the CWD goes out in the right form.
PathStyleChange PathStyleForTypedPath(const PathState& s, std::string_view typed);

// Applies a change: UNIX paths (family HOST_GENERIC, SERVER_UNIX, root "/",
// "Change File &Permissions..." enabled) or MVS paths (HOST_MVS,
// SERVER_MVS, root "", the command greyed). The window also switches its
// column set and image lists; `ui` may be null.
void ApplyPathStyle(PathStyleChange change, PathState* s, Ui* ui);

// --- MVS directories -------------------------------------------------------

// The kind of an MVS directory not yet classified (kind 1) from the text of
// the listing held: 2 (dataset level), 4 when it begins with the member
// header " Name     VV.MM", 6 with the load-module header
// " Name      Size   TTR" (any case). Any other kind is returned as is.
int32_t ClassifyMvsDirectory(int32_t kind, std::string_view previousListing);

// --- Paths -------------------------------------------------------------------

// The last component of a path: generic hosts the text after the last "/",
// failing that after the last "\\"; MVS and VM the text between the last
// "(" and the following ")"; otherwise the whole path.
std::string LastPathComponent(int32_t hostFamily, std::string_view path);

struct PathSplit {
  std::string directory;  // to list
  std::string fullPath;   // the typed path made absolute
  std::string mask;       // file mask, "" for none
  uint32_t image = kIconFolder;  // kIconFilteredFolder when a mask filters
  bool refused = false;   // MVS: "*" in the high-level qualifier (box shown)
};

constexpr const char* kHlqWildcardText =
    "A wild card character (*) in the high-level qualifier is not supported.\r\rUsing default "
    "directory instead.";
constexpr const char* kHlqWildcardCaption = "Unsupported High-level Qualifier";

// Splits a typed path (a session's initial directory, a zoom path, what the
// user typed) into the directory to list and a file mask, relative to
// `base` (the current directory):
//   generic, VSE: "/pub/*.txt" -> "/pub" + "*.txt"; "pub" -> base + "/pub";
//                 "\\" and "/" are written as the root string demands
//   MVS:          "USER.*" -> "USER"; "USER.A*" -> "USER" + "A*";
//                 "DSN(MEM*)" -> "DSN" + "MEM*"; "*" is refused with the
//                 box above through `ui` (may be null) and `base` is used
//   VM:           "DIR(PROFILE*)" -> "DIR" + "PROFILE*"
// The base passes the name case rule on hosts other than generic ones.
PathSplit SplitDirectoryAndMask(int32_t hostFamily, std::string_view root, NameCase nameCase,
                                std::string_view base, std::string_view typed, Ui* ui);

// The text of the root node a first listing creates: the root string itself
// becomes e.g. "/ (Root)", the case rule applied from its fourth character
// on, and *image the open folder; any other text is returned as is.
std::string RootNodeText(std::string_view nodeText, std::string_view root, NameCase nameCase,
                         uint32_t* image);

// --- Parser choice -----------------------------------------------------------

enum class ListingParser {
  kGeneric,
  kVseDirectory,
  kVseLibrary,
  kVseSubLibrary,
  kVsePowerQueue,
  kVsamCatalog,
  kVtoc,
  kMvsDatasets,
  kMvsMembers,
  kMvsLoadModules,
  kVm,
};

struct ParserChoice {
  ListingParser parser = ListingParser::kGeneric;
  int32_t kind = kKindDirectory;  // MVS: the directory's kind (4 or 5 for members)
  int32_t vseKind = 0;     // the VSE view code in force ("\\" lists as kVseViewDirectory)
  bool fullPathSort = false;  // sort by full paths after this listing
};

// Which parser reads a listing of `directory` with the request's kind and
// VSE view code, by the family in force after the fetch.
ParserChoice ChooseParser(int32_t hostFamily, int32_t kind, int32_t vseKind,
                          std::string_view directory);

}  // namespace tarn::listing
