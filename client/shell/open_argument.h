// What a person's tarn is asked to open by its one plain argument: a host
// named by a URL (xdg-open ftp://host/, a link in a browser) or a schedule
// file (a double-click in the file manager):
//
//   tarn ftp://ops@ftp.example.org:2121/pub     connects as a quick connection
//   tarn ftpes://ftp.example.org/               the same with explicit TLS
//   tarn ~/queues/night.tsc                     loads the file into the queue panel
//   tarn file:///home/ops/queues/night.tsc
//
// A plain path never starts a run: the unattended form is "-" and the path
// (unattended_main.h), as the scheduler passes it.
#pragma once

#include <string>
#include <vector>

#include "client/shell/dialogs.h"

namespace tarn {
class Ui;
}

namespace tarn::shell {

class MainWindow;
class QueueWindow;

struct OpenRequest {
  enum class Kind { kNone, kHost, kScheduleFile, kError };
  Kind kind = Kind::kNone;
  // kHost: the address carries the URL's path ("host/pub"); tls for
  // ftpes:// and ftps://.
  QuickConnectInput host;
  std::string path;        // kScheduleFile: absolute
  std::string error;       // kError: why the argument cannot be opened
};

// The URL schemes a person's tarn opens; ftps:// logs on as ftpes:// does
// (AUTH TLS), the one TLS form the client speaks.
inline constexpr const char* kOpenSchemes[] = {"ftp", "ftps", "ftpes"};

// Parses one plain argument. `cwd` makes a relative path absolute, so that
// the queue saved later and handed to a second client or the scheduler
// names the same file.
OpenRequest ParseOpenArgument(const std::string& arg, const std::string& cwd);

// The request of a command line: the arguments after the program name
// without tarn's and Qt's own options (RunArgumentsOf of the unattended
// run). Exactly one plain argument, one that does not begin with "-", is a
// request. Anything else is none (kNone: the window alone, or an unattended
// run), and so is one argument holding " -" that is no URL: the run's
// single-string form ("/q/night.tsc -mail -me -you"). Relative paths are
// taken from `cwd`, by default the current directory.
OpenRequest OpenRequestOf(const std::vector<std::string>& args, const std::string& cwd);
OpenRequest OpenRequestOf(const std::vector<std::string>& args);

// Loads a schedule file into the queue panel and shows the panel; a file
// that cannot be loaded is told in a box and the panel keeps what it had.
bool OpenScheduleFile(QueueWindow& queue, Ui& ui, std::string path);

// Carries the request out in the shown window: the quick connection, or
// the file in the queue panel (shown). A file that cannot be loaded and an
// argument that cannot be used are told in a box; the window stays.
void OpenAtStart(MainWindow& window, Ui& ui, const OpenRequest& request);

}  // namespace tarn::shell
