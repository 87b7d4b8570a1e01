#include "platform/dialup.h"

namespace platform {

namespace {

class NoDialUp : public DialUp {
 public:
  bool Installed() const override { return false; }
  int EnumEntries(std::vector<std::string>* names) override {
    names->clear();
    return kDialUpOk;
  }
  int EnumConnections(std::vector<DialConnection>* out) override {
    out->clear();
    return kDialUpOk;
  }
  int GetEntryDialParams(const std::string&, DialParams*, bool*) override {
    return kDialUpEntryNotFound;
  }
  int Dial(const DialParams&, DialHandle* handle) override {
    *handle = 0;
    return kDialUpEntryNotFound;
  }
  int HangUp(DialHandle) override { return kDialUpInvalidHandle; }
  int GetConnectStatus(DialHandle) override { return kDialUpInvalidHandle; }
};

}  // namespace

std::unique_ptr<DialUp> MakeNoDialUp() { return std::make_unique<NoDialUp>(); }

}  // namespace platform
