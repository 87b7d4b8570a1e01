#include "client/session/client_startup.h"

#include "client/session/password.h"

namespace tarn {

bool StartClient(platform::Registry& reg, ConnLog* log, const std::string& logPath,
                 const BannerFacts& facts, const platform::Locale& locale) {
  ConvertStoredPasswords(reg);
  if (logPath.empty()) return CreateConnectionLog(log, ".", facts, locale);
  if (!log->Create(logPath)) return false;
  log->Write(ConnectionLogBanner(facts, locale));
  return true;
}

}  // namespace tarn
