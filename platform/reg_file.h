// The Windows registry's text export format (.reg), so that people can bring
// their sessions over from a Windows installation and back up their settings.
/*
   Windows Registry Editor Version 5.00

   [HKEY_CURRENT_USER\Software\Ostravel\Tarn\Sessions\Home]
   "HostName"="ftp.example.org"
   "RandomInitData"=hex:51,2a,33,7e,\
     44,20
   "Old"=-

   [-HKEY_CURRENT_USER\Software\Ostravel\Tarn\Sessions\Gone]
*/
// Import reads UTF-16LE files (as the Windows editor writes them, with their
// byte-order mark) and 8-bit files, "REGEDIT4" as well as version 5.00, CR LF
// or LF line ends. Only keys under HKEY_CURRENT_USER (or HKCU) are taken;
// others are skipped with a warning.
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"

namespace platform {

struct RegImportReport {
  int keys = 0;            // keys created or opened
  int values = 0;          // values written
  int deletions = 0;       // keys and values deleted
  std::vector<std::string> warnings;  // "line N: ..." for lines skipped
  // Paths (below HKEY_CURRENT_USER, spelled as in the file) of the keys
  // created or opened and of the keys deleted, in file order, so that a
  // caller can bring lists kept beside the keys up to date.
  std::vector<std::string> keyPaths;
  std::vector<std::string> deletedKeyPaths;
};

// Applies a .reg file's content to the registry. Returns false with `*error`
// when the text is not a .reg file at all ("line N: ..."), when the store
// fails ("line N: ..."), or when every line after the header was refused
// (nothing is then written). Otherwise lines it cannot use are skipped and
// reported as warnings, and the rest is applied: a caller that must not
// take part of a file checks `warnings`.
bool ImportRegText(Registry& reg, const std::string& bytes, RegImportReport* report,
                   std::string* error);

// Writes the key at `path` (the root when empty) with all its subkeys as
// version 5.00 text (UTF-8, no byte-order mark) with CR LF line ends. Key
// names keep their stored spelling. Returns false with `*error` when the key
// does not exist or the store fails.
bool ExportRegText(Registry& reg, const std::string& path, std::string* out, std::string* error);

// ExportRegText gives UTF-8 text; this turns it into UTF-16LE with a
// byte-order mark, the form the Windows editor writes and reads without
// mistaking non-ASCII letters. ImportRegText reads either form.
std::string RegTextToUtf16(const std::string& text);

}  // namespace platform
