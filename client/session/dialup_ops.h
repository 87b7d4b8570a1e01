// Dial-up before connecting and hang-up after, over the platform's dial-up
// service. With the service absent every operation is a no-op that lets the
// connection go over the network as it is.
#pragma once

#include <string>
#include <vector>

#include "client/session/app_state.h"
#include "client/session/ui.h"
#include "platform/dialup.h"

namespace tarn {

class DialUpOps {
 public:
  DialUpOps(platform::DialUp& service, Ui& ui, const AppState& app)
      : service_(service), ui_(ui), app_(app) {}

  bool Available() const { return service_.Installed(); }

  // ListDialUpEntries: the phone-book entries for the "Connect via" list.
  std::vector<std::string> ListEntries();

  // DialEntry: true when `entry` is connected afterwards. Asks about other
  // active connections, reports a missing entry, prompts for a missing
  // password.
  bool DialEntry(const std::string& entry);

  // OfferHangUp: asks, per active connection, whether to hang it up, unless
  // ConfirmDisconnectRas is "X".
  void OfferHangUp();

  // HangUp: hangs up and waits until the service calls the handle invalid.
  void HangUp(platform::DialHandle handle);

 private:
  platform::DialUp& service_;
  Ui& ui_;
  const AppState& app_;
};

}  // namespace tarn
