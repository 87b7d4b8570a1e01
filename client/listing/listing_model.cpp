#include "client/listing/listing_model.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "client/listing/host_types.h"
#include "client/listing/text_rules.h"

namespace tarn::listing {

HostListing::HostListing() = default;
HostListing::HostListing(HostListing&&) noexcept = default;
HostListing& HostListing::operator=(HostListing&&) noexcept = default;
HostListing::~HostListing() = default;

void HostListing::Clear() {
  rows_.clear();
  rows_.shrink_to_fit();
  vseRows_.clear();
  vseRows_.shrink_to_fit();
  cells_.clear();
  cells_.shrink_to_fit();
  blocks_.clear();
  used_ = kBlockSize;
  typeTexts_.clear();
  typeIndex_.clear();
  lastType_ = 0;
  viewCode = 0;
}

void HostListing::Reserve(size_t rows) {
  CheckLimit(rows > rows_.capacity() ? (rows - rows_.capacity()) * sizeof(RemoteEntry) : 0);
  rows_.reserve(rows);
}

size_t HostListing::MemoryBytes() const {
  size_t n = rows_.capacity() * sizeof(RemoteEntry) + vseRows_.capacity() * sizeof(VseEntry) +
             cells_.capacity() * sizeof(StrRef) + blocks_.capacity() * sizeof(blocks_[0]) +
             blocks_.size() * kBlockSize;
  for (const auto& t : typeTexts_) n += sizeof(t) + (t.size() > 15 ? t.capacity() + 1 : 0);
  n += typeIndex_.size() * (sizeof(std::string) + 2 * sizeof(void*) + sizeof(uint32_t)) +
       typeIndex_.bucket_count() * sizeof(void*);
  return n;
}

void HostListing::CheckLimit(size_t extra) const {
  if (memoryLimit_ != 0 && MemoryBytes() + extra > memoryLimit_) throw std::bad_alloc();
}

StrRef HostListing::Store(std::string_view s, size_t capacity, bool* cut) {
  // A text never spans two blocks (nor outgrows StrRef::length).
  const size_t n = CutLength(s, std::min<size_t>(capacity, kBlockSize));
  if (n < s.size()) *cut = true;
  if (n == 0) return StrRef{};
  if (used_ + n > kBlockSize) {
    if (blocks_.size() >= (size_t{1} << (32 - kBlockBits))) throw std::bad_alloc();
    CheckLimit(kBlockSize);
    blocks_.push_back(std::unique_ptr<char[]>(new char[kBlockSize]));
    used_ = 0;
  }
  StrRef r;
  r.offset = static_cast<uint32_t>(((blocks_.size() - 1) << kBlockBits) | used_);
  r.length = static_cast<uint16_t>(n);
  std::memcpy(blocks_.back().get() + used_, s.data(), n);
  used_ += static_cast<uint32_t>(n);
  return r;
}

uint32_t HostListing::InternTypeText(std::string_view s, size_t capacity) {
  s = s.substr(0, CutLength(s, capacity));
  if (!typeTexts_.empty() && typeTexts_[lastType_] == s) return lastType_;
  auto it = typeIndex_.find(s);
  if (it != typeIndex_.end()) return lastType_ = it->second;
  CheckLimit(2 * s.size() + 64);
  const uint32_t index = static_cast<uint32_t>(typeTexts_.size());
  typeTexts_.emplace_back(s);
  try {
    typeIndex_.emplace(std::string(s), index);
  } catch (...) {
    typeTexts_.pop_back();
    throw;
  }
  return lastType_ = index;
}

uint32_t HostListing::StoreCells(const CellText* cells, size_t count, uint8_t* stored) {
  const uint32_t first = static_cast<uint32_t>(cells_.size());
  if (count > 255) count = 255;
  CheckLimit(count * sizeof(StrRef));
  cells_.reserve(cells_.size() + count);
  for (size_t i = 0; i < count; ++i) {
    bool cut = false;
    cells_.push_back(Store(cells[i].text, cells[i].capacity, &cut));
  }
  *stored = static_cast<uint8_t>(count);
  return first;
}

size_t HostListing::AppendRow(const RowInput& in) {
  if (rows_.size() == rows_.capacity())
    CheckLimit((rows_.capacity() ? rows_.capacity() : 8) * sizeof(RemoteEntry));
  RemoteEntry e;
  bool pathCut = false, nameCut = false, unused = false;
  e.path = Store(in.path, kPathCapacity, &pathCut);
  // The name is most often the path's last component as it stands: share
  // those bytes instead of storing them twice.
  const size_t nameLen = CutLength(in.name, kNameCapacity);
  nameCut = nameLen < in.name.size();
  const std::string_view storedPath = Text(e.path);
  const std::string_view name = in.name.substr(0, nameLen);
  if (!pathCut && !name.empty() && storedPath.size() >= name.size() &&
      storedPath.substr(storedPath.size() - name.size()) == name) {
    e.name.offset = e.path.offset + static_cast<uint32_t>(storedPath.size() - name.size());
    e.name.length = static_cast<uint16_t>(name.size());
  } else {
    e.name = Store(name, kNameCapacity, &unused);
  }
  if (!in.dateText.empty()) e.dateText = Store(in.dateText, kPathCapacity, &unused);
  e.typeText = InternTypeText(in.typeText, kTypeTextCapacity);
  e.SetSize(in.size);
  e.modified = in.modified;
  e.isDirectory = in.isDirectory;
  e.image = in.image;
  e.recordLength = in.recordLength;
  e.sizeForm = in.sizeForm;
  e.flags = in.flags & kRowDateOnly;
  if (in.cellCount) e.firstCell = StoreCells(in.cells, in.cellCount, &e.cellCount);
  if (!IsSafeLocalName(name)) e.flags |= kRowUnsafeLocalName;
  if (nameCut) e.flags |= kRowNameCut;
  if (pathCut) e.flags |= kRowPathCut;
  rows_.push_back(e);
  return rows_.size() - 1;
}

size_t HostListing::AppendVseRow(const VseRowInput& in) {
  if (vseRows_.size() == vseRows_.capacity())
    CheckLimit((vseRows_.capacity() ? vseRows_.capacity() : 8) * sizeof(VseEntry));
  VseEntry e;
  bool pathCut = false, nameCut = false;
  e.path = Store(in.path, kPathCapacity, &pathCut);
  e.name = Store(in.name, kVseNameCapacity, &nameCut);
  e.typeText = InternTypeText(in.typeText, kVseTypeTextCapacity);
  e.isDirectory = in.isDirectory;
  e.image = in.image;
  e.typeCode = in.typeCode;
  e.vseKind = in.vseKind;
  if (in.cellCount) e.firstCell = StoreCells(in.cells, in.cellCount, &e.cellCount);
  if (!IsSafeLocalName(Text(e.name))) e.flags |= kRowUnsafeLocalName;
  if (nameCut) e.flags |= kRowNameCut;
  if (pathCut) e.flags |= kRowPathCut;
  vseRows_.push_back(e);
  return vseRows_.size() - 1;
}

std::string_view HostListing::Cell(const RemoteEntry& e, size_t i) const {
  return i < e.cellCount ? Text(cells_[e.firstCell + i]) : std::string_view();
}

std::string_view HostListing::Cell(const VseEntry& e, size_t i) const {
  return i < e.cellCount ? Text(cells_[e.firstCell + i]) : std::string_view();
}

IconRole IconOfRow(const RemoteEntry& e, int32_t hostFamily) {
  if (e.isDirectory) return kIconFolder;
  if (e.image >= kIconByName) return static_cast<IconRole>(e.image);
  if (hostFamily != HOST_MVS) return kIconByName;
  switch (e.image) {
    case kKindVsam: return kIconVsam;
    case kKindMigrated: return kIconMigrated;
    case kKindPdsFixed: return kIconMemberFixed;
    case kKindPdsVariable: return kIconMemberVariable;
    case kKindPdsLoad: return kIconLoadModule;
    case kKindVmDirectory:
    case kKindDirectory:
    case kKindDatasetLevel: return kIconFolder;
    default: return kIconDataset;
  }
}

}  // namespace tarn::listing
