// ZoomPathList: the items of the zoom-path box, without the widget. Each
// item is a host path and a flag: a saved zoom path of the session, or a
// path only visited in this run (history). The box widget mirrors this
// list; the rules of filling, going to a path and deleting live here.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tarn::shell {

// The first history item after log-on; as the box's text at connect time
// it means "no initial directory".
inline constexpr const char* kDefaultHostPath = "Default Host Path";

inline constexpr const char* kZoomPathNotSpecifiedCaption = "Path Not Specified";
inline constexpr const char* kZoomPathNotSpecifiedText =
    "\rThe path entered was not valid.\r\rTo use the Zoom Path feature, you must specify a valid "
    "path or filter\rwhich exists on the FTP host.  If you haven't previously defined a\rZoom Path "
    "or you want to enter a new one, type or copy a valid path\rinto the 'Zoom Path' list box.";
inline constexpr const char* kConfirmZoomDeleteCaption = "Confirm Delete";

struct ZoomItem {
  std::string path;
  bool history = true;  // false: a saved zoom path of the session
  bool operator==(const ZoomItem&) const = default;
};

class ZoomPathList {
 public:
  // Most history items kept: browsing a deep tree must not grow the box
  // without end. Saved paths are never dropped.
  static constexpr size_t kHistoryLimit = 30;

  // Filling on log-on: "Default Host Path" (history), then the session's
  // saved paths in order; an initial host directory goes to the top (as a
  // new history item, or by moving the equal item up).
  void FillOnLogon(const std::vector<std::string>& saved, const std::string& hostDir);

  // The disconnected box: the "Default Host Path" item alone.
  void Reset();

  // Puts a visited path at the top (the equal item moves up and keeps its
  // flag; else a new history item). Empty paths are ignored.
  void AddVisited(const std::string& path);

  // Going to a path the person chose: every history item goes, then the
  // path is put at the top as by AddVisited. Returns false, changing
  // nothing, for an empty path (the "Path Not Specified" box).
  bool GoTo(const std::string& path);

  // The top item can be deleted only when it is a saved zoom path.
  bool CanDeleteTop() const { return !items_.empty() && !items_.front().history; }
  // Removes the top item when CanDeleteTop(); false otherwise.
  bool DeleteTop();

  // The saved zoom paths, in box order: what the session stores.
  std::vector<std::string> SavedPaths() const;

  // The confirmation text of deleting `path`.
  static std::string ConfirmDeleteText(const std::string& path);

  const std::vector<ZoomItem>& items() const { return items_; }
  bool empty() const { return items_.empty(); }

 private:
  // Index of the item equal to `path`, or npos.
  size_t Find(const std::string& path) const;
  void TrimHistory();

  std::vector<ZoomItem> items_;
};

}  // namespace tarn::shell
