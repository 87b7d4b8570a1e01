// The MVS parsers: a dataset level, the members of a PDS and the modules of
// a load library (samples in mainframe_parsers.h). The dataset listing is
// read as blank-separated tokens, the two member layouts as fixed columns.

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "client/listing/columns.h"
#include "client/listing/listing_lines.h"
#include "client/listing/mainframe_parsers.h"

namespace tarn::listing {

namespace {

std::string_view WithoutQuotes(std::string_view s) {
  if (s.size() >= 2 && s.front() == '\'' && s.back() == '\'') return s.substr(1, s.size() - 2);
  if (!s.empty() && s.front() == '\'') return s.substr(1);
  return s;
}

// The last qualifier of a dataset name: "USER1.CNTL" -> "CNTL"; the whole
// name when it has one.
std::string_view LastQualifier(std::string_view dataset) {
  dataset = WithoutQuotes(dataset);
  const size_t dot = dataset.rfind('.');
  return dot == std::string_view::npos ? dataset : dataset.substr(dot + 1);
}

// The dataset of a member path: the directory without quotes.
std::string DatasetOf(std::string_view directory) { return std::string(WithoutQuotes(directory)); }

// A Referred date: "2002/12/19" (year/month/day) or "12/19/2002"
// (month/day/year: a first part of one or two characters). The year is
// taken as written. 0 when the token has no "/" or names no valid date.
FileTime ReferredDate(std::string_view token) {
  if (token.find('/') == std::string_view::npos) return 0;
  std::string_view parts[3];
  size_t n = 0, start = 0;
  for (size_t i = 0; i <= token.size() && n < 3; ++i) {
    if (i == token.size() || token[i] == '/') {
      parts[n++] = token.substr(start, i - start);
      start = i + 1;
    }
  }
  if (n < 3) return 0;
  auto number = [](std::string_view s) { return static_cast<int>(std::min<uint64_t>(DecimalValue(s), 99999)); };
  DateParts d;
  if (parts[0].size() == 1 || parts[0].size() == 2) {
    d.month = number(parts[0]);
    d.day = number(parts[1]);
    d.year = number(parts[2]);
  } else {
    d.year = number(parts[0]);
    d.month = number(parts[1]);
    d.day = number(parts[2]);
  }
  return FileTimeFromParts(d);
}

// The special lines of a dataset level: lines that name a dataset but hold
// no attributes. Each is recognised by one token (and a second where two
// forms share the first), names the dataset at `nameToken`, and blanks the
// cells from `clearFrom` to `clearTo`. Tried in this order, after the full
// dataset lines and headers.
struct SpecialLine {
  const char* sample;
  size_t matchAt;
  const char* match;
  size_t alsoAt;               // 0: no second token
  const char* also;
  size_t nameToken;
  size_t clearFrom, clearTo;
  const char* typeText;        // null: "File"
  int32_t kind;                // kKindOther: no kind of its own
  bool dsorgVsam;              // the Dsorg cell says "VSAM"
};

constexpr SpecialLine kSpecialLines[] = {
    {"Migrated                                                OLD.DATA", 0, "Migrated", 0, nullptr, 1,
     1, 1, "Migrated", kKindMigrated, false},
    {"Error determining attributes                            BAD.DATA", 0, "Error", 0, nullptr, 3, 0,
     3, "Migrated", kKindMigrated, false},
    {"                                                    VSAM  KSDS.CLUSTER", 0, "VSAM", 0, nullptr, 1,
     0, 1, "VSAM File", kKindVsam, true},
    {"ARCH01 Not Mounted                                      ARCH.DATA", 1, "Not", 2, "Mounted", 3, 1,
     3, nullptr, kKindOther, false},
    {"SCR001 Not Direct Access Device                         TAPE.COPY", 1, "Not", 0, nullptr, 5, 1, 5,
     nullptr, kKindOther, false},
    {"T00001 Tape                                             BACKUP.G0001V00", 1, "Tape", 0, nullptr, 2,
     2, 2, nullptr, kKindOther, false},
    {"WORK01 3390 VSAM                                        KSDS.CLUSTER.DATA", 2, "VSAM", 0, nullptr,
     3, 2, 3, "VSAM File", kKindVsam, false},
    {"WORK01 3390 < 1 2 3 4 OLDER", 2, "<", 0, nullptr, 7, 2, 8, nullptr, kKindOther, false},
    {"Pseudo Directory                                        PROJ", 0, "Pseudo", 0, nullptr, 2, 2, 8,
     nullptr, kKindOther, false},
};

// The special line `t` is, or null.
const SpecialLine* FindSpecialLine(const std::vector<std::string_view>& t) {
  auto token = [&](size_t i) { return i < t.size() ? t[i] : std::string_view(); };
  for (const SpecialLine& s : kSpecialLines)
    if (token(s.matchAt) == s.match && (!s.also || token(s.alsoAt) == s.also)) return &s;
  return nullptr;
}

// A member of a PDS or load library as a row: "MEMBER.QUALIFIER" named,
// "DATASET(MEMBER)" its path, in the session's name case. The strings are
// the caller's, reused from row to row; they back `row` until it is added.
void NameMemberRow(std::string_view memberToken, const MainframeParseRequest& req,
                   const std::string& dataset, std::string_view qualifier, std::string* member,
                   std::string* name, std::string* path, RowInput* row) {
  member->assign(memberToken);
  ApplyNameCase(req.nameCase, member);
  *name = *member;
  *name += '.';
  name->append(qualifier);
  *path = dataset;
  *path += '(';
  *path += *member;
  *path += ')';
  row->name = *name;
  row->path = *path;
}

// What a line of a dataset level is: a blank line or a header, the header
// of a member or load-module listing (the rest goes to their parser), or
// an entry.
enum class DatasetLine { kNotAnEntry, kLoadModuleHeader, kMemberHeader, kEntry };

DatasetLine ClassifyDatasetLine(const std::vector<std::string_view>& t) {
  if (t.empty()) return DatasetLine::kNotAnEntry;
  if (t.size() > 8) {
    if (t[8] == "Dsorg") return DatasetLine::kNotAnEntry;
    if (StartsWithNoCase(t[8], "Amode")) return DatasetLine::kLoadModuleHeader;
  } else if (t.size() > 1) {
    if (t[1] == "VV.MM") return DatasetLine::kMemberHeader;
    if (t[1] == "B") return DatasetLine::kNotAnEntry;
  }
  return DatasetLine::kEntry;
}

// A full dataset line (nine tokens or more) into `row`: the Referred date,
// and the type and record length of a PDS or a sequential file. The kind
// the row opens as.
int32_t DescribeFullDataset(const std::vector<std::string_view>& t, RowInput* row) {
  const std::string_view referred = t[2];
  row->modified = ReferredDate(referred);
  if (row->modified != 0)
    row->flags = kRowDateOnly;
  else
    row->dateText = referred;
  const uint32_t lrecl = static_cast<uint32_t>(std::min<uint64_t>(DecimalValue(t[6]), INT32_MAX));
  if (t[8] == "PO") {
    row->typeText = "PDS";
    row->isDirectory = 1;
    row->recordLength = lrecl;
    row->sizeForm = SizeForm::kNone;
    return t[5].starts_with('U') ? kKindPdsLoad : t[5].starts_with('F') ? kKindPdsFixed : kKindPdsVariable;
  }
  if (t[8] == "PS") {
    row->typeText = "Sequential File";
    row->recordLength = lrecl;
    return kKindSequential;
  }
  return kKindOther;
}

// A special line into `row` and its cells; the token naming the dataset.
std::string_view DescribeSpecialLine(const SpecialLine& special, const std::vector<std::string_view>& t,
                                     std::string_view* cells, RowInput* row, int32_t* kind) {
  for (size_t i = special.clearFrom; i <= special.clearTo && i < kMvsDatasetCellCount; ++i)
    cells[i] = std::string_view();
  if (special.typeText) row->typeText = special.typeText;
  if (special.kind != kKindOther) *kind = special.kind;
  if (special.dsorgVsam) cells[kCellDsorg] = "VSAM";
  return special.nameToken < t.size() ? t[special.nameToken] : std::string_view();
}

// The dataset's path: a quoted token as it stands, else qualified by the
// listed level; in the session's name case.
void DatasetPath(std::string_view nameToken, const MainframeParseRequest& req, std::string* path) {
  if (nameToken.front() == '\'') {
    path->assign(nameToken);
  } else {
    path->assign(req.directory);
    if (!path->empty() && path->back() != '.') *path += '.';
    path->append(nameToken);
  }
  ApplyNameCase(req.nameCase, path);
}

}  // namespace

std::string_view MvsDatasetName(std::string_view path) {
  path = WithoutQuotes(path);
  const size_t last = path.rfind('.');
  if (last == std::string_view::npos || last == 0) return path;
  const size_t before = path.rfind('.', last - 1);
  return before == std::string_view::npos ? path : path.substr(before + 1);
}

std::string MvsLocalName(std::string_view path) {
  path = WithoutQuotes(path);
  const size_t open = path.find('(');
  if (open == std::string_view::npos) return std::string(MvsDatasetName(path));
  const size_t close = path.find(')', open);
  std::string name(path.substr(open + 1, close == std::string_view::npos ? close : close - open - 1));
  name += '.';
  name.append(LastQualifier(path.substr(0, open)));
  return name;
}

std::string_view MvsRowText(const HostListing& listing, const RemoteEntry& e) {
  const std::string_view path = listing.Path(e);
  if (path.find('(') == std::string_view::npos) return path;
  const std::string_view name = listing.Name(e);
  return name.substr(0, name.find('.'));
}

// ---------------------------------------------------------------------------
// Dataset level
// ---------------------------------------------------------------------------

ParseOutcome ParseMvsDatasets(std::string_view listing, const MainframeParseRequest& req,
                              HostListing* out, int32_t* handedOverKind) {
  ParseOutcome outcome;
  out->viewCode = kViewMvsDatasets;
  if (req.log) req.log(listing);

  std::vector<std::string_view> t;
  std::string path, name;
  size_t widest = 0;
  size_t pos = 0;
  std::string_view line;
  // The rest of the listing goes to the member or load-module parser.
  auto handOver = [&](int32_t kind) {
    if (handedOverKind) *handedOverKind = kind;
    if (req.tree && req.tree->IsLive(req.node)) req.tree->MutableRecord(req.node).kind = kind;
    MainframeParseRequest rest = req;
    rest.kind = kind;
    rest.log = nullptr;  // the listing is in the transcript already
    ParseOutcome o = kind == kKindPdsLoad ? ParseMvsLoadModules(listing.substr(pos), rest, out)
                                          : ParseMvsMembers(listing.substr(pos), rest, out);
    outcome.rows += o.rows;
    outcome.nodes += o.nodes;
    outcome.misfits += o.misfits;
    outcome.nonEntries += o.nonEntries + 1;  // the header
    outcome.outOfMemory = o.outOfMemory;
    if (o.widestRow != SIZE_MAX)
      NoteWidestRow(&outcome, o.widestRow, MvsRowText(*out, (*out)[o.widestRow]).size(), &widest);
    return outcome;
  };

  while (NextListingLine(listing, &pos, &line)) {
    SplitTokens(line, &t);
    switch (ClassifyDatasetLine(t)) {
      case DatasetLine::kNotAnEntry:
        ++outcome.nonEntries;
        continue;
      case DatasetLine::kLoadModuleHeader:
        return handOver(kKindPdsLoad);
      case DatasetLine::kMemberHeader:
        return handOver(kKindPdsFixed);
      case DatasetLine::kEntry:
        break;
    }

    RowInput row;
    row.typeText = "File";
    row.sizeForm = SizeForm::kUnknown;
    int32_t kind = kKindOther;
    std::string_view cells[kMvsDatasetCellCount];
    for (size_t i = 0; i < kMvsDatasetCellCount && i < t.size(); ++i) cells[i] = t[i];
    std::string_view nameToken = t.back();
    if (t.size() > 8)
      kind = DescribeFullDataset(t, &row);
    else if (const SpecialLine* special = FindSpecialLine(t))
      nameToken = DescribeSpecialLine(*special, t, cells, &row, &kind);
    // A special line that names no dataset lists nothing.
    if (nameToken.empty()) {
      ++outcome.misfits;
      continue;
    }

    try {
      DatasetPath(nameToken, req, &path);
      name.assign(MvsDatasetName(path));
      row.path = path;
      row.name = name;
      row.image = static_cast<uint32_t>(kind);
      CellText cellTexts[kMvsDatasetCellCount];
      for (size_t i = 0; i < kMvsDatasetCellCount; ++i) cellTexts[i].text = cells[i];
      row.cells = cellTexts;
      row.cellCount = kMvsDatasetCellCount;
      const size_t index = out->AppendRow(row);
      ++outcome.rows;
      const RemoteEntry& stored = (*out)[index];
      NoteWidestRow(&outcome, index, stored.path.length, &widest);
      if (row.isDirectory && FillsTree(req)) {
        TreeNode node;
        node.path.assign(out->Path(stored));
        node.kind = kind;
        node.recordLength = static_cast<int32_t>(row.recordLength);
        ListTreeNode(req, node, out->Path(stored), &outcome);
      }
    } catch (const std::bad_alloc&) {
      StopOnAllocationFailure(req.ui, &outcome);
      break;
    }
  }
  return outcome;
}

// ---------------------------------------------------------------------------
// PDS members
// ---------------------------------------------------------------------------

ParseOutcome ParseMvsMembers(std::string_view listing, const MainframeParseRequest& req,
                             HostListing* out) {
  ParseOutcome outcome;
  out->viewCode = kViewMvsMembers;
  if (req.log) req.log(listing);

  const std::string dataset = DatasetOf(req.directory);
  const std::string_view qualifier = LastQualifier(dataset);
  uint64_t lrecl = req.recordLength > 0 ? static_cast<uint64_t>(req.recordLength) : 0;
  std::string member, name, path, padded;
  size_t widest = 0;
  size_t pos = 0;
  std::string_view line;
  while (NextListingLine(listing, &pos, &line)) {
    if (line.find("VV.MM") != std::string_view::npos) {
      ++outcome.nonEntries;
      continue;
    }
    const std::string_view memberToken = UpToBlank(Columns(line, 0, 8));
    if (memberToken.empty()) {
      // A blank or indented line names no member.
      ++outcome.misfits;
      continue;
    }
    RowInput row;
    row.typeText = "PDS Member";
    row.image = static_cast<uint32_t>(req.kind == kKindPdsVariable ? kKindPdsVariable : kKindPdsFixed);
    std::string_view vvmm, id;
    // Statistics need the changed year at character 27: a line that ends
    // before it has none (and is never read past its end).
    const bool stats = line.size() > 27 && line[27] != ' ';
    try {
      if (stats) {
        std::string_view l = line;
        if (l.size() < 63) {
          padded.assign(l);
          padded.resize(63, ' ');
          l = padded;
        }
        DateParts d;
        d.year = static_cast<int>(std::min<uint64_t>(DecimalValue(Columns(l, 27, 31)), 99999));
        d.month = static_cast<int>(std::min<uint64_t>(DecimalValue(Columns(l, 32, 34)), 99));
        d.day = static_cast<int>(std::min<uint64_t>(DecimalValue(Columns(l, 35, 37)), 99));
        d.hour = static_cast<int>(std::min<uint64_t>(DecimalValue(Columns(l, 38, 40)), 99));
        d.minute = static_cast<int>(std::min<uint64_t>(DecimalValue(Columns(l, 41, 43)), 99));
        row.modified = FileTimeFromParts(d);
        if (lrecl == 0) lrecl = 80;
        const uint64_t lines = DecimalValue(Columns(l, 44, 49));
        row.size = std::max<uint64_t>(1, SaturatingProduct(lines, lrecl));
        row.sizeForm = req.kind == kKindPdsVariable ? SizeForm::kUpperBound : SizeForm::kExact;
        // The statistics' own columns; the Id is at most seven characters.
        vvmm = Field(line, 10, 15);
        id = Field(line, 62, 69);
      }
      NameMemberRow(memberToken, req, dataset, qualifier, &member, &name, &path, &row);
      row.recordLength = static_cast<uint32_t>(std::min<uint64_t>(lrecl, UINT32_MAX));
      CellText cells[kMvsMemberCellCount];
      cells[kCellId].text = id;
      cells[kCellVvMm].text = vvmm;
      row.cells = cells;
      row.cellCount = kMvsMemberCellCount;
      const size_t index = out->AppendRow(row);
      ++outcome.rows;
      NoteWidestRow(&outcome, index, member.size(), &widest);
    } catch (const std::bad_alloc&) {
      StopOnAllocationFailure(req.ui, &outcome);
      break;
    }
  }
  return outcome;
}

// ---------------------------------------------------------------------------
// Load modules
// ---------------------------------------------------------------------------

ParseOutcome ParseMvsLoadModules(std::string_view listing, const MainframeParseRequest& req,
                                 HostListing* out) {
  ParseOutcome outcome;
  out->viewCode = kViewMvsLoadModules;
  if (req.log) req.log(listing);

  const std::string dataset = DatasetOf(req.directory);
  const std::string_view qualifier = LastQualifier(dataset);
  std::string member, name, path;
  size_t widest = 0;
  size_t pos = 0;
  std::string_view line;
  while (NextListingLine(listing, &pos, &line)) {
    if (StartsWithNoCase(line, " Name      Size   TTR")) {
      ++outcome.nonEntries;
      continue;
    }
    // A header of another alignment: "mode" where Rmode's values begin.
    if (TrimBlanks(Columns(line, 73)) == "mode") {
      ++outcome.nonEntries;
      continue;
    }
    const std::string_view memberToken = UpToBlank(Columns(line, 0, 9));
    if (memberToken.empty()) {
      ++outcome.misfits;
      continue;
    }
    RowInput row;
    row.typeText = "Object/Load Module";
    row.image = static_cast<uint32_t>(kKindPdsLoad);
    if (line.size() <= 10 || line[10] == ' ') {
      row.sizeForm = SizeForm::kUnknown;
    } else {
      row.size = HexValue(Columns(line, 10, 16));
      row.sizeForm = SizeForm::kApprox;
    }
    CellText cells[kMvsLoadModuleCellCount];
    cells[kCellTtr].text = Field(line, 17, 23);
    cells[kCellAliasOf].text = Field(line, 24, 32);
    cells[kCellAc].text = Field(line, 33, 35);
    cells[kCellAttributes].text = Field(line, 36, 66);
    cells[kCellAmode].text = Field(line, 67, 72);
    cells[kCellRmode].text = Field(line, 73);
    try {
      NameMemberRow(memberToken, req, dataset, qualifier, &member, &name, &path, &row);
      row.cells = cells;
      row.cellCount = kMvsLoadModuleCellCount;
      const size_t index = out->AppendRow(row);
      ++outcome.rows;
      NoteWidestRow(&outcome, index, member.size(), &widest);
    } catch (const std::bad_alloc&) {
      StopOnAllocationFailure(req.ui, &outcome);
      break;
    }
  }
  return outcome;
}

}  // namespace tarn::listing
