#include "mailer/report_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mailer/messages.h"
#include "tests/support/temp_dir.h"

namespace mailer {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using tarn::testing::TempDir;
using tarn::testing::WriteFile;

class ReadReportTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& content) {
    const std::string path = dir_.File("report.log");
    WriteFile(path, content);
    return path;
  }
  TempDir dir_{"coureltest", TempDir::Base::kNoDashTmp};
};

TEST_F(ReadReportTest, SplitsLinesByTheLineRule) {
  struct Case {
    std::string content;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"one line, no end", {"one line, no end"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      // A line of CR LF alone is an empty line, wherever it stands.
      {"\r\n", {""}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"a\n\n\nb\n", {"a", "", "", "b"}},
      // Leading CRs before the LF belong to the same (empty) line.
      {"\r\r\na\r\n", {"", "a"}},
      // A lone CR ends the text of its line; the rest up to LF is dropped,
      // as the line rule says.
      {"a\rb\r\nc", {"a", "c"}},
      {"  indented \t\r\n", {"  indented \t"}},
      {".\r\n..\r\n", {".", ".."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.content));
    const Report r = ReadReport(Write(c.content));
    EXPECT_EQ(r.status, ReportStatus::kOk);
    EXPECT_EQ(r.lines, c.lines);
  }
}

TEST_F(ReadReportTest, RefusesLinesLongerThanSmtpCarries) {
  const std::string longest(kMaxLineLength, 'x');
  Report r = ReadReport(Write("first\r\n" + longest + "\r\n"));
  EXPECT_EQ(r.status, ReportStatus::kOk);
  EXPECT_THAT(r.lines, ElementsAre("first", longest));

  const std::string path = Write("first\r\n" + longest + "y\r\nlast\r\n");
  r = ReadReport(path);
  EXPECT_EQ(r.status, ReportStatus::kLineTooLong);
  EXPECT_EQ(r.error, "Line 2 of " + path + " is longer than 998 characters; the report was not sent");
  EXPECT_THAT(r.lines, IsEmpty());
}

TEST_F(ReadReportTest, FileErrorsUseTheStandardTexts) {
  const std::string missing = dir_.File("missing.log");
  Report r = ReadReport(missing);
  EXPECT_EQ(r.status, ReportStatus::kOpenFailed);
  EXPECT_EQ(r.error, missing + " was not found.");

  r = ReadReport(dir_.Path());
  EXPECT_EQ(r.status, ReportStatus::kOpenFailed);
  EXPECT_EQ(r.error, "Access to " + dir_.Path() + " was denied.");

  // A file used as a directory.
  const std::string underFile = Write("x") + "/report.log";
  r = ReadReport(underFile);
  EXPECT_EQ(r.status, ReportStatus::kOpenFailed);
  EXPECT_EQ(r.error, underFile + " contains an invalid path.");
}

}  // namespace
}  // namespace mailer
