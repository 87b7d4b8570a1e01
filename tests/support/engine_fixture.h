// EngineTest: a fresh FtpConn wired to a scripted Ui, a connection log in a
// temporary directory of the test's own and a scripted FTP server, for
// protocol tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "client/engine/control.h"
#include "client/engine/ftp_conn.h"
#include "client/engine/keepalive.h"
#include "client/session/app_state.h"
#include "client/session/connection_log.h"
#include "platform/net.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_dir.h"

namespace tarn::testing {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    logPath_ = dir_ + "/Tarn.log";
    ASSERT_TRUE(log_.Create(logPath_));
    app_.log = &log_;
    app_.settings.bDebugLog = true;
    c_.app = &app_;
    c_.ui = &ui_;
    c_.net = &net_;
    c_.keepAlive = &keepAlive_;
    c_.iReplyTimeout = 3000;
  }

  void TearDown() override {
    if (c_.sockControl != platform::kInvalidSocket) net_.Close(c_.sockControl);
  }

  // Starts the script and opens a control connection to it.
  platform::Socket Connect() {
    srv_.Start();
    platform::Socket s = FtpOpenSocket(c_, "127.0.0.1", srv_.Port());
    c_.sockControl = s;
    return s;
  }

  // Everything written to the connection log so far.
  std::string Log() const { return ReadFile(logPath_); }

  // "<the test's directory>/<name>", and whole files there or anywhere.
  std::string Local(const std::string& name) const { return tmp_.File(name); }
  static std::string Read(const std::string& path) { return ReadFile(path); }
  static void Write(const std::string& path, const std::string& bytes) { WriteFile(path, bytes); }

  TempDir tmp_{"tarn-engine"};
  std::string dir_ = tmp_.Path();
  std::string logPath_;
  AppState app_;
  ConnLog log_;
  ScriptedUi ui_;
  platform::Net net_;
  KeepAliveTimer keepAlive_;
  FtpConn c_;
  FakeFtpServer srv_;
};

}  // namespace tarn::testing
