// CliFixture: tarn-cli run as the built program (TARN_CLI_PATH), with a
// settings folder of the test's own and none of the caller's secrets, so
// that a run reads only what its test hands it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "client/session/password.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/temp_dir.h"

namespace tarn::testing {

class CliFixture : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.empty()); }

  // The environment of a run: `extra` first (a secret a run needs), then
  // this test's settings folder and the secret variables removed unless
  // `extra` sets them.
  std::vector<std::string> Env(std::vector<std::string> extra = {}) const {
    extra.push_back("TARN_CONFIG_DIR=" + dir_ + "/config");
    for (const char* unset : {"TARN_PASSWORD=", "TARN_ACCOUNT=", "TARN_FW_PASSWORD=", "TARN_CERT_PASSWORD="})
      extra.push_back(unset);
    return extra;
  }

  // Runs tarn-cli with `args`, Env(extra) and `input` on its standard input.
  ProgramResult RunCli(std::vector<std::string> args, std::vector<std::string> extra = {},
                       const std::string& input = "") const {
    args.insert(args.begin(), TARN_CLI_PATH);
    return RunProgram(args, Env(std::move(extra)), input, 60000);
  }

  std::string Path(const std::string& name) const { return tmp_.File(name); }
  // Writes the file `name` of the test's folder; its path.
  std::string WriteFile(const std::string& name, const std::string& bytes) const {
    const std::string path = Path(name);
    testing::WriteFile(path, bytes);
    return path;
  }
  static std::string Read(const std::string& path) { return ReadFile(path); }
  static void Write(const std::string& path, const std::string& bytes) { testing::WriteFile(path, bytes); }

  TempDir tmp_{"tarn-cli"};
  std::string dir_ = tmp_.Path();
};

// The scripted log-on of an anonymous quick connection: the banner, USER
// and PASS, the restart probe, SYST, and PWD naming the start directory
// "/srv", which is entered.
inline FakeFtpServer& AnonymousLogon(FakeFtpServer& s) {
  return s.Send("220 fake\r\n")
      .On("USER anonymous", "331 pass\r\n")
      .ExpectPrefix("PASS ")
      .Send("230 in\r\n")
      .On("REST 100", "350 ok\r\n")
      .On("REST 0", "350 ok\r\n")
      .On("SYST", "215 UNIX Type: L8\r\n")
      .On("PWD", "257 \"/srv\" is current\r\n")
      .On("CWD /srv", "250 ok\r\n");
}

// A session as the Windows registry editor would export it, password saved
// in its scrambled form.
inline std::string SessionRegFile(const std::string& name, const std::string& port,
                                  const std::string& user, const std::string& password) {
  PasswordScrambler scrambler(1700000000);
  std::string scrambled = scrambler.Scramble(password);
  std::string hex;
  for (unsigned char ch : scrambled) {
    char b[4];
    snprintf(b, sizeof b, "%02x", ch);
    if (!hex.empty()) hex += ",";
    hex += b;
  }
  std::string key = "[HKEY_CURRENT_USER\\Software\\Ostravel\\Tarn\\Sessions\\" + name + "]\r\n";
  return "Windows Registry Editor Version 5.00\r\n\r\n" + key +
         "\"HostName\"=\"127.0.0.1\"\r\n\"FTPPort\"=\"" + port + "\"\r\n" +
         "\"UserFlag\"=\"S\"\r\n\"UserName\"=\"" + user + "\"\r\n" +
         "\"PasswordFlag\"=\"S\"\r\n\"RandomInitData\"=hex:" + hex + "\r\n" +
         "\"Firewalluse\"=\"NO\"\r\n\"SSLUse\"=\"NO\"\r\n\r\n";
}

// The program's commands end to end: Cli(args, input, env).
class CliTest : public CliFixture {
 protected:
  ProgramResult Cli(std::vector<std::string> args, const std::string& input = "",
                    std::vector<std::string> env = {}) const {
    return RunCli(std::move(args), std::move(env), input);
  }
};

}  // namespace tarn::testing
