// The system's dial-up service: phone-book entries, active connections,
// dialling and hanging up. Linux has no such service by default, so the
// default backend reports it as not installed, which turns every dial-up
// feature of the client off. Tests drive the dialling logic with a backend
// of their own.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {

// Error numbers of the dial-up service that callers test by name.
enum DialUpError : int {
  kDialUpOk = 0,
  kDialUpInvalidHandle = 6,     // ERROR_INVALID_HANDLE: the connection is gone
  kDialUpEntryNotFound = 623,   // ERROR_CANNOT_FIND_PHONEBOOK_ENTRY
};

using DialHandle = long;  // 0 = none

struct DialConnection {
  DialHandle handle = 0;
  std::string entryName;
};

struct DialParams {
  std::string entryName;
  std::string userName;
  std::string password;
};

class DialUp {
 public:
  virtual ~DialUp() = default;

  // False when the service is absent: every other call is then unused.
  virtual bool Installed() const = 0;

  // Phone-book entry names, in the service's order.
  virtual int EnumEntries(std::vector<std::string>* names) = 0;
  // Active connections, in the service's order.
  virtual int EnumConnections(std::vector<DialConnection>* out) = 0;
  // Stored user name and password of an entry; `*hasPassword` tells whether
  // a password is stored. kDialUpEntryNotFound when the entry is absent.
  virtual int GetEntryDialParams(const std::string& entry, DialParams* out, bool* hasPassword) = 0;
  // Dials synchronously. On failure `*handle` may still name a handle that
  // the caller must hang up.
  virtual int Dial(const DialParams& params, DialHandle* handle) = 0;
  virtual int HangUp(DialHandle handle) = 0;
  // kDialUpOk while the connection exists, kDialUpInvalidHandle once gone.
  virtual int GetConnectStatus(DialHandle handle) = 0;
};

// The backend for a system without a dial-up service.
std::unique_ptr<DialUp> MakeNoDialUp();

}  // namespace platform
