// The Qt-free listing model: the rows of the host view (RemoteEntry for
// generic, MVS and VM hosts; VseEntry for VSE views) as the parsers fill
// them. The host list is a view over one HostListing; the host tree is a
// HostTree (host_tree.h).
//
// Storage: rows are small fixed records in one vector; their texts live in
// the listing's string arena (64 KiB blocks, never moved), and the type
// texts, which repeat from row to row, in a table of distinct texts. A
// 1,000,000-row listing therefore costs one record and its bytes of text per
// row, with no allocation per row.
//
// A HostListing is filled by one thread (the listing op, on the connection's
// worker) and read after it is handed over; it does no locking of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "client/listing/file_time.h"

namespace tarn::listing {

// Capacities of the record texts, terminator included, as the records of
// the system fix them; longer texts are cut to capacity - 1 bytes.
constexpr size_t kPathCapacity = 260;
constexpr size_t kNameCapacity = 64;
constexpr size_t kTypeTextCapacity = 32;
constexpr size_t kVseNameCapacity = 260;
constexpr size_t kVseTypeTextCapacity = 48;

// A text in a listing's arena.
struct StrRef {
  uint32_t offset = 0;
  uint16_t length = 0;
};

// MVS kind codes, in `image` of an MVS row and in `kind` of a TreeNode.
enum MvsKind : int32_t {
  kKindVmDirectory = 0,
  kKindDirectory = 1,      // generic or VSE directory; MVS: not yet classified
  kKindDatasetLevel = 2,
  kKindPdsFixed = 4,       // RECFM beginning with F
  kKindPdsVariable = 5,    // V, VB ...
  kKindPdsLoad = 6,        // RECFM U: load library
  kKindMigrated = 7,
  kKindSequential = 8,
  kKindVsam = 9,
  kKindOther = 10,
};

// What the view shows for a row or node: an image role that the window maps
// to its own icons. Generic and VM rows carry kIconFolder or kIconByName
// (the icon the desktop gives the row's name) in `image`; MVS rows carry
// their kind code and IconOfRow() maps it.
enum IconRole : uint32_t {
  kIconByName = 100,        // generic and VM files: the icon of the name
  kIconFolder = 101,        // every directory row and node
  kIconOpenFolder = 102,    // selected image of a folder node
  kIconFilteredFolder = 103,
  kIconDataset = 104,       // MVS dataset (resource 140)
  kIconVsam = 105,          // VSAM cluster (182)
  kIconMigrated = 106,      // migrated dataset (184)
  kIconLoadModule = 107,    // load module (185)
  kIconMemberVariable = 108,// PDS member, variable records (186)
  kIconMemberFixed = 109,   // PDS member, fixed records; VM file (187)
  kIconVsePlain = 110,      // plain VSE entry (255)
};

// How the size column is written for a row (see SizeText in text_rules.h).
enum class SizeForm : uint8_t {
  kNone,         // empty cell: directories
  kExact,        // "1,234KB"; empty for 0 bytes
  kExactOrZero,  // as kExact, but "0KB" for 0 bytes (generic files)
  kUnknown,      // "?KB"
  kApprox,       // "~12KB"
  kUpperBound,   // "< 12KB"
  kSymLink,      // "SymLink"
  kTwoBlanks,    // "  " (VM directories)
};

// Bits of RemoteEntry::flags and VseEntry::flags.
enum RowFlags : uint8_t {
  // The name must not become a local file name as it stands: empty, "." or
  // "..", or holding "/", NUL or a control character (IsSafeLocalName).
  kRowUnsafeLocalName = 1u << 0,
  // The listed name or the path was longer than its record holds and was
  // cut: the row no longer names the remote file exactly.
  kRowNameCut = 1u << 1,
  kRowPathCut = 1u << 2,
  // The date cell shows the date of `modified` without a time (MVS
  // datasets list the day they were last referred to, no time).
  kRowDateOnly = 1u << 3,
};

// The record behind one row of the host view. (The 64-bit time leads so
// that the record packs into 64 bytes.)
struct RemoteEntry {
  FileTime modified = 0;   // as listed, local time; 0 when not listed
  StrRef path;             // full remote path, as used in commands
  StrRef name;             // shown in column 0; the local file name
  StrRef dateText;         // empty: the date text comes from `modified`
  uint32_t typeText = 0;   // index into the listing's type-text table
  uint32_t sizeHigh = 0;   // size in bytes, upper 32 bits
  uint32_t sizeLow = 0;    // lower 32 bits
  int32_t isDirectory = 0; // 1: directory, link opened as one, PDS, container
  uint32_t image = 0;      // generic/VM: IconRole; MVS: kind code
  uint32_t recordLength = 0;  // MVS: LRECL, 0 when not listed
  uint32_t firstCell = 0;  // extra columns (MVS, VSE): cells[firstCell ...]
  uint8_t cellCount = 0;
  SizeForm sizeForm = SizeForm::kNone;
  uint8_t flags = 0;       // RowFlags

