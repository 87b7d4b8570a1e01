// The six VSE parsers over one frame: each view reads its line as tokens
// (a token runs up to the next blank; any number of blanks separates two)
// into a VseEntry with the view's cells; the frame names the row, makes
// containers folders and tree nodes, and appends it.

#include <algorithm>
#include <new>
#include <string>

#include "client/listing/columns.h"
#include "client/listing/listing_lines.h"
#include "client/listing/mainframe_parsers.h"
#include "client/listing/row_sort.h"

namespace tarn::listing {

namespace {

// Capacities of the record's text cells, terminator included.
constexpr size_t kCell12 = 12;
constexpr size_t kCell16 = 16;

// A VSE line as one view reads it.
struct VseLine {
  std::string_view name;
  std::string typeText;            // the listed type; a two-word token is joined here
  int32_t vseKind = 0;             // the view opening the row shows; 0: plain entry
  uint32_t typeCode = 0;
  CellText cells[7];
  size_t cellCount = 0;

  void Cell(std::string_view text, size_t capacity) { cells[cellCount++] = CellText{text, capacity}; }
};

// Reads a line token by token; never past its end.
class Tokens {
 public:
  explicit Tokens(std::string_view line) : line_(line) {}

  std::string_view Next() {
    SkipBlanks();
    const size_t start = p_;
    while (p_ < line_.size() && !IsListingBlank(line_[p_])) ++p_;
    return line_.substr(start, p_ - start);
  }
  // Two words joined by one blank: "<SUB LIBRARY>".
  std::string NextTwoWords() {
    std::string s(Next());
    const std::string_view second = Next();
    if (!second.empty()) {
      s += ' ';
      s.append(second);
    }
    return s;
  }
  // The blanks that follow the current position.
  size_t BlanksAhead() const {
    size_t n = 0;
    while (p_ + n < line_.size() && IsListingBlank(line_[p_ + n])) ++n;
    return n;
  }
  bool AtEnd() const { return p_ + BlanksAhead() >= line_.size(); }
  // Everything from the next token to the end, without trailing blanks.
  std::string_view Rest() {
    SkipBlanks();
    std::string_view rest = TrimBlanks(line_.substr(p_));
    p_ = line_.size();
    return rest;
  }

