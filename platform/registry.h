// The current user's registry: a tree of keys holding typed values, kept in
// one SQLite database that every program of the suite shares.
//
// It behaves like the Windows registry where the suite depends on it:
//   - key and value names are case-insensitive and case-preserving;
//   - subkeys enumerate in case-insensitive (upper-cased ASCII) name order,
//     values in the order they were first created (rewriting a value keeps
//     its place);
//   - REG_SZ data carries its terminating NUL (the stored length counts it),
//     REG_BINARY data is stored as given;
//   - a read into a buffer that is too small reports the size it needs;
//   - two processes may read and write at once: every write is its own
//     transaction, and a busy database is retried up to a time limit.
//
// Key paths are relative to HKEY_CURRENT_USER and use single backslashes:
// "Software\\Ostravel\\Tarn\\Sessions\\My host".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Value types, numbered as on Windows so that .reg files keep their meaning.
enum RegType : uint32_t {
  REG_NONE = 0,
  REG_SZ = 1,
  REG_EXPAND_SZ = 2,
  REG_BINARY = 3,
  REG_DWORD = 4,
  REG_MULTI_SZ = 7,
};

// Outcome of a registry call. New codes go last.
enum class RegStatus {
  kOk = 0,
  kNotFound,      // key or value does not exist
  kMoreData,      // the buffer is too small; the needed size is reported
  kInvalidName,   // empty path component, or a name that cannot be stored
  kStoreFailed,   // the database could not be read or written (see LastError)
};

// An open key. Cheap to copy; stays valid while the key exists. A key that
// was deleted after opening answers kNotFound to every call.
struct RegKey {
  int64_t id = 0;       // row of the key in the store; 0 is the root
  std::string path;     // path as the caller opened it (for messages)
};

struct RegValue {
  std::string name;
  RegType type = REG_NONE;
  std::vector<uint8_t> data;

  // The value's text without its terminating NUL (REG_SZ, REG_EXPAND_SZ);
  // for other types the bytes as they are.
  std::string Text() const;
};

class Registry {
 public:
  virtual ~Registry() = default;

  // Opens an existing key. Returns kNotFound when any part of the path is
  // absent. The empty path is the root (HKEY_CURRENT_USER itself).
  virtual RegStatus OpenKey(const std::string& path, RegKey* out) = 0;

  // Opens a key, creating it and every missing parent.
  virtual RegStatus CreateKey(const std::string& path, RegKey* out) = 0;

  // Deletes a key with all its subkeys and values. kNotFound when absent.
  virtual RegStatus DeleteKey(const std::string& path) = 0;

  // Names of the direct subkeys, in case-insensitive name order, spelled as
  // created.
  virtual RegStatus EnumKeys(const RegKey& key, std::vector<std::string>* names) = 0;

  // Every value of a key, in creation order.
  virtual RegStatus EnumValues(const RegKey& key, std::vector<RegValue>* values) = 0;

  // Reads one value whole. kNotFound when the value is absent.
  virtual RegStatus QueryValue(const RegKey& key, const std::string& name, RegValue* out) = 0;

  // Writes a value, replacing data and type of an existing one (its name's
  // spelling and its place in the value order stay).
  virtual RegStatus SetValue(const RegKey& key, const std::string& name, RegType type,
                             const std::vector<uint8_t>& data) = 0;

  virtual RegStatus DeleteValue(const RegKey& key, const std::string& name) = 0;

  // Text of the last kStoreFailed, naming the database file.
  virtual std::string LastError() const = 0;

  // --- Conveniences over the calls above --------------------------------

  // Reads a value into a buffer of `capacity` bytes, as RegQueryValueEx
  // does: on kMoreData `*needed` holds the size the value needs and `buffer`
  // is untouched. On success `*size` is the stored length (for REG_SZ it
  // counts the NUL); REG_SZ text is NUL-terminated in the buffer, and binary
  // data gets a NUL after it when there is room.
  RegStatus ReadValue(const RegKey& key, const std::string& name, char* buffer,
                      uint32_t capacity, uint32_t* size, uint32_t* needed);

  // Writes REG_SZ: the text followed by its NUL.
  RegStatus WriteString(const RegKey& key, const std::string& name, const std::string& text);

  // Writes REG_BINARY with exactly the bytes of `bytes`.
  RegStatus WriteBinary(const RegKey& key, const std::string& name, const std::string& bytes);
};

// Opens (creating when absent) the SQLite registry at `file`, mode 0600, WAL
// journal, with a busy time-out of `busyTimeoutMs`. Returns null and sets
// `*error` to a message naming the file when the file cannot be opened, is
// not a registry database, or stays locked past the time-out; the file is
// never overwritten in that case.
std::unique_ptr<Registry> OpenSqliteRegistry(const std::string& file, std::string* error,
                                             int busyTimeoutMs = 5000);

// Joins key path pieces with single backslashes, skipping empty pieces.
std::string RegJoin(const std::string& a, const std::string& b);

}  // namespace platform
