// The .reg importer under fuzz: the input is the file's bytes. Whatever it
// takes must come out again: its export imports without a warning, gives
// the same text a second time, and reads the same in its UTF-16 form.
#include <string>

#include "platform/reg_file.h"
#include "tests/fuzz/fuzz_target.h"
#include "tests/fuzz/memory_registry.h"

namespace {

std::string ExportAll(platform::Registry& reg) {
  std::string text, error;
  FUZZ_CHECK(platform::ExportRegText(reg, "", &text, &error));
  return text;
}

}  // namespace

TARN_FUZZ_TARGET(reg_import) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  tarn::fuzz::MemoryRegistry reg;
  const std::string empty = ExportAll(reg);
  platform::RegImportReport report;
  std::string error;
  const bool ok = platform::ImportRegText(reg, bytes, &report, &error);
  FUZZ_CHECK(report.keyPaths.size() == static_cast<size_t>(report.keys));
  const std::string exported = ExportAll(reg);
  if (!ok) {
    // A refused file writes nothing (the memory store never fails).
    FUZZ_CHECK(!error.empty());
    FUZZ_CHECK(exported == empty);
    return 0;
  }

  tarn::fuzz::MemoryRegistry again;
  platform::RegImportReport againReport;
  FUZZ_CHECK(platform::ImportRegText(again, exported, &againReport, &error));
  FUZZ_CHECK(againReport.warnings.empty());
  FUZZ_CHECK(ExportAll(again) == exported);

  tarn::fuzz::MemoryRegistry wide;
  FUZZ_CHECK(platform::ImportRegText(wide, platform::RegTextToUtf16(exported), nullptr, &error));
  FUZZ_CHECK(ExportAll(wide) == exported);
  return 0;
}
