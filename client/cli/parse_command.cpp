#include "client/cli/parse_command.h"

#include <ctime>
#include <fstream>
#include <sstream>

#include "client/cli/console_ui.h"
#include "client/engine/ftp_conn.h"
#include "client/listing/file_time.h"
#include "client/listing/generic_parser.h"
#include "client/listing/listing_thread.h"
#include "client/listing/mainframe_parsers.h"
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

// The words after "parse", read.
struct ParseCommandOptions {
  std::string file;
  std::string directory = "/";
  bool directoryGiven = false;
  std::string mimeDir = "/usr/share/mime";
  int32_t serverType = SERVER_UNIX;
  int32_t family = HOST_GENERIC;
  int32_t kind = listing::kKindDatasetLevel;
  int32_t vseKind = listing::kVseViewDirectory;
  int32_t recordLength = 0;
  listing::NameCase nameCase = listing::NameCase::kAsIs;
  bool pinnedLocale = false;
};

// Reads the options; false with the error (and the usage) in `*why`.
bool ReadParseOptions(const std::vector<std::string>& args, ParseCommandOptions* o, std::string* why) {
  auto fail = [&](const std::string& text) {
    *why = text;
    return false;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--host" && hasValue) {
      const std::string& v = args[++i];
      if (v == "unix") o->serverType = SERVER_UNIX;
      else if (v == "microsoft") o->serverType = SERVER_MICROSOFT;
      else if (v == "netware") o->serverType = SERVER_NETWARE;
      else if (v == "mvs") o->serverType = SERVER_MVS, o->family = HOST_MVS;
      else if (v == "vm") o->serverType = SERVER_VM, o->family = HOST_VM;
      else if (v == "vse") o->serverType = SERVER_VSE, o->family = HOST_VSE;
      else return fail("parse: unknown host type \"" + v + "\"\n" + kUsage);
    } else if (a == "--dir" && hasValue) {
      o->directory = args[++i];
      o->directoryGiven = true;
    } else if ((a == "--kind" || a == "--vse-kind" || a == "--lrecl") && hasValue) {
      int32_t* into = a == "--kind" ? &o->kind : a == "--vse-kind" ? &o->vseKind : &o->recordLength;
      if (!SmallNumber(args[++i], into))
        return fail("parse: " + a + " takes a number\n" + std::string(kUsage));
    } else if (a == "--case" && hasValue) {
      const std::string& v = args[++i];
      if (v != "A" && v != "C" && v != "U" && v != "L")
        return fail("parse: the case rule is one of A, C, U, L\n" + std::string(kUsage));
      o->nameCase = listing::NameCaseFromFlag(v);
    } else if (a == "--locale" && hasValue) {
      if (args[++i] != "C") return fail("parse: the only pinned locale is C\n" + std::string(kUsage));
      o->pinnedLocale = true;
    } else if (a == "--mime" && hasValue) {
      o->mimeDir = args[++i];
    } else if (o->file.empty() && !a.empty() && a[0] != '-') {
      o->file = a;
    } else {
      return fail(kUsage);
    }
  }
  if (o->file.empty()) return fail(kUsage);
  return true;
}

// A mainframe listing through the parser the listing thread would pick for
// a directory of this kind or view, over the same dispatch.
bool ParseMainframe(const std::string& text, ParseCommandOptions o, listing::TypeNames* typeNames,
                    Ui* ui, const platform::Locale& locale, std::FILE* out) {
  if (!o.directoryGiven) o.directory = o.family == HOST_VSE ? "\\" : "";
  listing::ListingContext ctx;
  ctx.path.hostFamily = o.family;
  ctx.path.serverType = o.serverType;
  ctx.path.rootString = o.family == HOST_VSE ? "." : "";
  ctx.typeNames = typeNames;
  ctx.nameCase = o.nameCase;
  listing::ParseContext pc;
  pc.directory = o.directory;
  pc.recordLength = o.recordLength;
  const listing::ParserChoice choice = listing::ChooseParser(o.family, o.kind, o.vseKind, o.directory);
  const listing::ParseOutcome outcome = listing::ParseListingText(choice, text, pc, &ctx, ui);
  PrintMainframeRows(ctx.listing, o.family, locale, out);
  return !outcome.outOfMemory;
}

// A UNIX, Windows or NetWare listing through the generic parser, its years
// guessed from the local time now.
bool ParseGeneric(const std::string& text, const ParseCommandOptions& o, listing::TypeNames* typeNames,
                  Ui* ui, const platform::Locale& locale, std::FILE* out) {
  listing::GenericParseRequest req;
  req.serverType = o.serverType;
  req.directory = o.directory;
  req.nameCase = o.nameCase;
  req.now = listing::PartsFromTm(platform::LocalTime(static_cast<int64_t>(std::time(nullptr))));
  req.typeNames = typeNames;
  req.ui = ui;
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

}  // namespace

bool RunParseCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  ParseCommandOptions o;
  std::string why;
  if (!ReadParseOptions(args, &o, &why)) {
    std::fprintf(err, "%s\n", why.c_str());
    return false;
  }
  std::ifstream in(o.file, std::ios::binary);
  if (!in) {
    std::fprintf(err, "%s\n", (o.file + ": cannot be opened").c_str());
    return false;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string text = ss.str();

  const platform::Locale locale = o.pinnedLocale ? platform::PinnedLocale() : platform::UserLocale();
  listing::MimeTypeNames typeNames(o.mimeDir);
  ConsoleUi ui(err, nullptr, false);
  if (o.family != HOST_GENERIC) return ParseMainframe(text, o, &typeNames, &ui, locale, out);
  return ParseGeneric(text, o, &typeNames, &ui, locale, out);
}

}  // namespace tarn::cli