 private:
  void SkipBlanks() {
    while (p_ < line_.size() && IsListingBlank(line_[p_])) ++p_;
  }
  std::string_view line_;
  size_t p_ = 0;
};

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return u;
}

// The first word of a type text, upper-cased.
std::string FirstWord(std::string_view typeText) { return Upper(UpToBlank(TrimBlanks(typeText))); }

// ---- Line readers, one per view ----------------------------------------------

// Directory (the top "\\", the POWER queues):
//   PRD2       <LIBRARY>
//   POWER      <POWER QUEUES>
//   IJSYSCT    <VSAM CATALOG>
void ReadDirectoryLine(std::string_view line, VseLine* v) {
  Tokens t(line);
  v->name = t.Next();
  v->typeText.assign(t.Rest());
  v->vseKind = VseSentinelKind(v->typeText);
  v->Cell(v->typeText, kVseTypeTextCapacity);
}

// Library: name, a two-word type, Members, Blocks, Date, Time.
//   CONFIG     <SUB LIBRARY>        12        34  2002-12-19  10:15
void ReadLibraryLine(std::string_view line, VseLine* v) {
  Tokens t(line);
  v->name = t.Next();
  v->typeText = t.NextTwoWords();
  v->vseKind = Upper(v->typeText) == "<SUB LIBRARY>" ? kVseViewSubLibrary : 0;
  v->Cell(v->typeText, kVseTypeTextCapacity);
  v->Cell(t.Next(), kCell16);  // Members
  v->Cell(t.Next(), kCell16);  // Blocks
  v->Cell(t.Next(), kCell12);  // Date
  v->Cell(t.Rest(), kCell12);  // Time
}

// Sub-library: name, Records, Blocks, Date, Time, the last-update date and
// time (blank columns when the member was never updated), the type.
//   IPLPROC.PROC      120      3  2002-12-19  10:15  2002-12-20  11:00  F
//   $$A$SUP1.PHASE     40      2  2002-12-19  10:15                     S
void ReadSubLibraryLine(std::string_view line, VseLine* v) {
  Tokens t(line);
  v->name = t.Next();
  const std::string_view records = t.Next(), blocks = t.Next(), date = t.Next(), time = t.Next();
  std::string_view luDate, luTime;
  if (t.BlanksAhead() <= 10) {
    luDate = t.Next();
    luTime = t.Next();
  }
  v->typeText.assign(t.Rest());
  v->typeCode = SubLibraryTypeFlag(v->typeText);
  v->Cell(records, kCell12);
  v->Cell(blocks, kCell12);
  v->Cell(date, kCell12);
  v->Cell(time, kCell12);
  v->Cell(luDate, kCell12);
  v->Cell(luTime, kCell12);
  v->Cell(v->typeCode == 1 ? "F" : "S", kCell12);
}

// POWER class: job name, Records, Pages, Lines, Priority, Disp, User ID.
//   PAYROLL1     1200     24    2400  3  D  USER1
void ReadPowerClassLine(std::string_view line, VseLine* v) {
  Tokens t(line);
  v->name = t.Next();
  for (int i = 0; i < 5; ++i) v->Cell(t.Next(), kCell12);
  v->Cell(t.AtEnd() ? std::string_view() : t.Rest(), kPathCapacity);
}

// VSAM catalog: name, Date, Time, Records, type.
//   PROD.KSDS.CLUSTER  2002-12-19  10:15     1500  KSDS
void ReadVsamCatalogLine(std::string_view line, VseLine* v) {
  Tokens t(line);
  v->name = t.Next();
  v->Cell(t.Next(), kCell12);  // Date
  v->Cell(t.Next(), kCell12);  // Time
  v->Cell(t.Next(), kCell12);  // Records
  v->typeText.assign(t.Rest());
  v->typeCode = VsamDatasetType(v->typeText);
  v->Cell(v->typeCode == 1 ? "ESDS" : v->typeCode == 2 ? "KSDS" : "RRDS", kCell12);
}

// VTOC: name, Date, Time, LogRecLen, type.
//   PROD.SEQ.FILE  2002-12-19  10:15     80  SEQUENTIAL
void ReadVtocLine(std::string_view line, VseLine* v) {
  Tokens t(line);
  v->name = t.Next();
  v->Cell(t.Next(), kCell12);  // Date
  v->Cell(t.Next(), kCell12);  // Time
  v->Cell(t.Next(), kCell12);  // LogRecLen
  v->typeText.assign(t.Rest());
  v->typeCode = VtocOrganisation(v->typeText);
  static constexpr const char* kOrganisations[] = {"U", "SEQUENTIAL", "BDAM", "VSAM", "ISAM"};
  v->Cell(kOrganisations[v->typeCode <= 4 ? v->typeCode : 0], kCell12);
}

struct VseViewLayout {
  int32_t code;
  const char* title;  // the transcript's line before the listing
  void (*read)(std::string_view line, VseLine* v);
};

constexpr VseViewLayout kViews[] = {
    {kVseViewDirectory, "Processing VSE directory listing\r\n", ReadDirectoryLine},
    {kVseViewLibrary, "Processing VSE library listing\r\n", ReadLibraryLine},
    {kVseViewSubLibrary, "Processing VSE sub library listing\r\n", ReadSubLibraryLine},
    {kVseViewPowerClass, "Processing VSE power queue listing\r\n", ReadPowerClassLine},
    {kVseViewVsamCatalog, "Processing VSAM CATALOG listing\r\n", ReadVsamCatalogLine},
    {kVseViewVtoc, "Processing VSAM CATALOG listing\r\n", ReadVtocLine},
};

// The common frame.
ParseOutcome ParseVseView(const VseViewLayout& view, std::string_view listing,
                          const MainframeParseRequest& req, HostListing* out) {
  ParseOutcome outcome;
  out->viewCode = ColumnSetFor(VseColumnSet(view.code)).viewCode;
  if (req.log) {
    req.log(view.title);
    req.log(listing);
  }
  std::string path;
  size_t widest = 0;
  size_t pos = 0;
  std::string_view line;
  while (NextListingLine(listing, &pos, &line)) {
    if (TrimBlanks(line).empty()) continue;  // empty lines fall away
    try {
      VseLine v;
      view.read(line, &v);
      VseRowInput row;
      JoinPathInto(req.directory, req.rootString, v.name, &path);
      row.path = path;
      row.name = v.name;
      row.typeText = v.typeText;
      row.typeCode = v.typeCode;
      row.vseKind = static_cast<uint32_t>(v.vseKind);
      row.isDirectory = v.vseKind != 0 ? 1 : 0;
      row.image = row.isDirectory ? kIconFolder : kIconVsePlain;
      row.cells = v.cells;
      row.cellCount = v.cellCount;
      const size_t index = out->AppendVseRow(row);
      ++outcome.rows;
      const VseEntry& stored = out->vseRows()[index];
      NoteWidestRow(&outcome, index, stored.name.length, &widest);
      if (row.isDirectory && FillsTree(req)) {
        TreeNode node;
        node.path.assign(out->Path(stored));
        node.kind = kKindDirectory;
        node.vseKind = v.vseKind;
        ListTreeNode(req, node, out->Name(stored), &outcome);
      }
    } catch (const std::bad_alloc&) {
      StopOnAllocationFailure(req.ui, &outcome);
      break;
    }
  }
  return outcome;
}

const VseViewLayout& ViewOf(int32_t code) {
  for (const VseViewLayout& v : kViews)
    if (v.code == code) return v;
  return kViews[0];
}

}  // namespace

