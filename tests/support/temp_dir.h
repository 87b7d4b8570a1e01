// TempDir: a fresh directory of one test, removed with everything in it
// when the object goes, so that tests running side by side (or twice at
// once on one machine) never meet and nothing is left behind.
//
//   testing::TempDir tmp("tarn-queue");
//   testing::WriteFile(tmp.File("night.tsc"), ...);
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tarn::testing {

class TempDir {
 public:
  // Which parent the directory is made in.
  enum class Base {
    kTmp,         // $TMPDIR, else /tmp
    kNoDashTmp,   // the same, but /tmp when $TMPDIR holds a '-' (for
                  // command lines that split at '-', such as courel's)
  };

  // Makes "<base>/<prefix>-XXXXXX" (no dash with kNoDashTmp: then
  // "<base>/<prefix>XXXXXX"). Path() is "" when it could not be made.
  explicit TempDir(const std::string& prefix = "tarn-test", Base base = Base::kTmp) {
    const char* env = getenv("TMPDIR");
    std::string parent = env && *env ? env : "/tmp";
    std::string pattern;
    if (base == Base::kNoDashTmp) {
      if (parent.find('-') != std::string::npos) parent = "/tmp";
      pattern = parent + "/" + prefix + "XXXXXX";
    } else {
      pattern = parent + "/" + prefix + "-XXXXXX";
    }
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  // "<dir>/<name>".
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The whole content of a file ("" when it cannot be read).
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Makes or replaces a file with `bytes`.
inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace tarn::testing