  uint64_t Size() const { return (uint64_t{sizeHigh} << 32) | sizeLow; }
  void SetSize(uint64_t size) {
    sizeHigh = static_cast<uint32_t>(size >> 32);
    sizeLow = static_cast<uint32_t>(size);
  }
};
static_assert(sizeof(RemoteEntry) <= 64, "the row record is part of the memory budget");

// The record behind one row of a VSE view: the shared head, then the view's
// tail of text cells (library: Members, Blocks, Date, Time; sub-library:
// Date, Time, LUDate, LUTime, Records, Blocks; ...) and the view code that
// opening the row shows.
struct VseEntry {
  StrRef path;
  StrRef name;             // up to 259 bytes
  uint32_t typeText = 0;   // index into the type-text table (47 bytes max)
  int32_t isDirectory = 0;
  uint32_t image = 0;      // IconRole
  uint32_t typeCode = 0;   // sub-library type flag, VSAM dataset type, VTOC organisation
  uint32_t firstCell = 0;  // cells[firstCell ... firstCell + cellCount)
  uint8_t cellCount = 0;
  uint8_t flags = 0;
  uint32_t vseKind = 0;    // VSE view code; 0 for a plain entry
};

// One text cell of a row's tail, with the capacity its record gives it.
struct CellText {
  std::string_view text;
  size_t capacity = kPathCapacity;
};

// The row data a parser hands to AppendRow.
struct RowInput {
  std::string_view path;
  std::string_view name;
  std::string_view typeText;
  std::string_view dateText;      // only when not derived from `modified`
  uint64_t size = 0;
  FileTime modified = 0;
  int32_t isDirectory = 0;
  uint32_t image = kIconByName;
  uint32_t recordLength = 0;
  SizeForm sizeForm = SizeForm::kNone;
  uint8_t flags = 0;              // kRowDateOnly; the other bits are the listing's
  const CellText* cells = nullptr;
  size_t cellCount = 0;
};

struct VseRowInput {
  std::string_view path;
  std::string_view name;
  std::string_view typeText;
  int32_t isDirectory = 0;
  uint32_t image = kIconVsePlain;
  uint32_t typeCode = 0;
  uint32_t vseKind = 0;
  const CellText* cells = nullptr;
  size_t cellCount = 0;
};

class HostListing {
 public:
  HostListing();
  HostListing(HostListing&&) noexcept;
  HostListing& operator=(HostListing&&) noexcept;
  HostListing(const HostListing&) = delete;
  HostListing& operator=(const HostListing&) = delete;
  ~HostListing();

  // --- Filling (the listing op) -----------------------------------------

  // Drops every row and text; keeps the memory limit.
  void Clear();

  // Expects about `rows` rows; saves the vector's regrowth on big listings.
  void Reserve(size_t rows);

  // Appends a row. Texts are cut to their capacities (path 259, name 63,
  // type 31 bytes, never inside a UTF-8 sequence) and the cut is flagged;
  // kRowUnsafeLocalName is set from the stored name. Throws std::bad_alloc
  // when memory (or the limit below) runs out; nothing is appended then.
  size_t AppendRow(const RowInput& in);
  size_t AppendVseRow(const VseRowInput& in);

  // A guard on the bytes this listing may own; exceeding it throws
  // std::bad_alloc from AppendRow as a failed allocation would. 0: none.
  void SetMemoryLimit(size_t bytes) { memoryLimit_ = bytes; }

  // --- Reading -------------------------------------------------------------

  size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }
  const RemoteEntry& operator[](size_t i) const { return rows_[i]; }
  const std::vector<RemoteEntry>& rows() const { return rows_; }
  std::vector<RemoteEntry>& mutable_rows() { return rows_; }

  const std::vector<VseEntry>& vseRows() const { return vseRows_; }
  std::vector<VseEntry>& mutable_vseRows() { return vseRows_; }

  std::string_view Text(StrRef r) const {
    if (r.length == 0) return std::string_view();
    return std::string_view(blocks_[r.offset >> kBlockBits].get() + (r.offset & kBlockMask),
                            r.length);
  }
  std::string_view Path(const RemoteEntry& e) const { return Text(e.path); }
  std::string_view Name(const RemoteEntry& e) const { return Text(e.name); }
  std::string_view TypeText(const RemoteEntry& e) const { return typeTexts_[e.typeText]; }
  std::string_view Cell(const RemoteEntry& e, size_t i) const;
  std::string_view Path(const VseEntry& e) const { return Text(e.path); }
  std::string_view Name(const VseEntry& e) const { return Text(e.name); }
  std::string_view TypeText(const VseEntry& e) const { return typeTexts_[e.typeText]; }
  std::string_view Cell(const VseEntry& e, size_t i) const;

  // Bytes owned: row vectors (capacity), arena blocks, the type table.
  size_t MemoryBytes() const;

  // Column set the rows were made for (a view code of columns.h); set by the
  // parser, read by the window to rebuild its columns.
  int viewCode = 0;

 private:
  static constexpr uint32_t kBlockBits = 16;
  static constexpr uint32_t kBlockSize = 1u << kBlockBits;
  static constexpr uint32_t kBlockMask = kBlockSize - 1;

  // Copies `s` (at most `capacity` - 1 bytes of it) into the arena; sets
  // *cut when it had to shorten it.
  StrRef Store(std::string_view s, size_t capacity, bool* cut);
  uint32_t InternTypeText(std::string_view s, size_t capacity);
  void CheckLimit(size_t extra) const;
  uint32_t StoreCells(const CellText* cells, size_t count, uint8_t* stored);

  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };

  std::vector<RemoteEntry> rows_;
  std::vector<VseEntry> vseRows_;
  std::vector<StrRef> cells_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  uint32_t used_ = kBlockSize;  // bytes used in the last block
  std::vector<std::string> typeTexts_;
  std::unordered_map<std::string, uint32_t, Hash, std::equal_to<>> typeIndex_;
  uint32_t lastType_ = 0;       // the last interned text: rows repeat it
  size_t memoryLimit_ = 0;
};

// The image role a row shows: the folder for every directory; otherwise
// `image` as it stands for generic and VM rows (family other than MVS), and
// the role of the kind code for MVS rows. A file row of kind 4, 5 or 6 is a
// member of a PDS or load library: the fixed or variable member image, or
// the load-module image.
IconRole IconOfRow(const RemoteEntry& e, int32_t hostFamily);

}  // namespace tarn::listing
