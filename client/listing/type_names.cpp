#include "client/listing/type_names.h"

#include <fstream>
#include <sstream>

#include "client/listing/host_types.h"

namespace tarn::listing {

namespace {

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string DecodeXmlText(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '&') {
      out += s[i];
      continue;
    }
    static constexpr struct {
      std::string_view entity;
      char ch;
    } kEntities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    bool done = false;
    for (const auto& e : kEntities) {
      if (s.substr(i, e.entity.size()) == e.entity) {
        out += e.ch;
        i += e.entity.size() - 1;
        done = true;
        break;
      }
    }
    if (!done) out += '&';
  }
  return out;
}

// A type name safe to use as a path below the MIME directory.
bool PlainTypeName(const std::string& type) {
  const size_t slash = type.find('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == type.size()) return false;
  if (type.find('/', slash + 1) != std::string::npos) return false;
  if (type.find("..") != std::string::npos) return false;
  for (char c : type)
    if (static_cast<unsigned char>(c) < 0x21) return false;
  return true;
}

}  // namespace

MimeTypeNames::MimeTypeNames(std::string mimeDir) : dir_(std::move(mimeDir)) {}

void MimeTypeNames::LoadGlobs() {
  loaded_ = true;
  std::ifstream in(dir_ + "/globs2");
  std::string line;
  while (std::getline(in, line)) {
    // weight:type:glob[:flags[:...]]
    //   50:text/plain:*.txt
    //   50:text/x-c++src:*.C:cs
    if (line.empty() || line[0] == '#') continue;
    const size_t a = line.find(':');
    const size_t b = a == std::string::npos ? a : line.find(':', a + 1);
    if (b == std::string::npos) continue;
    const size_t c = line.find(':', b + 1);
    const std::string glob = line.substr(b + 1, c == std::string::npos ? c : c - b - 1);
    const std::string flags = c == std::string::npos ? "" : line.substr(c + 1);
    if (glob.size() < 3 || glob.compare(0, 2, "*.") != 0) continue;
    const std::string ext = glob.substr(2);
    if (ext.find_first_of("*?[.") != std::string::npos) continue;
    Glob g;
    try {
      g.weight = std::stoi(line.substr(0, a));
    } catch (...) {
      continue;
    }
    g.type = line.substr(a + 1, b - a - 1);
    const bool cs = flags.find("cs") != std::string::npos;
    auto& map = cs ? caseSensitive_ : caseInsensitive_;
    Glob& slot = map[cs ? ext : LowerAscii(ext)];
    if (g.weight > slot.weight) slot = std::move(g);
  }
}

std::string MimeTypeNames::CommentOf(const std::string& type) {
  auto it = byType_.find(type);
  if (it != byType_.end()) return it->second;
  std::string comment = type;
  if (PlainTypeName(type)) {
    std::ifstream in(dir_ + "/" + type + ".xml");
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string xml = ss.str();
    // The untranslated comment is the one element written without
    // attributes: <comment>plain text document</comment>
    const size_t open = xml.find("<comment>");
    if (open != std::string::npos) {
      const size_t from = open + 9;
      const size_t close = xml.find("</comment>", from);
      if (close != std::string::npos) {
        std::string text = DecodeXmlText(std::string_view(xml).substr(from, close - from));
        if (!text.empty()) comment = std::move(text);
      }
    }
  }
  byType_.emplace(type, comment);
  return comment;
}

std::string MimeTypeNames::ForExtension(std::string_view ext) {
  if (ext.empty()) return std::string();
  std::lock_guard<std::mutex> lock(mu_);
  const std::string key(ext);
  auto cached = byExt_.find(key);
  if (cached != byExt_.end()) return cached->second;
  if (!loaded_) LoadGlobs();
  const Glob* best = nullptr;
  if (auto it = caseSensitive_.find(key); it != caseSensitive_.end()) best = &it->second;
  if (auto it = caseInsensitive_.find(LowerAscii(key)); it != caseInsensitive_.end())
    if (!best || it->second.weight > best->weight) best = &it->second;
  std::string answer = best ? CommentOf(best->type) : std::string();
  byExt_.emplace(key, answer);
  return answer;
}

std::string TypeTextForName(std::string_view name, int32_t serverType, TypeNames* names) {
  const size_t dot = name.rfind('.');
  const std::string_view ext =
      dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
  if (!ext.empty() && names) {
    std::string friendly = names->ForExtension(ext);
    if (!friendly.empty()) return friendly;
  }
  if (serverType == SERVER_UNIX && name.find("->") != std::string_view::npos)
    return "Symbolic Link";
  if (ext.empty()) return "File";
  return std::string(ext) + " File";
}

}  // namespace tarn::listing
