// The list of schedules and its file, almanor.tsl.
//
// File layout (little-endian):
//   u32 version (1) | u32 count N | N records, back to back
// Each record, in this order:
//   string queue file | i32 restrict | i32 stop | i32 start | i32 frequency |
//   i32 recurring | i32 running | i32 notify | string receiver |
//   string sender | string SMTP host
// Strings are archive strings (archive.h); times are CTime seconds.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

#include "scheduler/model/schedule_entry.h"

namespace sched {

enum class NoticeIcon { kPlain, kInformation, kExclamation, kStop };

// Where the list and the engine tell the person something: a message box in
// the tray program, standard error in the headless form and the command line.
class Notice {
 public:
  virtual ~Notice() = default;
  virtual void Show(const std::string& text, NoticeIcon icon) = 0;
};

// The list file of this user: $TARN_CONFIG_DIR/almanor.tsl when that is set,
// else ${XDG_DATA_HOME:-~/.local/share}/tarn/almanor.tsl.
std::string DefaultListFile();

enum class LoadResult {
  kOk,          // the whole file was read (an empty or new file included)
  kOpenFailed,  // the file could not be opened or created; the list is unchanged
  kBadVersion,  // message 1006; the list is empty
  kCutShort,    // the file ends inside the records; the entries read in full are kept
  kTooMany,     // more than 256 entries stored; the first 256 were read
  kBadObject,   // a value the archive cannot hold; the entries before it are kept
  kReadError,   // the file could not be read; the list is empty
};

class CSchedule {
 public:
  static constexpr size_t kCapacity = 256;

  explicit CSchedule(std::string fileName = DefaultListFile());

  const std::string& FileName() const { return m_strFileName; }
  size_t Count() const { return m_apEntries.size(); }
  bool Empty() const { return m_apEntries.empty(); }
  CScheduleEntry& At(size_t i) { return m_apEntries[i]; }
  const CScheduleEntry& At(size_t i) const { return m_apEntries[i]; }
  const std::vector<CScheduleEntry>& Entries() const { return m_apEntries; }

  // Appends an entry. Refuses a 257th with a message; false then.
  bool Add(CScheduleEntry entry, Notice& notice);
  // Destroys entry i; the entries after it move one place down.
  void Remove(size_t i);
  void Clear() { m_apEntries.clear(); }

  // Reads the whole file into the list (the old entries go), creating an
  // empty file when there is none. Reports what went wrong through `notice`
  // with the system's texts, except a file that cannot be opened, which
  // leaves the list as it is and shows nothing.
  LoadResult Load(Notice& notice);

  // Replaces the file's content with the list: a temporary file beside it
  // is written, flushed and renamed over it, so a crash leaves the old or
  // the new list. A file without write permission is left alone (message
  // 1007). False, with a message shown, when nothing was saved.
  bool Save(Notice& notice);

  // The file's bytes for this list, and the reverse (what Load does once the
  // bytes are read; `path` names the file in messages).
  std::string Serialize() const;
  LoadResult Deserialize(const std::string& bytes, const std::string& path, Notice& notice);

  // True when the file on disk is no longer the one this list last loaded
  // or saved (another program changed it).
  bool FileChanged() const;

 private:
  void RememberFile();

  std::string m_strFileName;
  std::vector<CScheduleEntry> m_apEntries;
  // Identity of the file as last loaded or saved.
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  int64_t mtimeNs_ = -1;
  int64_t size_ = -1;
};

// Replaces "%1" in a framework text with `path`.
std::string WithPath(const char* text, const std::string& path);

}  // namespace sched
