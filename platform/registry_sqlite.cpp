// The registry kept in one SQLite database.
//
// Schema:
//   keys(id, parent, name, fold)   one row per key; parent 0 is the root
//                                  (HKEY_CURRENT_USER itself, which has no row)
//   vals(key_id, seq, name, fold, type, data)
//                                  one row per value; seq gives creation order
// `fold` is the name upper-cased (ASCII), which makes lookups case-insensitive
// and gives the subkey order of the Windows registry ("A_" after "AB").
//
// Key ids come from AUTOINCREMENT so that an id is never reused: a RegKey
// whose key was deleted can then never reach a key created later.
//
// Every write is one BEGIN IMMEDIATE transaction: the write lock is taken
// before anything is read, so that two processes creating the same path or
// numbering values of the same key wait for each other (busy time-out)
// instead of colliding.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/paths.h"
#include "platform/registry.h"

namespace platform {

namespace {

constexpr int kApplicationId = 0x5461726E;  // "Tarn" in the database header
constexpr int kSchemaVersion = 1;
constexpr size_t kMaxKeyNameChars = 255;      // as on Windows
constexpr size_t kMaxValueNameChars = 16383;  // as on Windows

constexpr const char* kSchema =
    "CREATE TABLE keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  fold TEXT NOT NULL,"
    "  UNIQUE(parent, fold));"
    "CREATE TABLE vals("
    "  key_id INTEGER NOT NULL,"
    "  seq INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  fold TEXT NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY(key_id, fold)) WITHOUT ROWID;"
    "CREATE INDEX vals_order ON vals(key_id, seq);"
    "PRAGMA application_id = 1415672430;"  // kApplicationId
    "PRAGMA user_version = 1;";            // kSchemaVersion

std::string Fold(const std::string& name) {
  std::string f = name;
  for (char& c : f) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return f;
}

// True when `s` is well-formed UTF-8; `*chars` gets its code point count.
bool Utf8Length(const std::string& s, size_t* chars) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); ++n) {
    auto b = static_cast<unsigned char>(s[i]);
    size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    uint32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    for (size_t k = 1; k < len; ++k) {
      auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  *chars = n;
  return true;
}

// A name can be stored when it is UTF-8 without NUL, CR or LF (which no
// .reg line could carry) and within the Windows length limit.
bool StorableName(const std::string& name, size_t maxChars) {
  if (name.find_first_of(std::string("\0\r\n", 3)) != std::string::npos) return false;
  size_t chars = 0;
  return Utf8Length(name, &chars) && chars <= maxChars;
}

// Splits "A\\B\\C" into its key names; the empty path is the root (no
// names). False for an empty component or a name that cannot be stored.
bool SplitPath(const std::string& path, std::vector<std::string>* parts) {
  parts->clear();
  if (path.empty()) return true;
  size_t start = 0;
  while (true) {
    size_t end = path.find('\\', start);
    std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part.empty() || !StorableName(part, kMaxKeyNameChars)) return false;
    parts->push_back(std::move(part));
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

// A prepared statement, finalised on scope exit.
class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
  ~Stmt() { sqlite3_finalize(stmt_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  Stmt& Int(int i, int64_t v) {
    Keep(sqlite3_bind_int64(stmt_, i, v));
    return *this;
  }
  Stmt& Text(int i, const std::string& v) {
    Keep(sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
    return *this;
  }
  // An empty vector may have a null data(), which SQLite would bind as NULL.
  Stmt& Blob(int i, const std::vector<uint8_t>& v) {
    Keep(v.empty() ? sqlite3_bind_zeroblob(stmt_, i, 0)
                   : sqlite3_bind_blob64(stmt_, i, v.data(), v.size(), SQLITE_TRANSIENT));
    return *this;
  }

  // SQLITE_ROW, SQLITE_DONE or the error of preparing, binding or stepping.
  int Step() {
    if (rc_ != SQLITE_OK) return rc_;
    int rc = sqlite3_step(stmt_);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) rc_ = rc;
    return rc;
  }

  int64_t ColInt(int i) { return sqlite3_column_int64(stmt_, i); }
  std::string ColText(int i) {
    auto p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, i))) : std::string();
  }
  std::vector<uint8_t> ColBlob(int i) {
    auto p = static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, i));
    return p ? std::vector<uint8_t>(p, p + sqlite3_column_bytes(stmt_, i)) : std::vector<uint8_t>();
  }

 private:
  void Keep(int rc) {
    if (rc_ == SQLITE_OK) rc_ = rc;
  }
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_OK;
};

