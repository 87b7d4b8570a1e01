#include "client/cli/parse_command.h"

#include <ctime>
#include <fstream>
#include <sstream>

#include "client/cli/console_ui.h"
#include "client/engine/ftp_conn.h"
#include "client/listing/file_time.h"
#include "client/listing/generic_parser.h"
#include "client/listing/text_rules.h"
#include "client/listing/type_names.h"
#include "platform/locale.h"

namespace tarn::cli {

namespace {

constexpr const char* kUsage =
    "usage: parse FILE [--host unix|microsoft|netware] [--dir PATH] [--case A|C|U|L] "
    "[--locale C] [--mime DIR]";

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

}  // namespace

bool RunParseCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  std::string file, directory = "/", mimeDir = "/usr/share/mime";
  int32_t serverType = SERVER_UNIX;
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
      else return fail("parse: unknown host type \"" + v + "\"\n" + kUsage);
    } else if (a == "--dir" && hasValue) {
      directory = args[++i];
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