int32_t VseSentinelKind(std::string_view typeText) {
  static constexpr struct {
    const char* text;
    int32_t kind;
  } kSentinels[] = {
      {"<DIRECTORY>", kVseViewDirectory},     {"<LIBRARY>", kVseViewLibrary},
      {"<POWER QUEUES>", kVseViewDirectory},  {"<POWER QUEUE>", kVseViewDirectory},
      {"<POWER CLASS>", kVseViewPowerClass},  {"<VSAM CATALOG>", kVseViewVsamCatalog},
      {"<VTOC>", kVseViewVtoc},               {"<SUB LIBRARY>", kVseViewSubLibrary},
  };
  const std::string upper = Upper(typeText);
  for (const auto& s : kSentinels)
    if (upper == s.text) return s.kind;
  return 0;
}

// The sub-library's last field is the member's stored format: "F" (or a
// word beginning with it, "FIXED") for card-image members kept as fixed
// 80-byte records, anything else (S, STRING, a missing field) for members
// kept as byte strings: phases, objects, dumps. Only the first letter
// counts, as with the VSAM catalog's E and K.
uint32_t SubLibraryTypeFlag(std::string_view typeText) {
  const std::string_view t = TrimBlanks(typeText);
  return !t.empty() && (t[0] == 'F' || t[0] == 'f') ? 1 : 0;
}

uint32_t VsamDatasetType(std::string_view typeText) {
  const std::string_view t = TrimBlanks(typeText);
  if (!t.empty() && (t[0] == 'E' || t[0] == 'e')) return 1;
  if (!t.empty() && (t[0] == 'K' || t[0] == 'k')) return 2;
  return 3;
}

// A VTOC entry's organisation from the first word of its type, upper-cased:
//   SEQUENTIAL, SEQ, SAM, SD, PS      1 (shown "SEQUENTIAL")
//   BDAM, DAM, DA, DIRECT             2 ("BDAM")
//   VSAM                              3 ("VSAM")
//   ISAM, IS                          4 ("ISAM")
//   anything else                     0 ("U")
uint32_t VtocOrganisation(std::string_view typeText) {
  static constexpr struct {
    const char* word;
    uint32_t code;
  } kWords[] = {
      {"SEQUENTIAL", 1}, {"SEQ", 1}, {"SAM", 1}, {"SD", 1},   {"PS", 1},
      {"BDAM", 2},       {"DAM", 2}, {"DA", 2},  {"DIRECT", 2}, {"VSAM", 3},
      {"ISAM", 4},       {"IS", 4},
  };
  const std::string word = FirstWord(typeText);
  for (const auto& w : kWords)
    if (word == w.word) return w.code;
  return 0;
}

ParseOutcome ParseVseDirectory(std::string_view listing, const MainframeParseRequest& req,
                               HostListing* out) {
  return ParseVseView(ViewOf(kVseViewDirectory), listing, req, out);
}

ParseOutcome ParseVseLibrary(std::string_view listing, const MainframeParseRequest& req,
                             HostListing* out) {
  return ParseVseView(ViewOf(kVseViewLibrary), listing, req, out);
}

ParseOutcome ParseVseSubLibrary(std::string_view listing, const MainframeParseRequest& req,
                                HostListing* out) {
  return ParseVseView(ViewOf(kVseViewSubLibrary), listing, req, out);
}

ParseOutcome ParseVsePowerQueue(std::string_view listing, const MainframeParseRequest& req,
                                HostListing* out) {
  return ParseVseView(ViewOf(kVseViewPowerClass), listing, req, out);
}

ParseOutcome ParseVsamCatalog(std::string_view listing, const MainframeParseRequest& req,
                              HostListing* out) {
  return ParseVseView(ViewOf(kVseViewVsamCatalog), listing, req, out);
}

ParseOutcome ParseVtoc(std::string_view listing, const MainframeParseRequest& req,
                       HostListing* out) {
  return ParseVseView(ViewOf(kVseViewVtoc), listing, req, out);
}

void SortVseRows(HostListing* listing, int direction) {
  std::vector<VseEntry>& rows = listing->mutable_vseRows();
  const HostListing& l = *listing;
  std::stable_sort(rows.begin(), rows.end(), [&](const VseEntry& a, const VseEntry& b) {
    int r = 0;
    if ((a.isDirectory != 0) != (b.isDirectory != 0))
      r = a.isDirectory ? -1 : 1;
    else
      r = CompareNames(l.Name(a), l.Name(b));
    return r * direction < 0;
  });
}

}  // namespace tarn::listing
