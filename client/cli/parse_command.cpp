#include "client/cli/parse_command.h"

#include <ctime>
#include <fstream>
#include <sstream>

#include "client/cli/console_ui.h"
#include "client/engine/ftp_conn.h"
#include "client/listing/file_time.h"
#include "client/listing/generic_parser.h"
#include "client/listing/listing_thread.h"
#include "client/listing/parse_dispatch.h"
#include "client/listing/path_rules.h"
#include "client/listing/text_rules.h"
#include "client/listing/type_names.h"
#include "platform/locale.h"

namespace tarn::cli {

namespace {

constexpr const char* kUsage =
    "usage: parse FILE [--host unix|microsoft|netware|mvs|vm|vse] [--dir PATH] [--case A|C|U|L] "
    "[--locale C] [--mime DIR] [--kind N] [--vse-kind N] [--lrecl N]";

// Control characters as \xNN; everything else as it stands.
std::string Printable(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) {
      char buf[5];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out;
}

std::string IsoDate(listing::FileTime ft) {
  listing::DateParts d;
  if (!listing::PartsFromFileTime(ft, &d)) return std::string();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", d.year, d.month, d.day, d.hour,
                d.minute);
  return buf;
}

// A whole non-negative number below 2^31; false for anything else.
bool SmallNumber(const std::string& s, int32_t* out) {
  if (s.empty() || s.size() > 9) return false;
  int32_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *out = v;
  return true;
}

// The rows of a mainframe listing: the eight columns, then the row's own
// cells (MVS: the dataset, member or load-module cells; VSE: the view's
// columns after the name).
void PrintMainframeRows(const listing::HostListing& rows, int32_t family,
                        const platform::Locale& locale, std::FILE* out) {
  auto cells = [&](const auto& e) {
    std::string line;
    for (size_t i = 0; i < e.cellCount; ++i) {
      line += '\t';
      line += Printable(rows.Cell(e, i));
    }
    return line;
  };
  if (family == HOST_VSE) {
    for (const listing::VseEntry& e : rows.vseRows())
      std::fprintf(out, "%s\t%s\t%d\t\t0\t%s\t\t%u%s\n", Printable(rows.Name(e)).c_str(),
                   Printable(rows.Path(e)).c_str(), e.isDirectory ? 1 : 0,
                   Printable(rows.TypeText(e)).c_str(), static_cast<unsigned>(e.vseKind),
                   cells(e).c_str());
    return;
  }
  for (const listing::RemoteEntry& e : rows.rows()) {
    const int kind = family == HOST_MVS ? static_cast<int>(e.image) : listing::kKindDirectory;
    std::fprintf(out, "%s\t%s\t%d\t%s\t%llu\t%s\t%s\t%d%s\n", Printable(rows.Name(e)).c_str(),
                 Printable(rows.Path(e)).c_str(), e.isDirectory ? 1 : 0,
                 listing::SizeText(e.Size(), e.sizeForm, locale).c_str(),
                 static_cast<unsigned long long>(e.Size()), Printable(rows.TypeText(e)).c_str(),
                 IsoDate(e.modified).c_str(), kind, cells(e).c_str());
  }
}

}  // namespace

