// Where the real test servers run (started by tools/test-servers, which
// writes servers.env for the test command to source). A test that needs a
// server it cannot find fails with a clear message rather than skipping, so
// that a missing server can never pass for a green run.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "client/session/host_record.h"
#include "client/session/password.h"

namespace tarn::testing {

inline std::string ServerEnv(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// The Maildir where aiosmtpd stores what it takes.
inline std::string SmtpMaildir() {
  const std::string dir = ServerEnv("TARN_TEST_SMTP_MAILDIR");
  return dir.empty() ? "/tmp/tarn-test-servers/smtp/maildir" : dir;
}

// Fails the current test (returns false) when the servers are not running.
inline bool NeedServers() {
  if (!ServerEnv("TARN_TEST_VSFTPD_PORT").empty()) return true;
  ADD_FAILURE() << "The test servers are not running: start them with "
                   "`sudo tools/test-servers start` and source "
                   "/tmp/tarn-test-servers/servers.env (tools/check does both).";
  return false;
}

// A session for the local user of the vsftpd test server, its password
// saved (scrambled) as a stored session holds it.
inline HostRecord VsftpdUserSession(const std::string& password = ServerEnv("TARN_TEST_FTP_PASS")) {
  HostRecord h;
  InitNewSession(&h, "vsftpd", "127.0.0.1");
  SetField(h.cFTPPort, ServerEnv("TARN_TEST_VSFTPD_PORT"));
  SetField(h.cUserFlag, "S");
  SetField(h.cUserName, ServerEnv("TARN_TEST_FTP_USER"));
  SetField(h.cPasswordFlag, "S");
  PasswordScrambler scrambler(20261207);
  SetField(h.cPassword, scrambler.Scramble(password));
  return h;
}

}  // namespace tarn::testing
