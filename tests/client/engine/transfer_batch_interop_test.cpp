// Folder transfers through the transfer batch against vsftpd and pyftpdlib:
// a small tree uploaded, uploaded again over itself, and downloaded back,
// byte for byte.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "client/cli/console.h"
#include "platform/registry.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_servers.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;
using testing::ServerEnv;

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Every file below `root` by its relative path, with its bytes.
std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root))
    out[fs::relative(e.path(), root).string() + (e.is_directory() ? "/" : "")] =
        e.is_directory() ? "" : Slurp(e.path());
  return out;
}

TEST(FolderInterop, TreeUpAgainAndBackIsByteExact) {
  if (!testing::NeedServers()) return;
  struct Server {
    const char* name;
    std::string url;
    std::string password;
    std::string base;  // a folder of this test's own on the server
  } servers[] = {
      {"vsftpd", "ftp://" + ServerEnv("TARN_TEST_FTP_USER") + "@127.0.0.1:" + ServerEnv("TARN_TEST_VSFTPD_PORT"),
       ServerEnv("TARN_TEST_FTP_PASS"), "/upload/batch" + std::to_string(getpid())},
      {"pyftpdlib", "ftp://user@127.0.0.1:" + ServerEnv("TARN_TEST_PYFTPD_PORT"), "secret",
       "/batch" + std::to_string(getpid())},
  };
  for (const auto& srv : servers) {
    SCOPED_TRACE(srv.name);
    tarn::testing::TempDir tmp("tarn-batch-interop");
    const fs::path dir = tmp.Path();
    const fs::path tree = dir / "tree";
    fs::create_directories(tree / "sub" / "deeper");
    std::mt19937 gen(3);
    std::string bin(300000, '\0');
    for (auto& ch : bin) ch = static_cast<char>(gen());
    std::ofstream(tree / "a.txt", std::ios::binary) << "line one\r\nline two\n";
    std::ofstream(tree / "sub" / "b.bin", std::ios::binary) << bin;
    std::ofstream(tree / "sub" / "deeper" / "empty", std::ios::binary);
    std::ofstream(tree / "sub" / "deeper" / "c.c", std::ios::binary) << "int x;\n";

    std::string error;
    auto reg = platform::OpenSqliteRegistry((dir / "registry.sqlite").string(), &error);
    ASSERT_TRUE(reg) << error;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    {
      cli::ConsoleUi ui(err, nullptr, false);
      ui.SetShowProgress(false);
      AppState app;
      app.settings.bPassive = 1;
      cli::ConsoleOptions options;
      options.replyTimeoutMs = 10000;
      options.type = 'I';
      cli::Console console(*reg, app, ui, out, err, options);
      setenv("TARN_PASSWORD", srv.password.c_str(), 1);
      ASSERT_TRUE(console.Run({"open", srv.url}));
      ASSERT_TRUE(console.Run({"mkdir", srv.base}));
      ASSERT_TRUE(console.Run({"put", "-r", tree.string(), srv.base}));
      // Again over itself, one file changed: folders are entered, files replaced.
      std::ofstream(tree / "sub" / "deeper" / "c.c", std::ios::binary) << "int y = 2;\n";
      ASSERT_TRUE(console.Run({"put", "-r", tree.string(), srv.base}));
      ASSERT_TRUE(console.Run({"get", "-r", srv.base + "/tree", (dir / "back").string()}));
      EXPECT_EQ(Tree(dir / "back" / "tree"), Tree(tree));
      // A folder that is not there fails the command and leaves nothing behind.
      EXPECT_FALSE(console.Run({"get", "-r", srv.base + "/none", (dir / "back").string()}));
      EXPECT_FALSE(fs::exists(dir / "back" / "none" / "a.txt"));
      for (const char* f : {"/tree/sub/deeper/empty", "/tree/sub/deeper/c.c", "/tree/sub/b.bin", "/tree/a.txt"})
        EXPECT_TRUE(console.Run({"rm", srv.base + f}));
      for (const char* d : {"/tree/sub/deeper", "/tree/sub", "/tree", ""})
        EXPECT_TRUE(console.Run({"rmdir", srv.base + d}));
      console.Shutdown();
    }
    std::fclose(out);
    std::fclose(err);
  }
}

}  // namespace
}  // namespace tarn
