// FakeDialUp: a scripted dial-up service for tests. The test lays out the
// phone book, the active connections and how dialling and hanging up go;
// the fake records every call.
//
//   FakeDialUp dial;
//   dial.AddEntry("Office", "jo", /*password=*/"");   // no stored password
//   dial.AddConnection(7, "Home");
//   dial.SetPollsUntilGone(7, 3);   // status says "connected" three times
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dialup.h"

namespace tarn::testing {

class FakeDialUp : public platform::DialUp {
 public:
  struct Entry {
    std::string userName;
    std::string password;
    bool hasPassword = false;
  };

  // --- Script ---------------------------------------------------------------
  void AddEntry(const std::string& name, const std::string& userName,
                const std::string& password) {
    std::lock_guard<std::mutex> lock(mu_);
    entryOrder_.push_back(name);
    entries_[name] = {userName, password, !password.empty()};
  }
  void AddConnection(platform::DialHandle handle, const std::string& entry) {
    std::lock_guard<std::mutex> lock(mu_);
    connections_.push_back({handle, entry});
  }
  // GetConnectStatus answers kDialUpOk this many times after the hang-up of
  // `handle`, then kDialUpInvalidHandle.
  void SetPollsUntilGone(platform::DialHandle handle, int polls) {
    std::lock_guard<std::mutex> lock(mu_);
    pollsLeft_[handle] = polls;
  }
  // The next Dial returns `error` and hands back `handle` (0 = none).
  void SetDialResult(int error, platform::DialHandle handle) {
    std::lock_guard<std::mutex> lock(mu_);
    dialError_ = error;
    dialHandle_ = handle;
  }
  void SetEnumConnectionsError(int error) {
    std::lock_guard<std::mutex> lock(mu_);
    enumConnectionsError_ = error;
  }
  void SetDialParamsError(int error) {
    std::lock_guard<std::mutex> lock(mu_);
    dialParamsError_ = error;
  }

  // --- Record -----------------------------------------------------------------
  std::vector<platform::DialParams> Dialled() const {
    std::lock_guard<std::mutex> lock(mu_);
    return dialled_;
  }
  std::vector<platform::DialHandle> HungUp() const {
    std::lock_guard<std::mutex> lock(mu_);
    return hungUp_;
  }
  // Status polls per handle.
  int StatusPolls(platform::DialHandle handle) const {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = statusPolls_.find(handle);
    return it == statusPolls_.end() ? 0 : it->second;
  }

  // --- DialUp -----------------------------------------------------------------
  bool Installed() const override { return true; }

  int EnumEntries(std::vector<std::string>* names) override {
    std::lock_guard<std::mutex> lock(mu_);
    *names = entryOrder_;
    return platform::kDialUpOk;
  }

  int EnumConnections(std::vector<platform::DialConnection>* out) override {
    std::lock_guard<std::mutex> lock(mu_);
    if (enumConnectionsError_ != platform::kDialUpOk) return enumConnectionsError_;
    *out = connections_;
    return platform::kDialUpOk;
  }

  int GetEntryDialParams(const std::string& entry, platform::DialParams* out,
                         bool* hasPassword) override {
    std::lock_guard<std::mutex> lock(mu_);
    if (dialParamsError_ != platform::kDialUpOk) return dialParamsError_;
    auto it = entries_.find(entry);
    if (it == entries_.end()) return platform::kDialUpEntryNotFound;
    out->entryName = entry;
    out->userName = it->second.userName;
    out->password = it->second.password;
    *hasPassword = it->second.hasPassword;
    return platform::kDialUpOk;
  }

  int Dial(const platform::DialParams& params, platform::DialHandle* handle) override {
    std::lock_guard<std::mutex> lock(mu_);
    dialled_.push_back(params);
    *handle = dialHandle_;
    if (dialError_ == platform::kDialUpOk && dialHandle_ != 0)
      connections_.push_back({dialHandle_, params.entryName});
    return dialError_;
  }

  int HangUp(platform::DialHandle handle) override {
    std::lock_guard<std::mutex> lock(mu_);
    hungUp_.push_back(handle);
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
      if (it->handle == handle) {
        connections_.erase(it);
        break;
      }
    }
    return platform::kDialUpOk;
  }

  int GetConnectStatus(platform::DialHandle handle) override {
    std::lock_guard<std::mutex> lock(mu_);
    ++statusPolls_[handle];
    int& left = pollsLeft_[handle];
    if (left > 0) {
      --left;
      return platform::kDialUpOk;
    }
    return platform::kDialUpInvalidHandle;
  }

 private:
  mutable std::mutex mu_;
  std::vector<std::string> entryOrder_;
  std::map<std::string, Entry> entries_;
  std::vector<platform::DialConnection> connections_;
  std::map<platform::DialHandle, int> pollsLeft_;
  std::map<platform::DialHandle, int> statusPolls_;
  int dialError_ = platform::kDialUpOk;
  platform::DialHandle dialHandle_ = 1;
  int enumConnectionsError_ = platform::kDialUpOk;
  int dialParamsError_ = platform::kDialUpOk;
  std::vector<platform::DialParams> dialled_;
  std::vector<platform::DialHandle> hungUp_;
};

}  // namespace tarn::testing
