// Where the suite keeps and finds its files: the program's own directory,
// temporary files, and the per-user configuration, data and state
// directories of the XDG layout.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Directory holding the running program (from /proc/self/exe), without a
// trailing slash; "." when it cannot be read.
std::string ProgramDirectory();

// $TMPDIR or /tmp.
std::string TempDirectory();

// Creates a new empty file "<dir>/<prefix>XXXXXX" (mkstemp) and returns its
// path, or "" with `*error` set to the errno text.
std::string UniqueTempFile(const std::string& dir, const std::string& prefix,
                           std::string* error);

// $TARN_CONFIG_DIR, else ${XDG_CONFIG_HOME:-~/.config}/tarn. Not created.
std::string ConfigDirectory();
// ${XDG_DATA_HOME:-~/.local/share}/tarn and ${XDG_STATE_HOME:-~/.local/state}/tarn.
std::string DataDirectory();
std::string StateDirectory();

// Creates a directory and its parents with `mode`; true when it exists after.
bool MakeDirectories(const std::string& path, unsigned mode = 0700);

// Joins two path pieces with one '/'.
std::string PathJoin(const std::string& a, const std::string& b);

// The last component of a '/'-separated path, trailing '/' ignored:
// "/a/b/" -> "b", "b" -> "b", "/" -> "/".
std::string BaseName(const std::string& path);

// Size and last-write time (seconds since 1970) of a file; false when absent.
bool FileStat(const std::string& path, int64_t* size, int64_t* mtime);

}  // namespace platform
