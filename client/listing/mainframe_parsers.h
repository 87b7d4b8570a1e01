// The parsers of the mainframe hosts' listings: MVS (a dataset level, the
// members of a partitioned dataset, the modules of a load library), VM/CMS
// minidisks and shared-file directories, and the six views of a VSE host.
// Each is one free function with the shape of ParseGenericListing: the
// whole LIST reply in, rows appended to a HostListing (and container nodes
// to the HostTree), a ParseOutcome out. No I/O, clock or locale inside.
//
// Lines end in CR LF; a bare LF and a last line without an end are taken
// too. Fixed-column layouts are read with the line's own length: a line
// shorter than the columns gives empty fields, one longer keeps its extra
// text out of them.
//
// Run by the listing op; `out` and req.tree belong to it meanwhile.
#pragma once

#include <cstdint>
#include <string_view>

#include "client/listing/generic_parser.h"
#include "client/listing/host_tree.h"
#include "client/listing/host_types.h"
#include "client/listing/listing_model.h"
#include "client/listing/text_rules.h"
#include "client/listing/type_names.h"
#include "client/session/ui.h"

namespace tarn::listing {

// What a mainframe parser is given besides the text.
struct MainframeParseRequest {
  // The directory listed: "USER1" (MVS level), "USER1.CNTL" (PDS),
  // "VMSYSU:USER1." (VM), "\\PRD2.CONFIG" (VSE).
  std::string_view directory;
  // VSE: the root string joining names ("."); unused on MVS and VM.
  std::string_view rootString = ".";
  NameCase nameCase = NameCase::kAsIs;
  TypeNames* typeNames = nullptr;  // VM type texts; null: "EXT File" / "File"
  // Containers found become nodes under `node` with `insertMode` when
  // `addToTree` is set and `tree` is not null.
  HostTree* tree = nullptr;
  NodeId node = kNoNode;
  int32_t insertMode = kInsertLastChild;
  bool addToTree = false;
  // MVS: the kind of the directory listed (kKindPdsFixed or
  // kKindPdsVariable for members) and, for members, the dataset's LRECL
  // (0 is taken as 80).
  int32_t kind = kKindDatasetLevel;
  int32_t recordLength = 0;
  Ui* ui = nullptr;                // the out-of-memory box; null: none
  ListingLog log;                  // null: nothing logged
};

// --- MVS ----------------------------------------------------------------------

// Cells of an MVS dataset row: the line's tokens Volume to Dsorg as they
// stand after the special-line rules ("Migrated" stays in Volume, a VSAM
// cluster shows "VSAM" as Dsorg). The dataset column set shows Volume,
// Unit, Ext, Used, Recfm, Lrecl and BlkSz after Modified: cells 0, 1, 3,
// 4, 5, 6 and 7 (kMvsDatasetViewCells); Referred is the listed date token.
enum MvsDatasetCell : uint8_t {
  kCellVolume, kCellUnit, kCellReferred, kCellExt, kCellUsed, kCellRecfm, kCellLrecl,
  kCellBlkSz, kCellDsorg, kMvsDatasetCellCount
};
constexpr uint8_t kMvsDatasetViewCells[] = {kCellVolume, kCellUnit, kCellExt, kCellUsed,
                                            kCellRecfm, kCellLrecl, kCellBlkSz};
// Cells of a member row: Id, VV.MM (the member columns after Modified).
enum MvsMemberCell : uint8_t { kCellId, kCellVvMm, kMvsMemberCellCount };
// Cells of a load-module row: the columns after Type.
enum MvsLoadModuleCell : uint8_t {
  kCellTtr, kCellAliasOf, kCellAc, kCellAttributes, kCellAmode, kCellRmode,
  kMvsLoadModuleCellCount
};

// ParseMvsDatasets: a dataset-level listing under the header
//
//   Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname
//   WORK01 3390   2002/12/19  1   15  FB      80  6160  PO  CNTL
//   WORK02 3390   2002/12/18  1    1  FB      80  3120  PS  DATA.TXT
//   Migrated                                                OLD.DATA
//                                                     VSAM  KSDS.CLUSTER
//
// Rows are named by their full dataset name (the directory, ".", the
// listed name; a quoted name as it stands); a PDS is a directory row with
// its kind (4 RECFM F, 5 other, 6 RECFM U) and LRECL. A listing that turns
// out to be a member list (its header has "VV.MM" second) or a load-module
// list (a header with "Amode" ninth) is handed to ParseMvsMembers or
// ParseMvsLoadModules from the next line on: the node's kind and
// *handedOverKind (may be null) become 4 or 6.
ParseOutcome ParseMvsDatasets(std::string_view listing, const MainframeParseRequest& req,
                              HostListing* out, int32_t* handedOverKind = nullptr);

// ParseMvsMembers: the members of a PDS with ISPF statistics, fixed columns
//
//    Name     VV.MM   Created       Changed      Size  Init   Mod   Id
//   ALLOCJCL  01.03 2002/12/01 2002/12/19 10:15   120   100     5 USER1
//   NOSTATS
//
// The size is Size lines times the LRECL (at least 1 byte), an upper bound
// ("< ") for variable records (kind 5). A member without statistics has no
// size or date.
ParseOutcome ParseMvsMembers(std::string_view listing, const MainframeParseRequest& req,
                             HostListing* out);

// ParseMvsLoadModules: the members of a load library, fixed columns
//
//    Name      Size   TTR   Alias-of AC --------- Attributes --------- Amode Rmode
//   IEFBR14   000A10 00000F          00 FO             RN RU            31    ANY
//
// The size is the hexadecimal byte count, shown as an approximation.
ParseOutcome ParseMvsLoadModules(std::string_view listing, const MainframeParseRequest& req,
                                 HostListing* out);

// The name column and local file name of an MVS dataset path: its last two
// qualifiers ("USER1.PROJ.CNTL" -> "PROJ.CNTL"), the whole path when it has
// fewer; the quotes of a quoted name are left out.
std::string_view MvsDatasetName(std::string_view path);

// The local file name of an MVS path, as its row names it: a member
// "USER1.CNTL(ALLOCJCL)" -> "ALLOCJCL.CNTL", a dataset MvsDatasetName.
std::string MvsLocalName(std::string_view path);

// The text an MVS row shows in the name column: a member's name up to its
// first "." ("ALLOCJCL" for ALLOCJCL.CNTL), a dataset's full path.
std::string_view MvsRowText(const HostListing& listing, const RemoteEntry& e);

// --- VM -----------------------------------------------------------------------

// ParseVmListing: a CMS listing, fixed columns
//
//   PROFILE  EXEC     V         68          9          1 2002-12-19 10:15:30
//   DATA     FILE     F         80        100          2 12/19/02 09:00:00
//   PROJ              DIR        -          -          - 2002-12-19 10:15:30
//
// Fixed-format files are records times LRECL bytes, variable ones blocks
// times 4096 ("~"); a DIR row is a directory named with a trailing ".".
// Files show the fixed- or variable-record image by their format.
ParseOutcome ParseVmListing(std::string_view listing, const MainframeParseRequest& req,
                            HostListing* out);

// --- VSE ----------------------------------------------------------------------

// The VSE view codes (vseKind of rows and nodes).
enum VseView : int32_t {
  kVseViewDirectory = 11,   // the top directory "\\", and a POWER queue
  kVseViewLibrary = 12,
  kVseViewSubLibrary = 13,
  kVseViewPowerClass = 14,
  kVseViewVsamCatalog = 15,
  kVseViewVtoc = 16,
};

// The view a directory listing's type text opens as, compared upper-cased
// and exactly: "<LIBRARY>" 12, "<SUB LIBRARY>" 13, "<POWER CLASS>" 14, ...;
// 0 for a plain entry.
int32_t VseSentinelKind(std::string_view typeText);

// The VSE parsers, one per view. VSE rows go to out->vseRows(); their
// cells are the view's columns after the first, in order:
//   directory    Type
//   library      Type, Members, Blocks, Date, Time
//   sub-library  Records, Blocks, Date, Time, LUDate, LUTime, Type ("F"/"S")
//   POWER class  Records, Pages, Lines, Priority, Disp, User ID
//   VSAM catalog Date, Time, Records, Type ("ESDS", "KSDS", "RRDS")
//   VTOC         Date, Time, LogRecLen, Type ("SEQUENTIAL", "BDAM", "VSAM",
//                "ISAM", "U")
// Sample lines are above each line reader in parse_vse.cpp.
ParseOutcome ParseVseDirectory(std::string_view listing, const MainframeParseRequest& req,
                               HostListing* out);
ParseOutcome ParseVseLibrary(std::string_view listing, const MainframeParseRequest& req,
                             HostListing* out);
ParseOutcome ParseVseSubLibrary(std::string_view listing, const MainframeParseRequest& req,
                                HostListing* out);
ParseOutcome ParseVsePowerQueue(std::string_view listing, const MainframeParseRequest& req,
                                HostListing* out);
ParseOutcome ParseVsamCatalog(std::string_view listing, const MainframeParseRequest& req,
                              HostListing* out);
ParseOutcome ParseVtoc(std::string_view listing, const MainframeParseRequest& req,
                       HostListing* out);

// The type codes a VSE row keeps in `typeCode`, derived from the listed
// type text (see parse_vse.cpp for the rules):
//   sub-library member: 1 fixed records ("F"), 0 otherwise ("S")
//   VSAM cluster:       1 ESDS, 2 KSDS, 3 other
//   VTOC entry:         1 SEQUENTIAL, 2 BDAM, 3 VSAM, 4 ISAM, 0 unknown ("U")
uint32_t SubLibraryTypeFlag(std::string_view typeText);
uint32_t VsamDatasetType(std::string_view typeText);
uint32_t VtocOrganisation(std::string_view typeText);

// Orders VSE rows as column 0 orders host rows: containers before plain
// entries, then by name, both times `direction` (+1 or -1); stable.
void SortVseRows(HostListing* listing, int direction);

}  // namespace tarn::listing
