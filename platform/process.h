// Starting the suite's other programs and facts about the running process.
#pragma once

#include <string>
#include <vector>

namespace platform {

// How a windowed child should first show itself; a hint, since a window
// manager has the last word. SW_SHOWMINNOACTIVE is kMinimisedNoActivate.
enum class StartHint { kNormal, kMinimised, kNoActivate, kMinimisedNoActivate };

// Starts `argv[0]` (a path, or a name searched on PATH) with the argument
// vector as given, never through a shell. The hint is passed to a windowed
// child as TARN_START_HINT ("minimised", "noactivate" or
// "minimised,noactivate"; absent for kNormal). Returns the child's pid, or
// -1 with `*error` set.
// The child starts with no signal blocked and every signal at its default
// action, whatever mask and dispositions the caller runs with.
// The child is not waited for; it is reaped when it ends. With
// ChildStdio::kNull its standard streams are /dev/null, so that a child that
// runs for hours never holds the caller's pipes open.
enum class ChildStdio { kInherit, kNull };
int StartProgram(const std::vector<std::string>& argv, StartHint hint, std::string* error,
                 ChildStdio stdio = ChildStdio::kInherit);

// "Linux 6.1.0-18-amd64": the kernel's name and release.
std::string KernelNameRelease();

// Full paths of the shared libraries mapped into this process whose file
// name starts with one of `prefixes` ("libssl", "libsqlite3", ...), in
// the order of `prefixes`, each once.
std::vector<std::string> LoadedLibraries(const std::vector<std::string>& prefixes);

}  // namespace platform
