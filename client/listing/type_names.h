// Type names of listed files: the "Type" column of generic and VM rows.
//
// The rule (TypeTextForName): the friendly name the desktop gives the
// name's extension (the text after the last "."); failing that, on a UNIX
// server, "Symbolic Link" for a name holding "->"; otherwise the extension
// followed by " File", or "File" for a name without extension.
//
// Where the friendly names come from sits behind TypeNames: the Qt shell may
// answer from QMimeDatabase; Qt-free code and tests use MimeTypeNames, which
// reads the shared MIME database of the system.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarn::listing {

class TypeNames {
 public:
  virtual ~TypeNames() = default;
  // The friendly type name of files with extension `ext` (without the dot,
  // as listed), or "" when the desktop knows none. May be called from any
  // thread; implementations cache, since a listing asks once per row.
  virtual std::string ForExtension(std::string_view ext) = 0;
};

// Reads <mimeDir>/globs2 once, on the first lookup, for the simple globs
// "*.ext" (the highest weight wins; a glob marked "cs" matches only its own
// case), and for each type found the <comment> without xml:lang of
// <mimeDir>/<media>/<subtype>.xml; a type without a comment gives its own
// name ("text/x-foo"). Every answer is cached per extension, so a listing
// of 100,000 rows reads each file at most once. Missing files give "".
class MimeTypeNames : public TypeNames {
 public:
  explicit MimeTypeNames(std::string mimeDir = "/usr/share/mime");
  std::string ForExtension(std::string_view ext) override;

 private:
  struct Glob {
    int weight = -1;
    std::string type;
  };
  void LoadGlobs();
  std::string CommentOf(const std::string& type);

  std::string dir_;
  std::mutex mu_;
  bool loaded_ = false;
  std::unordered_map<std::string, Glob> caseSensitive_;    // exact extension
  std::unordered_map<std::string, Glob> caseInsensitive_;  // lower-cased
  std::unordered_map<std::string, std::string> byType_;    // type -> comment
  std::unordered_map<std::string, std::string> byExt_;     // answers given
};

// The type text of a file row; `names` may be null (fall-backs only).
// `serverType` is a SERVER_* value. The text is not cut here.
std::string TypeTextForName(std::string_view name, int32_t serverType, TypeNames* names);

}  // namespace tarn::listing
