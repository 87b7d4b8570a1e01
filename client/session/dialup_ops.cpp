#include "client/session/dialup_ops.h"

#include <chrono>
#include <thread>

namespace tarn {

namespace {

// The short title that begins the dial-up texts and captions.
constexpr const char* kShortTitle = "Tarn";

// A hang-up that the service never confirms must not hold the caller for
// ever; past this the line is taken as free.
constexpr std::chrono::seconds kHangUpLimit{30};

// Password length of the dial-up logon dialog.
constexpr size_t kMaxDialPassword = 256;

}  // namespace

std::vector<std::string> DialUpOps::ListEntries() {
  std::vector<std::string> names;
  if (!Available() || service_.EnumEntries(&names) != platform::kDialUpOk) return {};
  return names;
}

bool DialUpOps::DialEntry(const std::string& entry) {
  if (!Available()) return true;  // the network connection is used as it is

  std::vector<platform::DialConnection> active;
  if (service_.EnumConnections(&active) != platform::kDialUpOk) active.clear();
  for (const auto& conn : active) {
    if (conn.entryName == entry) return true;
    std::string question = "Would you like to disconnect from " + conn.entryName +
                           " before connecting to\r" + entry + "?";
    if (ui_.MessageBox(question, "Active Dial-Up Connection Found", BoxButtons::kYesNo,
                       BoxIcon::kQuestion) == BoxResult::kYes)
      HangUp(conn.handle);
  }

  platform::DialParams params;
  bool hasPassword = false;
  int rc = service_.GetEntryDialParams(entry, &params, &hasPassword);
  if (rc == platform::kDialUpEntryNotFound) {
    ui_.MessageBox(std::string(kShortTitle) +
                       " could not find the 'Dial-up Networking' settings for\r'" + entry +
                       "'.\r\rWhile these settings existed when this FTP host session\rwas "
                       "defined, they don't exist now (possibly because the\rconnection was "
                       "renamed or deleted).  At this point, you\rwill need to access the "
                       "Tarn settings for this FTP host\rand select a valid connection.",
                   "Dial-up Settings Not Found", BoxButtons::kOk, BoxIcon::kWarning);
    return false;
  }
  if (rc != platform::kDialUpOk) return false;
  params.entryName = entry;

  if (!hasPassword) {
    std::string password;
    if (!ui_.PromptDialUpPassword(entry, params.userName, &password)) return false;
    if (password.size() > kMaxDialPassword) password.resize(kMaxDialPassword);
    params.password = password;
  }

  ui_.SetStatusText(kStatusOperation, "Dialing " + entry);
  platform::DialHandle handle = 0;
  if (service_.Dial(params, &handle) == platform::kDialUpOk) return true;
  if (handle != 0) HangUp(handle);
  return false;
}

void DialUpOps::OfferHangUp() {
  if (!Available()) return;
  std::vector<platform::DialConnection> active;
  if (service_.EnumConnections(&active) != platform::kDialUpOk) return;
  if (!app_.settings.cConfirmDisconnectRas.empty() &&
      app_.settings.cConfirmDisconnectRas[0] == 'X')
    return;
  for (const auto& conn : active) {
    if (ui_.MessageBox("Would you like to disconnect from " + conn.entryName + " now?",
                       std::string(kShortTitle) + " Host Disconnect", BoxButtons::kYesNo,
                       BoxIcon::kQuestion) == BoxResult::kYes)
      HangUp(conn.handle);
  }
}

// The line is free for a new dial only once the service has forgotten the
// handle, so the status is polled until it calls the handle invalid.
void DialUpOps::HangUp(platform::DialHandle handle) {
  if (!Available() || handle == 0) return;
  service_.HangUp(handle);
  auto deadline = std::chrono::steady_clock::now() + kHangUpLimit;
  while (service_.GetConnectStatus(handle) != platform::kDialUpInvalidHandle &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
}

}  // namespace tarn
