#include "client/listing/path_rules.h"

#include <algorithm>

#include "client/listing/mainframe_parsers.h"

namespace tarn::listing {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

size_t LastSeparator(std::string_view s) { return s.find_last_of("/\\"); }

void ReplaceAll(std::string* s, char from, char to) { std::replace(s->begin(), s->end(), from, to); }

std::string WithoutQuotes(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s)
    if (c != '\'' && c != '"') out += c;
  return out;
}

bool HasWildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

PathSplit Whole(std::string_view base) {
  PathSplit r;
  r.directory.assign(base);
  r.fullPath.assign(base);
  return r;
}

// Generic and VSE hosts.
PathSplit SplitSeparated(std::string_view root, std::string_view base, std::string_view typed) {
  PathSplit r;
  const bool absolute = IsSeparator(typed[0]) ||
                        (typed.size() >= 2 && typed[1] == ':' &&
                         ((typed[0] >= 'A' && typed[0] <= 'Z') || (typed[0] >= 'a' && typed[0] <= 'z')));
  if (absolute) {
    r.fullPath.assign(typed);
  } else {
    // Relative to the base, joined as names are: no second separator after
    // a base that already ends in one ("/" + "pub" is "/pub", not "//pub").
    r.fullPath.assign(base);
    if (base.empty() || !IsSeparator(base.back())) r.fullPath.append(root);
    r.fullPath.append(typed);
  }
  if (HasWildcard(r.fullPath)) {
    const size_t sep = LastSeparator(r.fullPath);
    if (sep == std::string::npos) {
      r.directory.assign(base);
      r.mask.assign(typed);
    } else {
      r.mask = r.fullPath.substr(sep + 1);
      r.directory = sep == 0 ? std::string(root) : r.fullPath.substr(0, sep);
    }
    if (r.mask != "*.*" && r.mask != "*") r.image = kIconFilteredFolder;
  } else {
    r.directory = r.fullPath;
  }
  const bool slashes = root == "/";
  for (std::string* s : {&r.directory, &r.fullPath, &r.mask})
    slashes ? ReplaceAll(s, '\\', '/') : ReplaceAll(s, '/', '\\');
  return r;
}

PathSplit SplitMvs(std::string_view base, std::string_view typedIn, Ui* ui) {
  const std::string typed = WithoutQuotes(typedIn);
  if (typed.empty()) return Whole(base);
  PathSplit r;
  r.fullPath = typed;
  const size_t open = typed.find('(');
  if (open != std::string::npos) {
    // DSN(MEMBER)
    const size_t close = typed.find(')', open);
    r.directory = typed.substr(0, open);
    const std::string member =
        typed.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
    if (member != "*") r.mask = member;
  } else if (typed.find('*') != std::string::npos) {
    const size_t dot = typed.rfind('.');
    if (dot == std::string::npos) {
      if (ui) ui->MessageBox(kHlqWildcardText, kHlqWildcardCaption, BoxButtons::kOk, BoxIcon::kWarning);
      PathSplit refused = Whole(base);
      refused.refused = true;
      return refused;
    }
    r.directory = typed.substr(0, dot);
    const std::string last = typed.substr(dot + 1);
    if (last != "*") r.mask = last;
  } else {
    r.directory = typed;
  }
  if (!r.mask.empty()) r.image = kIconFilteredFolder;
  return r;
}

PathSplit SplitVm(std::string_view base, std::string_view typedIn) {
  std::string typed = WithoutQuotes(typedIn);
  if (!typed.empty() && typed.back() == ')') typed.pop_back();
  if (typed.empty()) return Whole(base);
  PathSplit r;
  r.fullPath = typed;
  const size_t sep = typed.find_first_of("(/\\");
  if (sep != std::string::npos) {
    r.directory = typed.substr(0, sep);
    r.mask = typed.substr(sep + 1);
  } else if (typed.find('*') != std::string::npos) {
    r.directory.assign(base);
    r.mask = typed;
  } else {
    r.directory = typed;
  }
  if (r.mask.find('*') != std::string::npos && r.mask != "*") r.image = kIconFilteredFolder;
  return r;
}

}  // namespace

bool NeedsCwd(const PathState& s, std::string_view directory) {
  return !EqualsNoCase(s.currentDir, directory);
}

std::string CwdArgument(int32_t hostFamily, std::string_view directory) {
  std::string arg;
  if (hostFamily != HOST_MVS) return arg.assign(directory);
  arg.reserve(directory.size() + 2);
  arg.push_back('\'');
  arg.append(directory);
  arg.push_back('\'');
  return arg;
}

std::string ParentDirectory(int32_t hostFamily, std::string_view root, std::string_view directory) {
  switch (hostFamily) {
    case HOST_MVS: {
      const size_t dot = directory.rfind('.');
      return dot == std::string_view::npos ? std::string() : std::string(directory.substr(0, dot));
    }
    case HOST_GENERIC: {
      if (directory.size() < 2 || root.empty()) return std::string();
      const size_t last = directory.rfind(root[0]);
      if (last == std::string_view::npos) return std::string();
      if (last == 0) return std::string(root);
      return std::string(directory.substr(0, last));
    }
    default:
      return std::string();
  }
}

void EnterDirectory(PathState* s, std::string_view directory) {
  s->currentDir.assign(directory);
  s->parentDir = ParentDirectory(s->hostFamily, s->rootString, s->currentDir);
}

PathStyleChange PathStyleFromPwd(const PathState& s, std::string_view pwdReply) {
  if (s.systemCode != SYSTEM_MVS) return PathStyleChange::kNone;
  const bool slash = pwdReply.find('/') != std::string_view::npos;
  if (slash && s.hostFamily == HOST_MVS) return PathStyleChange::kToUnix;
  if (!slash && s.hostFamily == HOST_GENERIC) return PathStyleChange::kToMvs;
  return PathStyleChange::kNone;
}

