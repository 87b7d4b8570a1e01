#include "client/shell/zoom_paths.h"

#include <algorithm>

namespace tarn::shell {

void ZoomPathList::FillOnLogon(const std::vector<std::string>& saved, const std::string& hostDir) {
  items_.clear();
  items_.push_back({kDefaultHostPath, true});
  for (const auto& p : saved)
    if (!p.empty() && Find(p) == std::string::npos) items_.push_back({p, false});
  if (!hostDir.empty()) AddVisited(hostDir);
}

void ZoomPathList::Reset() {
  items_.clear();
  items_.push_back({kDefaultHostPath, true});
}

size_t ZoomPathList::Find(const std::string& path) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].path == path) return i;
  return std::string::npos;
}

void ZoomPathList::AddVisited(const std::string& path) {
  if (path.empty()) return;
  ZoomItem item{path, true};
  size_t at = Find(path);
  if (at != std::string::npos) {
    item = items_[at];
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(at));
  }
  items_.insert(items_.begin(), item);
  TrimHistory();
}

void ZoomPathList::TrimHistory() {
  size_t history = 0;
  for (auto it = items_.begin(); it != items_.end();) {
    if (it->history && ++history > kHistoryLimit)
      it = items_.erase(it);
    else
      ++it;
  }
}

bool ZoomPathList::GoTo(const std::string& path) {
  if (path.empty()) return false;
  std::erase_if(items_, [](const ZoomItem& i) { return i.history; });
  AddVisited(path);
  return true;
}

bool ZoomPathList::DeleteTop() {
  if (!CanDeleteTop()) return false;
  items_.erase(items_.begin());
  return true;
}

std::vector<std::string> ZoomPathList::SavedPaths() const {
  std::vector<std::string> out;
  for (const auto& i : items_)
    if (!i.history) out.push_back(i.path);
  return out;
}

std::string ZoomPathList::ConfirmDeleteText(const std::string& path) {
  return "This command will permanently delete Zoom Path '" + path + "'.\r\rDo you want to continue?";
}

}  // namespace tarn::shell
