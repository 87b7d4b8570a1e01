// tarn-cli parse: reads a saved LIST reply from a file and prints the rows
// the generic parser makes of it, without any server.
//
//   tarn-cli parse FILE [--host unix|microsoft|netware] [--dir PATH]
//                       [--case A|C|U|L] [--locale C] [--mime DIR]
//
// One line per row, tab-separated: name, path, isDirectory (0/1), size
// text, size in bytes, type text, modified as YYYY-MM-DD HH:MM (empty when
// not listed), kind (the MVS kind code; 1 for rows of other hosts). Rows
// come in listing order. Control characters in names are written as \xNN
// so that a hostile name cannot break the line or reach the terminal.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace tarn::cli {

// `args` are the words after "parse". Rows go to `out`, usage errors and
// boxes to `err`. True when the file was read and parsed.
bool RunParseCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace tarn::cli
