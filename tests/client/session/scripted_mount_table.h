// ScriptedMountTable: a MountTable that answers with the mounts a test
// lists, or as an unreadable table.
#pragma once

#include <string>
#include <vector>

#include "client/session/pc_directory.h"

namespace tarn::testing {

class ScriptedMountTable : public MountTable {
 public:
  ScriptedMountTable& Add(const std::string& server, std::vector<std::string> sharePath,
                          const std::string& mountPoint) {
    mounts_.push_back({server, std::move(sharePath), mountPoint});
    return *this;
  }
  void SetUnreadable() { readable_ = false; }

  bool NetworkMounts(std::vector<NetworkMount>* out) override {
    ++calls_;
    *out = readable_ ? mounts_ : std::vector<NetworkMount>{};
    return readable_;
  }
  int Calls() const { return calls_; }

 private:
  std::vector<NetworkMount> mounts_;
  bool readable_ = true;
  int calls_ = 0;
};

}  // namespace tarn::testing