// A transaction rolled back on scope exit unless committed.
class Txn {
 public:
  Txn(sqlite3* db, bool write) : db_(db) {
    rc_ = sqlite3_exec(db, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
    open_ = rc_ == SQLITE_OK;
  }
  ~Txn() {
    if (open_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Txn(const Txn&) = delete;
  Txn& operator=(const Txn&) = delete;

  int rc() const { return rc_; }
  int Commit() {
    int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) open_ = false;
    return rc;
  }

 private:
  sqlite3* db_;
  int rc_;
  bool open_;
};

class SqliteRegistry final : public Registry {
 public:
  SqliteRegistry(sqlite3* db, std::string file) : db_(db), file_(std::move(file)) {}
  ~SqliteRegistry() override { sqlite3_close_v2(db_); }

  RegStatus OpenKey(const std::string& path, RegKey* out) override {
    return Guarded([&] { return DoOpenKey(path, false, out); });
  }
  RegStatus CreateKey(const std::string& path, RegKey* out) override {
    return Guarded([&] { return DoOpenKey(path, true, out); });
  }
  RegStatus DeleteKey(const std::string& path) override {
    return Guarded([&] { return DoDeleteKey(path); });
  }
  RegStatus EnumKeys(const RegKey& key, std::vector<std::string>* names) override {
    return Guarded([&] { return DoEnumKeys(key, names); });
  }
  RegStatus EnumValues(const RegKey& key, std::vector<RegValue>* values) override {
    return Guarded([&] { return DoEnumValues(key, values); });
  }
  RegStatus QueryValue(const RegKey& key, const std::string& name, RegValue* out) override {
    return Guarded([&] { return DoQueryValue(key, name, out); });
  }
  RegStatus SetValue(const RegKey& key, const std::string& name, RegType type,
                     const std::vector<uint8_t>& data) override {
    return Guarded([&] { return DoSetValue(key, name, type, data); });
  }
  RegStatus DeleteValue(const RegKey& key, const std::string& name) override {
    return Guarded([&] { return DoDeleteValue(key, name); });
  }
  std::string LastError() const override {
    std::lock_guard<std::mutex> lock(mu_);
    return lastError_;
  }

 private:
  // Runs one call under the mutex; an allocation failure becomes kStoreFailed.
  template <typename F>
  RegStatus Guarded(F&& f) {
    std::lock_guard<std::mutex> lock(mu_);
    try {
      return f();
    } catch (const std::bad_alloc&) {
      lastError_ = "Cannot use the registry database \"" + file_ + "\": out of memory";
      return RegStatus::kStoreFailed;
    }
  }

  // Records the failure of SQLite call `rc` while the connection still holds
  // its message (a later ROLLBACK would clear it).
  RegStatus Fail(int rc) {
    const char* msg = rc == SQLITE_BUSY ? "the database stays locked by another program"
                                        : sqlite3_errmsg(db_);
    if (rc != SQLITE_BUSY && sqlite3_errcode(db_) == SQLITE_OK) msg = sqlite3_errstr(rc);
    lastError_ = "Cannot use the registry database \"" + file_ + "\": " + msg;
    return RegStatus::kStoreFailed;
  }

  // Looks up one child of `parent` by name: kOk with `*id`, kNotFound, or
  // kStoreFailed.
  RegStatus FindChild(int64_t parent, const std::string& name, int64_t* id) {
    Stmt s(db_, "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
    s.Int(1, parent).Text(2, Fold(name));
    int rc = s.Step();
    if (rc == SQLITE_ROW) {
      *id = s.ColInt(0);
      return RegStatus::kOk;
    }
    return rc == SQLITE_DONE ? RegStatus::kNotFound : Fail(rc);
  }

  // kOk when the key still exists (the root always does).
  RegStatus KeyExists(const RegKey& key) {
    if (key.id == 0) return RegStatus::kOk;
    Stmt s(db_, "SELECT 1 FROM keys WHERE id = ?1");
    s.Int(1, key.id);
    int rc = s.Step();
    if (rc == SQLITE_ROW) return RegStatus::kOk;
    return rc == SQLITE_DONE ? RegStatus::kNotFound : Fail(rc);
  }

  RegStatus DoOpenKey(const std::string& path, bool create, RegKey* out) {
    std::vector<std::string> parts;
    if (!SplitPath(path, &parts)) return RegStatus::kInvalidName;
    Txn txn(db_, create);
    if (txn.rc() != SQLITE_OK) return Fail(txn.rc());
    int64_t id = 0;
    for (const std::string& part : parts) {
      int64_t child = 0;
      RegStatus st = FindChild(id, part, &child);
      if (st == RegStatus::kNotFound && create) {
        Stmt ins(db_, "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)");
        ins.Int(1, id).Text(2, part).Text(3, Fold(part));
        int rc = ins.Step();
        if (rc != SQLITE_DONE) return Fail(rc);
        child = sqlite3_last_insert_rowid(db_);
        st = RegStatus::kOk;
      }
      if (st != RegStatus::kOk) return st;
      id = child;
    }
    int rc = txn.Commit();
    if (rc != SQLITE_OK) return Fail(rc);
    if (out) *out = RegKey{id, path};
    return RegStatus::kOk;
  }

  RegStatus DoDeleteKey(const std::string& path) {
    std::vector<std::string> parts;
    // The root (HKEY_CURRENT_USER itself) cannot be deleted, as on Windows.
    if (path.empty() || !SplitPath(path, &parts)) return RegStatus::kInvalidName;
    Txn txn(db_, true);
    if (txn.rc() != SQLITE_OK) return Fail(txn.rc());
    int64_t id = 0;
    for (const std::string& part : parts) {
      RegStatus st = FindChild(id, part, &id);
      if (st != RegStatus::kOk) return st;
    }
    static constexpr const char* kDeletes[] = {
        "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL"
        "  SELECT keys.id FROM keys JOIN sub ON keys.parent = sub.id)"
        " DELETE FROM vals WHERE key_id IN sub",
        "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL"
        "  SELECT keys.id FROM keys JOIN sub ON keys.parent = sub.id)"
        " DELETE FROM keys WHERE id IN sub",
    };
    for (const char* sql : kDeletes) {
      Stmt del(db_, sql);
      del.Int(1, id);
      int rc = del.Step();
      if (rc != SQLITE_DONE) return Fail(rc);
    }
    int rc = txn.Commit();
    return rc == SQLITE_OK ? RegStatus::kOk : Fail(rc);
  }

  RegStatus DoEnumKeys(const RegKey& key, std::vector<std::string>* names) {
    Txn txn(db_, false);
    if (txn.rc() != SQLITE_OK) return Fail(txn.rc());
    RegStatus st = KeyExists(key);
    if (st != RegStatus::kOk) return st;
    std::vector<std::string> found;
    Stmt s(db_, "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold");
    s.Int(1, key.id);
    int rc;
    while ((rc = s.Step()) == SQLITE_ROW) found.push_back(s.ColText(0));
    if (rc != SQLITE_DONE) return Fail(rc);
    txn.Commit();
    if (names) *names = std::move(found);
    return RegStatus::kOk;
  }

  RegStatus DoEnumValues(const RegKey& key, std::vector<RegValue>* values) {
    Txn txn(db_, false);
    if (txn.rc() != SQLITE_OK) return Fail(txn.rc());
    RegStatus st = KeyExists(key);
    if (st != RegStatus::kOk) return st;
    std::vector<RegValue> found;
    Stmt s(db_, "SELECT name, type, data FROM vals WHERE key_id = ?1 ORDER BY seq");
    s.Int(1, key.id);
    int rc;
    while ((rc = s.Step()) == SQLITE_ROW) {
      found.push_back(RegValue{s.ColText(0), static_cast<RegType>(s.ColInt(1)), s.ColBlob(2)});
    }
    if (rc != SQLITE_DONE) return Fail(rc);
    txn.Commit();
    if (values) *values = std::move(found);
    return RegStatus::kOk;
  }

  RegStatus DoQueryValue(const RegKey& key, const std::string& name, RegValue* out) {
    if (!StorableName(name, kMaxValueNameChars)) return RegStatus::kInvalidName;
    Txn txn(db_, false);
    if (txn.rc() != SQLITE_OK) return Fail(txn.rc());
    RegStatus st = KeyExists(key);
    if (st != RegStatus::kOk) return st;
    Stmt s(db_, "SELECT name, type, data FROM vals WHERE key_id = ?1 AND fold = ?2");
    s.Int(1, key.id).Text(2, Fold(name));
    int rc = s.Step();
    if (rc == SQLITE_DONE) return RegStatus::kNotFound;
    if (rc != SQLITE_ROW) return Fail(rc);
    RegValue v{s.ColText(0), static_cast<RegType>(s.ColInt(1)), s.ColBlob(2)};
    txn.Commit();
    if (out) *out = std::move(v);
    return RegStatus::kOk;
  }

  RegStatus DoSetValue(const RegKey& key, const std::string& name, RegType type,
                       const std::vector<uint8_t>& data) {
    if (!StorableName(name, kMaxValueNameChars)) return RegStatus::kInvalidName;
    Txn txn(db_, true);
    if (txn.rc() != SQLITE_OK) return Fail(txn.rc());
    RegStatus st = KeyExists(key);
    if (st != RegStatus::kOk) return st;
    // A new value goes after the others; an existing one keeps its place
    // and its spelling and only takes the new type and data.
    Stmt s(db_,
           "INSERT INTO vals(key_id, seq, name, fold, type, data) VALUES(?1,"
           " (SELECT IFNULL(MAX(seq), 0) + 1 FROM vals WHERE key_id = ?1), ?2, ?3, ?4, ?5)"
           " ON CONFLICT(key_id, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
    s.Int(1, key.id).Text(2, name).Text(3, Fold(name)).Int(4, static_cast<int64_t>(type)).Blob(5, data);
    int rc = s.Step();
    if (rc != SQLITE_DONE) return Fail(rc);
    rc = txn.Commit();
    return rc == SQLITE_OK ? RegStatus::kOk : Fail(rc);
  }

  RegStatus DoDeleteValue(const RegKey& key, const std::string& name) {
    if (!StorableName(name, kMaxValueNameChars)) return RegStatus::kInvalidName;
    Txn txn(db_, true);
    if (txn.rc() != SQLITE_OK) return Fail(txn.rc());
    RegStatus st = KeyExists(key);
    if (st != RegStatus::kOk) return st;
    Stmt s(db_, "DELETE FROM vals WHERE key_id = ?1 AND fold = ?2");
    s.Int(1, key.id).Text(2, Fold(name));
    int rc = s.Step();
    if (rc != SQLITE_DONE) return Fail(rc);
    if (sqlite3_changes(db_) == 0) return RegStatus::kNotFound;
    rc = txn.Commit();
    return rc == SQLITE_OK ? RegStatus::kOk : Fail(rc);
  }

  sqlite3* db_;
  const std::string file_;
  mutable std::mutex mu_;  // guards db_ and lastError_
  std::string lastError_;
};

// Runs one SQL text; true on success.
bool Exec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Reads one integer (a PRAGMA or a count); false on failure.
bool QueryInt(sqlite3* db, const char* sql, int64_t* out) {
  Stmt s(db, sql);
  if (s.Step() != SQLITE_ROW) return false;
  *out = s.ColInt(0);
  return true;
}

// Each step of opening returns why it stopped, "" when it did not.

// The reason of the SQLite failure of step `what`.
std::string SqlWhy(sqlite3* db, const char* what, int busyTimeoutMs) {
  int rc = sqlite3_errcode(db);
  if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
    return "it stays locked by another program (waited " + std::to_string(busyTimeoutMs) + " ms)";
  if (rc == SQLITE_NOTADB) return "the file is not a registry database";
  return std::string(what) + ": " + sqlite3_errmsg(db);
}

// The file is made here, mode 0600 whatever the umask, before SQLite sees
// it: SQLite gives its WAL and shared-memory files the database file's mode.
std::string CreateIfMissing(const std::string& file, bool* created) {
  size_t slash = file.rfind('/');
  if (slash != std::string::npos && slash > 0) MakeDirectories(file.substr(0, slash), 0700);
  int fd = open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    *created = true;
    fchmod(fd, 0600);
    close(fd);
  } else if (errno != EEXIST) {
    return strerror(errno);
  }
  return "";
}

// Read before anything is written: a file that is not a database, or a
// database of another program, is refused without being touched.
std::string CheckIsRegistry(sqlite3* db, int busyTimeoutMs) {
  int64_t tables = 0;
  int64_t appId = 0;
  if (!QueryInt(db, "SELECT count(*) FROM sqlite_master", &tables) ||
      !QueryInt(db, "PRAGMA application_id", &appId))
    return SqlWhy(db, "cannot read", busyTimeoutMs);
  if (tables > 0 && appId != kApplicationId)
    return "the file is a database of another program, not a registry";
  return "";
}

// The tables of a new database; a database of a newer schema is refused.
// Taking the write lock here also tells at once whether another program
// holds the database locked for longer than the time-out.
std::string PrepareSchema(sqlite3* db, int busyTimeoutMs) {
  if (!Exec(db, "BEGIN IMMEDIATE")) return SqlWhy(db, "cannot lock", busyTimeoutMs);
  int64_t tables = 0;
  int64_t version = 0;
  if (!QueryInt(db, "SELECT count(*) FROM sqlite_master", &tables) ||
      !QueryInt(db, "PRAGMA user_version", &version))
    return SqlWhy(db, "cannot read", busyTimeoutMs);
  if (tables == 0) {
    if (!Exec(db, kSchema)) return SqlWhy(db, "cannot create the tables", busyTimeoutMs);
  } else if (version > kSchemaVersion) {
    return "it was written by a newer version of the program";
  }
  if (!Exec(db, "COMMIT")) return SqlWhy(db, "cannot write", busyTimeoutMs);
  return "";
}

// WAL lets readers go on while one program writes. A file system without
// shared memory keeps the old journal; writers then still wait for each
// other through the busy time-out, so that is not fatal.
std::string SetJournal(sqlite3* db, int busyTimeoutMs) {
  {
    Stmt wal(db, "PRAGMA journal_mode = WAL");
    int rc = wal.Step();
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
      return SqlWhy(db, "cannot set the journal mode", busyTimeoutMs);
  }
  if (!Exec(db, "PRAGMA synchronous = NORMAL")) return SqlWhy(db, "cannot set the sync mode", busyTimeoutMs);
  return "";
}

std::unique_ptr<Registry> Open(const std::string& file, std::string* error, int busyTimeoutMs) {
  sqlite3* db = nullptr;
  bool created = false;
  std::string why = file.empty() ? "no file name" : CreateIfMissing(file, &created);
  if (why.empty() &&
      sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
    why = SqlWhy(db, "cannot open", busyTimeoutMs);
  if (why.empty()) {
    sqlite3_busy_timeout(db, busyTimeoutMs);
    why = CheckIsRegistry(db, busyTimeoutMs);
  }
  if (why.empty()) why = PrepareSchema(db, busyTimeoutMs);
  if (why.empty()) why = SetJournal(db, busyTimeoutMs);
  if (!why.empty()) {
    if (error) *error = "Cannot open the registry database \"" + file + "\": " + why;
    if (db) {
      Exec(db, "ROLLBACK");
      sqlite3_close_v2(db);
    }
    return nullptr;
  }

  // A registry left readable by others (it holds session passwords) is
  // closed to them.
  struct stat st{};
  if (!created && stat(file.c_str(), &st) == 0 && (st.st_mode & 077) != 0) {
    chmod(file.c_str(), 0600);
  }
  return std::make_unique<SqliteRegistry>(db, file);
}

}  // namespace

std::unique_ptr<Registry> OpenSqliteRegistry(const std::string& file, std::string* error,
                                             int busyTimeoutMs) {
  try {
    return Open(file, error, busyTimeoutMs);
  } catch (const std::bad_alloc&) {
    if (error) *error = "Cannot open the registry database \"" + file + "\": out of memory";
    return nullptr;
  }
}

}  // namespace platform
