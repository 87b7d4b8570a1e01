// The start-up steps that every client program keeping sessions takes (the
// window and tarn-cli alike), in the order of the client's start-up.
#pragma once

#include <string>

#include "client/session/connection_log.h"
#include "platform/locale.h"

namespace platform {
class Registry;
}

namespace tarn {

// StartClient: converts the stored passwords of the older release before
// anything reads a session (ConvertStoredPasswords), then creates the
// connection log, replacing an old one, and writes its banner whatever
// DebugLog says. `logPath` names the log; empty means "Tarn.log" in the
// current directory. Returns whether the log was created: without one the
// run goes on and nothing is shown, as the window's start-up does; a caller
// that asked for a file of its own may report it. Call it once, from the
// composition root's thread, before the application settings are read.
bool StartClient(platform::Registry& reg, ConnLog* log, const std::string& logPath,
                 const BannerFacts& facts, const platform::Locale& locale);

}  // namespace tarn
