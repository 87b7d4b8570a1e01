#include "tests/fuzz/listing_harness.h"

#include <string>
#include <string_view>

#include "client/engine/ftp_conn.h"
#include "client/listing/generic_parser.h"
#include "client/listing/host_tree.h"
#include "client/listing/listing_model.h"
#include "client/listing/mainframe_parsers.h"
#include "client/listing/row_sort.h"
#include "client/listing/text_rules.h"
#include "client/listing/type_names.h"
#include "platform/locale.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/fuzz_target.h"
#include "tests/support/scripted_ui.h"

namespace tarn::fuzz {

namespace {

using namespace tarn::listing;

// A few friendly type names without reading the desktop's database, so that
// both branches of the type rule run and no file is read per input.
class FixedTypeNames : public TypeNames {
 public:
  std::string ForExtension(std::string_view ext) override {
    if (EqualsNoCase(ext, "txt")) return "Text Document";
    if (EqualsNoCase(ext, "exec")) return "";
    return ext.size() == 1 ? "Single Letter File" : "";
  }
};

constexpr NameCase kNameCases[] = {NameCase::kAsIs, NameCase::kCapitalized, NameCase::kUpper,
                                   NameCase::kLower};
constexpr int32_t kRecordLengths[] = {0, 1, 80, 255, 32760, 65535, 2147483647, -1,
                                      133, 4096, 7, 0, 80, 80, 1024, 3};

// The date the parsers take as "now": a fixed day, so that a replayed input
// parses as it did when it was found.
DateParts FixedNow() {
  DateParts now;
  now.year = 2024;
  now.month = 3;
  now.day = 1;
  now.hour = 12;
  return now;
}

// A listed time is a real date, or 0.
void CheckTime(FileTime t) {
  if (t == 0) return;
  DateParts d;
  FUZZ_CHECK(PartsFromFileTime(t, &d));
  FUZZ_CHECK(IsValidDate(d));
}

// `directory`: the rows' paths begin with it (generic listings), or empty.
void CheckRows(const HostListing& listing, const platform::Locale& locale,
               std::string_view directory) {
  for (const RemoteEntry& e : listing.rows()) {
    // A name that must not become a local file name is marked as such.
    if (!IsSafeLocalName(listing.Name(e))) FUZZ_CHECK(e.flags & kRowUnsafeLocalName);
    if (!directory.empty()) FUZZ_CHECK(listing.Path(e).substr(0, directory.size()) == directory);
    CheckTime(e.modified);
    FUZZ_CHECK(listing.Name(e).size() < kNameCapacity);
    FUZZ_CHECK(listing.Path(e).size() < kPathCapacity);
    FUZZ_CHECK(listing.TypeText(e).size() < kTypeTextCapacity);
    for (size_t i = 0; i < e.cellCount; ++i) FUZZ_CHECK(listing.Cell(e, i).size() < kPathCapacity);
    (void)RowSizeText(e, locale);
    (void)RowDateText(listing, e, locale);
    (void)IsSafeLocalName(listing.Name(e));
    (void)MvsRowText(listing, e);
    (void)MvsLocalName(listing.Path(e));
  }
  for (const VseEntry& e : listing.vseRows()) {
    if (!IsSafeLocalName(listing.Name(e))) FUZZ_CHECK(e.flags & kRowUnsafeLocalName);
    FUZZ_CHECK(listing.Name(e).size() < kVseNameCapacity);
    FUZZ_CHECK(listing.Path(e).size() < kPathCapacity);
    FUZZ_CHECK(listing.TypeText(e).size() < kVseTypeTextCapacity);
    for (size_t i = 0; i < e.cellCount; ++i) FUZZ_CHECK(listing.Cell(e, i).size() < kPathCapacity);
    (void)IsSafeLocalName(listing.Name(e));
  }
}

// Sorting by every column in both directions must order the rows as
// CompareRows says, and keep every row.
void CheckSorts(HostListing* listing) {
  const size_t count = listing->size();
  for (int column = 0; column < 4; ++column) {
    for (int direction : {1, -1}) {
      for (bool fullPaths : {false, true}) {
        SortRows(listing, column, direction, fullPaths);
        FUZZ_CHECK(listing->size() == count);
        const auto& rows = listing->rows();
        for (size_t i = 1; i < rows.size(); ++i) {
          const RemoteEntry& a = rows[i - 1];
          const RemoteEntry& b = rows[i];
          const int ab = CompareRows(*listing, a, b, column, direction, fullPaths);
          const int ba = CompareRows(*listing, b, a, column, direction, fullPaths);
          FUZZ_CHECK(ab <= 0);
          FUZZ_CHECK((ab < 0) == (ba > 0) && (ab == 0) == (ba == 0));
          // Two different names never compare equal.
          FUZZ_CHECK((CompareNames(listing->Name(a), listing->Name(b)) == 0) ==
                     (listing->Name(a) == listing->Name(b)));
        }
      }
    }
  }
  const size_t vseCount = listing->vseRows().size();
  for (int direction : {1, -1}) {
    SortVseRows(listing, direction);
    FUZZ_CHECK(listing->vseRows().size() == vseCount);
  }
}

}  // namespace

int RunListingHarness(ListingDialect dialect, const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint8_t options = in.Byte();
  const std::string_view text = in.Rest();

  FixedTypeNames typeNames;
  HostTree tree;
  TreeNode rootRecord;
  rootRecord.path = "/";
  const NodeId root = tree.Insert(kNoNode, kInsertRoot, rootRecord, "/", kIconFolder);
  HostListing listing;
  testing::ScriptedUi ui;
  const size_t memoryLimit =
      dialect == ListingDialect::kMvsMembers ? 0 : static_cast<size_t>(options >> 4) * 16900;
  listing.SetMemoryLimit(memoryLimit);
  const bool addToTree = in.Bit(options, 0);
  const NameCase nameCase = kNameCases[(options >> 1) & 3];
  ParseOutcome outcome;

  switch (dialect) {
    case ListingDialect::kUnix:
    case ListingDialect::kMicrosoft:
    case ListingDialect::kNetWare: {
      GenericParseRequest req;
      req.serverType = dialect == ListingDialect::kUnix        ? SERVER_UNIX
                       : dialect == ListingDialect::kMicrosoft ? SERVER_MICROSOFT
                                                               : SERVER_NETWARE;
      req.directory = "/pub/dir";
      req.rootString = "/";
      req.nameCase = nameCase;
      req.now = FixedNow();
      req.typeNames = &typeNames;
      req.tree = &tree;
      req.node = root;
      req.addToTree = addToTree;
      req.ui = &ui;
      req.log = [](std::string_view) {};
      outcome = ParseGenericListing(text, req, &listing);
      break;
    }
    default: {
      MainframeParseRequest req;
      req.nameCase = nameCase;
      req.typeNames = &typeNames;
      req.tree = &tree;
      req.node = root;
      req.addToTree = addToTree;
      req.ui = &ui;
      req.log = [](std::string_view) {};
      switch (dialect) {
        case ListingDialect::kMvsDatasets:
          req.directory = "USER1";
          outcome = ParseMvsDatasets(text, req, &listing);
          break;
        case ListingDialect::kMvsMembers:
          req.directory = "USER1.CNTL";
          req.kind = in.Bit(options, 3) ? kKindPdsVariable : kKindPdsFixed;
          req.recordLength = kRecordLengths[options >> 4];
          outcome = ParseMvsMembers(text, req, &listing);
          break;
        case ListingDialect::kMvsLoadModules:
          req.directory = "USER1.LOAD";
          req.kind = kKindPdsLoad;
          outcome = ParseMvsLoadModules(text, req, &listing);
          break;
        case ListingDialect::kVm:
          req.directory = "VMSYSU:USER1.";
          outcome = ParseVmListing(text, req, &listing);
          break;
        default:
          req.directory = "\\PRD2.CONFIG";
          req.rootString = ".";
          if (dialect == ListingDialect::kVseDirectory) outcome = ParseVseDirectory(text, req, &listing);
          if (dialect == ListingDialect::kVseLibrary) outcome = ParseVseLibrary(text, req, &listing);
          if (dialect == ListingDialect::kVseSubLibrary) outcome = ParseVseSubLibrary(text, req, &listing);
          if (dialect == ListingDialect::kVsePowerQueue) outcome = ParseVsePowerQueue(text, req, &listing);
          if (dialect == ListingDialect::kVsamCatalog) outcome = ParseVsamCatalog(text, req, &listing);
          if (dialect == ListingDialect::kVtoc) outcome = ParseVtoc(text, req, &listing);
          break;
      }
      break;
    }
  }

  const size_t rows = listing.size() + listing.vseRows().size();
  // Running out of memory is told once, and keeps the rows read so far.
  if (memoryLimit == 0) FUZZ_CHECK(!outcome.outOfMemory);
  FUZZ_CHECK(ui.Boxes().size() == (outcome.outOfMemory ? 1u : 0u));
  if (outcome.outOfMemory) FUZZ_CHECK(ui.BoxCaptions()[0] == kOutOfMemoryCaption);
  FUZZ_CHECK(outcome.rows == rows);
  FUZZ_CHECK(outcome.widestRow == SIZE_MAX || outcome.widestRow < rows);
  FUZZ_CHECK(tree.IsConsistent());
  FUZZ_CHECK(tree.size() == 1 + outcome.nodes);
  if (!addToTree) FUZZ_CHECK(outcome.nodes == 0);

  const platform::Locale locale = platform::PinnedLocale();
  const bool generic = dialect == ListingDialect::kUnix || dialect == ListingDialect::kMicrosoft ||
                       dialect == ListingDialect::kNetWare;
  CheckRows(listing, locale, generic ? "/pub/dir/" : "");
  CheckSorts(&listing);
  return 0;
}

}  // namespace tarn::fuzz
