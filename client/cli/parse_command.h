// tarn-cli parse: reads a saved LIST reply from a file and prints the rows
// the parser of that host makes of it, without any server.
//
//   tarn-cli parse FILE [--host unix|microsoft|netware|mvs|vm|vse] [--dir PATH]
//                       [--case A|C|U|L] [--locale C] [--mime DIR]
//                       [--kind N] [--vse-kind N] [--lrecl N]
//
// One line per row, tab-separated: name, path, isDirectory (0/1), size
// text, size in bytes, type text, modified as YYYY-MM-DD HH:MM (empty when
// not listed), kind (the MVS kind code; the VSE view code opening a VSE
// row, 0 for a plain entry; 1 for rows of other hosts). Rows come in
// listing order; VSE rows sorted as the host view sorts them. Control
// characters in names are written as \xNN so that a hostile name cannot
// break the line or reach the terminal.
//
// Mainframe rows go on with their own cells:
//   MVS datasets     Volume, Unit, Referred, Ext, Used, Recfm, Lrecl, BlkSz, Dsorg
//   MVS members      ID, VV.MM
//   MVS load modules TTR, Alias-of, AC, Attributes, Amode, Rmode
//   VSE              the view's columns after the name
// --kind is the directory's MVS kind (2 dataset level, the default; 4 or 5
// members of a PDS with fixed or variable records; 6 load library);
// --vse-kind the VSE view (11 directory, the default, to 16 VTOC); --lrecl
// the PDS's record length (0: 80). --dir defaults to "" (MVS, VM) or "\\"
// (VSE).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace tarn::cli {

// `args` are the words after "parse". Rows go to `out`, usage errors and
// boxes to `err`. True when the file was read and parsed.
bool RunParseCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace tarn::cli