bool RunParseCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  std::string file, directory = "/", mimeDir = "/usr/share/mime";
  bool directoryGiven = false;
  int32_t serverType = SERVER_UNIX;
  int32_t family = HOST_GENERIC;
  int32_t kind = listing::kKindDatasetLevel, vseKind = 11, recordLength = 0;
  listing::NameCase nameCase = listing::NameCase::kAsIs;
  bool pinnedLocale = false;
  auto fail = [&](const std::string& text) {
    std::fprintf(err, "%s\n", text.c_str());
    return false;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--host" && hasValue) {
      const std::string& v = args[++i];
      if (v == "unix") serverType = SERVER_UNIX;
      else if (v == "microsoft") serverType = SERVER_MICROSOFT;
      else if (v == "netware") serverType = SERVER_NETWARE;
      else if (v == "mvs") serverType = SERVER_MVS, family = HOST_MVS;
      else if (v == "vm") serverType = SERVER_VM, family = HOST_VM;
      else if (v == "vse") serverType = SERVER_VSE, family = HOST_VSE;
      else return fail("parse: unknown host type \"" + v + "\"\n" + kUsage);
    } else if (a == "--dir" && hasValue) {
      directory = args[++i];
      directoryGiven = true;
    } else if ((a == "--kind" || a == "--vse-kind" || a == "--lrecl") && hasValue) {
      int32_t* into = a == "--kind" ? &kind : a == "--vse-kind" ? &vseKind : &recordLength;
      if (!SmallNumber(args[++i], into))
        return fail("parse: " + a + " takes a number\n" + std::string(kUsage));
    } else if (a == "--case" && hasValue) {
      const std::string& v = args[++i];
      if (v != "A" && v != "C" && v != "U" && v != "L")
        return fail("parse: the case rule is one of A, C, U, L\n" + std::string(kUsage));
      nameCase = listing::NameCaseFromFlag(v);
    } else if (a == "--locale" && hasValue) {
      if (args[++i] != "C") return fail("parse: the only pinned locale is C\n" + std::string(kUsage));
      pinnedLocale = true;
    } else if (a == "--mime" && hasValue) {
      mimeDir = args[++i];
    } else if (file.empty() && !a.empty() && a[0] != '-') {
      file = a;
    } else {
      return fail(kUsage);
    }
  }
  if (file.empty()) return fail(kUsage);

  std::ifstream in(file, std::ios::binary);
  if (!in) return fail(file + ": cannot be opened");
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string text = ss.str();

  const platform::Locale locale = pinnedLocale ? platform::PinnedLocale() : platform::UserLocale();
  listing::MimeTypeNames typeNames(mimeDir);
  ConsoleUi ui(err, nullptr, false);
  if (family != HOST_GENERIC) {
    // The parser the listing thread would pick for a directory of this
    // kind or view, over the same dispatch.
    if (!directoryGiven) directory = family == HOST_VSE ? "\\" : "";
    listing::ListingContext ctx;
    ctx.path.hostFamily = family;
    ctx.path.serverType = serverType;
    ctx.path.rootString = family == HOST_VSE ? "." : "";
    ctx.typeNames = &typeNames;
    ctx.nameCase = nameCase;
    listing::ParseContext pc;
    pc.directory = directory;
    pc.recordLength = recordLength;
    const listing::ParserChoice choice = listing::ChooseParser(family, kind, vseKind, directory);
    const listing::ParseOutcome outcome = listing::ParseListingText(choice, text, pc, &ctx, &ui);
    PrintMainframeRows(ctx.listing, family, locale, out);
    return !outcome.outOfMemory;
  }
  listing::GenericParseRequest req;
  req.serverType = serverType;
  req.directory = directory;
  req.nameCase = nameCase;
  req.now = listing::PartsFromTm(platform::LocalTime(static_cast<int64_t>(std::time(nullptr))));
  req.typeNames = &typeNames;
  req.ui = &ui;
  listing::HostListing rows;
  const listing::ParseOutcome outcome = listing::ParseGenericListing(text, req, &rows);

  for (const listing::RemoteEntry& e : rows.rows()) {
    std::fprintf(out, "%s\t%s\t%d\t%s\t%llu\t%s\t%s\t%d\n", Printable(rows.Name(e)).c_str(),
                 Printable(rows.Path(e)).c_str(), e.isDirectory ? 1 : 0,
                 listing::SizeText(e.Size(), e.sizeForm, locale).c_str(),
                 static_cast<unsigned long long>(e.Size()), Printable(rows.TypeText(e)).c_str(),
                 IsoDate(e.modified).c_str(), static_cast<int>(listing::kKindDirectory));
  }
  return !outcome.outOfMemory;
}

}  // namespace tarn::cli
