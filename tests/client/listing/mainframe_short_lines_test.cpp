// Every prefix of a full mainframe listing line, each in a buffer of
// exactly its own length, through every mainframe parser: a parser that
// reads a fixed column past the end of a short line reads outside the
// buffer, which the sanitizer build reports.
#include <gtest/gtest.h>

#include <memory>

#include "client/listing/mainframe_parsers.h"

namespace tarn::listing {
namespace {

using Parser = ParseOutcome (*)(std::string_view, const MainframeParseRequest&, HostListing*);

ParseOutcome Datasets(std::string_view text, const MainframeParseRequest& req, HostListing* out) {
  return ParseMvsDatasets(text, req, out);
}

TEST(MainframeShortLines, NoParserReadsPastTheEndOfALine) {
  const struct {
    const char* name;
    Parser parser;
    const char* line;
  } cases[] = {
      {"datasets", Datasets, "WORK01 3390   2002/12/19  1   15  FB      80  6160  PO  CNTL"},
      {"datasets", Datasets, "ARCH01 Not Direct Access Device                         TAPE.COPY"},
      {"members", ParseMvsMembers,
       "ALLOCJCL  01.03 2002/12/01 2002/12/19 10:15   120   100     5 USER1     MORE TEXT"},
      {"load modules", ParseMvsLoadModules,
       "IEFBR14   000A10 00000F PAYROLL  00 FO             RN RU            31    ANY  EXTRA"},
      {"vm", ParseVmListing,
       "PROFILE  EXEC     V         68          9          1 2002-12-19 10:15:30 - VMSYSU"},
      {"vse directory", ParseVseDirectory, "PRD2       <LIBRARY>          "},
      {"vse library", ParseVseLibrary, "CONFIG     <SUB LIBRARY>     12     34  2002-12-19  10:15"},
      {"vse sub-library", ParseVseSubLibrary,
       "IPLPROC.PROC      120      3  2002-12-19  10:15             2002-12-20  11:00  F"},
      {"vse power", ParseVsePowerQueue, "PAYROLL1     1200     24    2400  3  D  USER1"},
      {"vsam", ParseVsamCatalog, "PROD.KSDS.CLUSTER  2002-12-19  10:15     1500  KSDS"},
      {"vtoc", ParseVtoc, "PROD.SEQ.FILE  2002-12-19  10:15     80  SEQUENTIAL"},
  };
  for (const auto& c : cases) {
    const std::string_view full = c.line;
    for (size_t n = 0; n <= full.size(); ++n) {
      SCOPED_TRACE(std::string(c.name) + ": " + std::string(full.substr(0, n)));
      std::unique_ptr<char[]> exact(new char[n == 0 ? 1 : n]);
      std::copy_n(full.data(), n, exact.get());
      MainframeParseRequest req;
      req.directory = "DIR";
      req.kind = kKindPdsFixed;
      HostListing out;
      const ParseOutcome o = c.parser(std::string_view(exact.get(), n), req, &out);
      EXPECT_LE(out.size() + out.vseRows().size(), 1u);
      EXPECT_FALSE(o.outOfMemory);
    }
  }
}

}  // namespace
}  // namespace tarn::listing