PathStyleChange PathStyleForNodePath(const PathState& s, std::string_view nodePath) {
  if (s.systemCode == SYSTEM_MVS && s.hostFamily == HOST_GENERIC &&
      nodePath.find('/') == std::string_view::npos)
    return PathStyleChange::kToMvs;
  return PathStyleChange::kNone;
}

PathStyleChange PathStyleForTypedPath(const PathState& s, std::string_view typed) {
  if (s.systemCode != SYSTEM_MVS || typed.empty()) return PathStyleChange::kNone;
  if (typed[0] == '/' && s.hostFamily == HOST_MVS) return PathStyleChange::kToUnix;
  if (typed[0] == '\'' && s.hostFamily == HOST_GENERIC) return PathStyleChange::kToMvs;
  return PathStyleChange::kNone;
}

void ApplyPathStyle(PathStyleChange change, PathState* s, Ui* ui) {
  switch (change) {
    case PathStyleChange::kNone:
      return;
    case PathStyleChange::kToUnix:
      s->hostFamily = HOST_GENERIC;
      s->serverType = SERVER_UNIX;
      s->rootString.assign(1, '/');
      if (ui) ui->EnableCommand(UiCommand::kChangePermissions, true);
      return;
    case PathStyleChange::kToMvs:
      s->hostFamily = HOST_MVS;
      s->serverType = SERVER_MVS;
      s->rootString.clear();
      if (ui) ui->EnableCommand(UiCommand::kChangePermissions, false);
      return;
  }
}

int32_t ClassifyMvsDirectory(int32_t kind, std::string_view previousListing) {
  if (kind != kKindDirectory) return kind;
  if (StartsWithNoCase(previousListing, " Name     VV.MM")) return kKindPdsFixed;
  if (StartsWithNoCase(previousListing, " Name      Size   TTR")) return kKindPdsLoad;
  return kKindDatasetLevel;
}

std::string LastPathComponent(int32_t hostFamily, std::string_view path) {
  if (hostFamily == HOST_GENERIC) {
    size_t sep = path.rfind('/');
    if (sep == std::string_view::npos) sep = path.rfind('\\');
    return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
  }
  if (hostFamily == HOST_MVS || hostFamily == HOST_VM) {
    const size_t open = path.rfind('(');
    if (open == std::string_view::npos) return std::string(path);
    const size_t close = path.find(')', open);
    return std::string(path.substr(open + 1, close == std::string_view::npos
                                                 ? std::string_view::npos
                                                 : close - open - 1));
  }
  return std::string(path);
}

PathSplit SplitDirectoryAndMask(int32_t hostFamily, std::string_view root, NameCase nameCase,
                                std::string_view baseIn, std::string_view typed, Ui* ui) {
  std::string base(baseIn);
  if (hostFamily == HOST_MVS) {
    // A quoted dataset name: 'USER.CNTL' -> USER.CNTL; and no trailing ".".
    if (!base.empty() && (base[0] == '\'' || base[0] == '"')) base.erase(0, 1);
    base.resize(std::min(base.size(), base.find_first_of("'\"")));
    if (!base.empty() && base.back() == '.') base.pop_back();
  }
  if (hostFamily != HOST_GENERIC) {
    const size_t skip = !root.empty() && !base.empty() && base[0] == root[0] ? 1 : 0;
    ApplyNameCase(nameCase, base.data() + skip, base.data() + base.size());
  }
  if (typed.empty()) return Whole(base);
  switch (hostFamily) {
    case HOST_MVS: return SplitMvs(base, typed, ui);
    case HOST_VM: return SplitVm(base, typed);
    default: return SplitSeparated(root, base, typed);
  }
}

std::string RootNodeText(std::string_view nodeText, std::string_view root, NameCase nameCase,
                         uint32_t* image) {
  if (nodeText != root) return std::string(nodeText);
  std::string text = std::string(root) + " (Root)";
  if (text.size() > 3) ApplyNameCase(nameCase, text.data() + 3, text.data() + text.size());
  *image = kIconOpenFolder;
  return text;
}

ParserChoice ChooseParser(int32_t hostFamily, int32_t kind, int32_t vseKind,
                          std::string_view directory) {
  ParserChoice c;
  c.kind = kind;
  c.vseKind = vseKind;
  switch (hostFamily) {
    case HOST_VSE:
      if (directory == "\\") c.vseKind = kVseViewDirectory;
      switch (c.vseKind) {
        case kVseViewLibrary: c.parser = ListingParser::kVseLibrary; break;
        case kVseViewSubLibrary: c.parser = ListingParser::kVseSubLibrary; break;
        case kVseViewPowerClass: c.parser = ListingParser::kVsePowerQueue; break;
        case kVseViewVsamCatalog: c.parser = ListingParser::kVsamCatalog; break;
        case kVseViewVtoc: c.parser = ListingParser::kVtoc; break;
        default: c.parser = ListingParser::kVseDirectory; break;
      }
      return c;
    case HOST_MVS:
      if (kind == kKindDatasetLevel) {
        c.parser = ListingParser::kMvsDatasets;
        c.fullPathSort = true;
      } else if (kind == kKindPdsFixed || kind == kKindPdsVariable) {
        c.parser = ListingParser::kMvsMembers;
      } else {
        c.parser = ListingParser::kMvsLoadModules;
      }
      return c;
    case HOST_VM:
      c.parser = ListingParser::kVm;
      return c;
    default:
      return c;
  }
}

}  // namespace tarn::listing
