// Every program's --help and --version against its manual page: the same
// options on both sides, the version of the build on both, the sections a
// reader looks for, and pages that groff reads without a warning. The
// programs run as built, the pages as the package installs them (version
// and date filled in).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using ::testing::HasSubstr;

struct Outcome {
  int exit = -1;
  std::string output;  // standard output and standard error together
};

// Runs `argv` in `cwd` with TARN_CONFIG_DIR there too, so that a program
// that opens its settings before answering leaves nothing elsewhere.
Outcome RunProgram(const std::vector<std::string>& argv, const std::string& cwd) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    setenv("TARN_CONFIG_DIR", cwd.c_str(), 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  Outcome o;
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) o.output.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  o.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return o;
}

// The options a text names: "--long-name" and "-x", standing after a blank,
// a bracket, a bar, a comma or the line's start. "--no-accept-..." (a
// family, ending in "-") is no option.
std::set<std::string> OptionsIn(const std::string& text) {
  static const std::regex option(
      R"((?:^|[\s\[|,(])(--[a-z0-9][a-z0-9-]*[a-z0-9]|-[a-zA-Z])(?=$|[\s\]|,=)]))");
  std::set<std::string> out;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator();
       ++it)
    out.insert((*it)[1].str());
  return out;
}

// A roff line as the reader sees it: macro name, quotes and font changes
// gone, escaped hyphens plain.
std::string Plain(std::string line) {
  if (!line.empty() && line[0] == '.') {
    const size_t blank = line.find(' ');
    line = blank == std::string::npos ? "" : line.substr(blank + 1);
    line.erase(std::remove(line.begin(), line.end(), '"'), line.end());
  }
  static const std::regex font(R"(\\f[BIRP])");
  line = std::regex_replace(line, font, "");
  static const std::regex special(R"(\\\(dq)");
  line = std::regex_replace(line, special, "\"");
  std::string out;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      const char next = line[++i];
      if (next == '-') out += '-';
      else if (next == 'e') out += '\\';
      else if (next == '&') continue;
      else out += ' ';
      continue;
    }
    out += line[i];
  }
  return out;
}

struct ManPage {
  std::string th;                       // the .TH line
  std::vector<std::string> sections;    // .SH names in order
  std::string name;                     // the NAME section's text
  std::set<std::string> options;        // of the SYNOPSIS and of every .TP term
};

ManPage ReadManPage(const std::string& path) {
  ManPage page;
  std::ifstream in(path);
  std::string line, section;
  bool term = false;
  while (std::getline(in, line)) {
    if (line.rfind(".TH ", 0) == 0) page.th = line;
    if (line.rfind(".SH ", 0) == 0) {
      section = Plain(line);
      page.sections.push_back(section);
      continue;
    }
    if (line == ".TP") {
      term = true;
      continue;
    }
    const std::string text = Plain(line);
    if (section == "NAME") page.name += text;
    if (term || section == "SYNOPSIS") {
      const std::set<std::string> found = OptionsIn(text);
      page.options.insert(found.begin(), found.end());
    }
    term = false;
  }
  return page;
}

std::string Listed(const std::set<std::string>& options) {
  std::string out;
  for (const std::string& o : options) out += (out.empty() ? "" : " ") + o;
  return out.empty() ? "(none)" : out;
}

struct Program {
  std::string name;
  std::string path;
  // The help texts that together name every option: the program's --help,
  // and the commands with options of their own.
  std::vector<std::vector<std::string>> helps;
};

std::vector<Program> Programs() {
  std::vector<Program> out = {
      {"tarn-cli", TARN_CLI_PATH, {{"--help"}, {"session", "--help"}, {"parse"}}},
      {"courel", COUREL_PATH, {{"--help"}}},
      {"almanor", ALMANOR_PATH, {{"--help"}}},
  };
#ifdef TARN_PATH
  out.insert(out.begin(), {"tarn", TARN_PATH, {{"--help"}}});
#endif
  return out;
}

class ManPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tarn-man-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string PagePath(const std::string& name) const { return std::string(TARN_MAN_DIR) + "/" + name + ".1"; }

  std::string dir_;
};

TEST_F(ManPageTest, HelpAndPageNameTheSameOptions) {
  for (const Program& p : Programs()) {
    SCOPED_TRACE(p.name);
    std::set<std::string> help;
    for (const auto& words : p.helps) {
      std::vector<std::string> argv = {p.path};
      argv.insert(argv.end(), words.begin(), words.end());
      const Outcome o = RunProgram(argv, dir_);
      ASSERT_FALSE(o.output.empty()) << "no help from " << p.name << " " << words.front();
      const std::set<std::string> found = OptionsIn(o.output);
      help.insert(found.begin(), found.end());
    }
    const ManPage page = ReadManPage(PagePath(p.name));
    std::set<std::string> onlyHelp, onlyPage;
    std::set_difference(help.begin(), help.end(), page.options.begin(), page.options.end(),
                        std::inserter(onlyHelp, onlyHelp.end()));
    std::set_difference(page.options.begin(), page.options.end(), help.begin(), help.end(),
                        std::inserter(onlyPage, onlyPage.end()));
    EXPECT_TRUE(onlyHelp.empty()) << "in --help but not in the manual page: " << Listed(onlyHelp);
    EXPECT_TRUE(onlyPage.empty()) << "in the manual page but not in --help: " << Listed(onlyPage);
    EXPECT_TRUE(help.count("--help") && help.count("--version")) << Listed(help);
  }
}

TEST_F(ManPageTest, VersionIsTheBuildsOnBothSides) {
  for (const Program& p : Programs()) {
    SCOPED_TRACE(p.name);
    const Outcome o = RunProgram({p.path, "--version"}, dir_);
    EXPECT_EQ(o.exit, 0);
    EXPECT_EQ(o.output, p.name + " " + TARN_PROJECT_VERSION + "\n");
    // .TH TARN\-CLI 1 "date" "tarn 0.1.0" "User Commands"
    std::string upper = p.name;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const std::string th = Plain(ReadManPage(PagePath(p.name)).th);
    EXPECT_EQ(th.rfind(upper + " 1 ", 0), 0u) << th;
    EXPECT_THAT(th, HasSubstr(" tarn " TARN_PROJECT_VERSION " User Commands")) << th;
  }
}

TEST_F(ManPageTest, PagesHaveTheSectionsReadersLookFor) {
  const std::vector<std::string> wanted = {"NAME",        "SYNOPSIS",    "DESCRIPTION", "OPTIONS",
                                           "FILES",       "ENVIRONMENT", "EXIT STATUS", "EXAMPLES",
                                           "SEE ALSO"};
  for (const char* name : {"tarn", "tarn-cli", "courel", "almanor"}) {
    SCOPED_TRACE(name);
    const ManPage page = ReadManPage(PagePath(name));
    size_t at = 0;
    for (const std::string& s : wanted) {
      auto it = std::find(page.sections.begin() + static_cast<long>(std::min(at, page.sections.size())),
                          page.sections.end(), s);
      EXPECT_NE(it, page.sections.end()) << "missing or out of order: " << s;
      if (it != page.sections.end()) at = static_cast<size_t>(it - page.sections.begin()) + 1;
    }
    // whatis(1) and apropos(1) read "name - what it is".
    EXPECT_EQ(page.name.rfind(std::string(name) + " - ", 0), 0u) << page.name;
  }
}

TEST_F(ManPageTest, GroffReadsThePagesWithoutWarnings) {
  if (access("/usr/bin/groff", X_OK) != 0) GTEST_SKIP() << "no groff here";
  for (const char* name : {"tarn", "tarn-cli", "courel", "almanor"}) {
    SCOPED_TRACE(name);
    const Outcome o = RunProgram({"/usr/bin/groff", "-man", "-ww", "-z", PagePath(name)}, dir_);
    EXPECT_EQ(o.exit, 0);
    EXPECT_EQ(o.output, "");
  }
}

TEST(OptionsIn, FindsOptionsAndNothingElse) {
  const std::string text =
      "usage: tool [-v] [--log FILE] -f SCRIPT (- reads standard input)\n"
      "  --passive, --active data connections; --no-accept-... clears\n"
      "  courel -HOST[:PORT] -SENDER ${XDG_DATA_HOME:-~/.local/share} e-mail x86-64\n"
      "  [--daily|--weekly] --type=ascii -h,--help\n";
  EXPECT_EQ(OptionsIn(text), (std::set<std::string>{"-v", "--log", "-f", "--passive", "--active",
                                                     "--daily", "--weekly", "--type", "-h", "--help"}));
  EXPECT_EQ(Plain(R"(.BR \-h ", " \-\-help)"), "-h ,  --help");
  EXPECT_EQ(Plain(R"(\fB\-\-add\fR \fIfile\fR [\fB\-\-stop\fR])"), "--add file [--stop]");
}

}  // namespace
