#include "client/shell/open_argument.h"

#include <QTimer>
#include <QUrl>

#include <cctype>
#include <filesystem>

#include "client/cli/quick_url.h"
#include "client/session/queue_file.h"
#include "client/session/ui.h"
#include "client/shell/main_window.h"
#include "client/shell/queue_window.h"

namespace tarn::shell {

namespace {

constexpr const char* kCaption = "Tarn";

// The scheme of "scheme://...", lower-cased; "" when the text is no URL.
std::string SchemeOf(const std::string& text) {
  const size_t sep = text.find("://");
  if (sep == std::string::npos || sep == 0) return "";
  std::string scheme = text.substr(0, sep);
  if (!std::isalpha(static_cast<unsigned char>(scheme[0]))) return "";
  for (char& ch : scheme) {
    const unsigned char u = static_cast<unsigned char>(ch);
    if (!std::isalnum(u) && ch != '+' && ch != '-' && ch != '.') return "";
    ch = static_cast<char>(std::tolower(u));
  }
  return scheme;
}

bool IsOpenScheme(const std::string& scheme) {
  for (const char* s : kOpenSchemes)
    if (scheme == s) return true;
  return false;
}

OpenRequest Failure(std::string text) {
  OpenRequest r;
  r.kind = OpenRequest::Kind::kError;
  r.error = std::move(text);
  return r;
}

OpenRequest HostRequest(const std::string& arg, const std::string& scheme) {
  // The URL parser of tarn-cli knows ftp:// and ftpes://; ftps:// logs on
  // the same way as ftpes://.
  const std::string text = scheme == "ftps" ? "ftpes" + arg.substr(scheme.size()) : arg;
  cli::QuickUrl url;
  std::string error;
  if (!cli::ParseQuickUrl(text, &url, &error)) return Failure(arg + ": " + error);
  OpenRequest r;
  r.kind = OpenRequest::Kind::kHost;
  r.host.tls = url.scheme == "ftpes";
  // A directory after the host name is the session's initial directory,
  // as in the Quick Connect box.
  r.host.address = url.host + url.path;
  r.host.port = std::to_string(url.port);
  r.host.userName = url.user;
  if (url.hasPassword) r.host.password = url.password;
  return r;
}

OpenRequest FileRequest(const std::string& path, const std::string& cwd) {
  if (path.empty()) return Failure("no schedule file named");
  std::filesystem::path p(path);
  if (p.is_relative()) p = std::filesystem::path(cwd.empty() ? "/" : cwd) / p;
  OpenRequest r;
  r.kind = OpenRequest::Kind::kScheduleFile;
  r.path = p.lexically_normal().string();
  return r;
}

}  // namespace

OpenRequest ParseOpenArgument(const std::string& arg, const std::string& cwd) {
  const std::string scheme = SchemeOf(arg);
  if (scheme.empty()) return FileRequest(arg, cwd);
  if (IsOpenScheme(scheme)) return HostRequest(arg, scheme);
  if (scheme == "file") {
    const QUrl url(QString::fromStdString(arg), QUrl::StrictMode);
    if (!url.isValid()) return Failure(arg + ": not a valid file URL");
    if (!url.host().isEmpty() && url.host().compare("localhost", Qt::CaseInsensitive) != 0)
      return Failure(arg + ": the file is on another computer (" + url.host().toStdString() + ")");
    const std::string local = url.path(QUrl::FullyDecoded).toStdString();
    if (local.find('\0') != std::string::npos) return Failure(arg + ": not a valid file URL");
    return FileRequest(local, cwd);
  }
  return Failure(arg + ": tarn opens ftp://, ftps:// and ftpes:// URLs and schedule files");
}

OpenRequest OpenRequestOf(const std::vector<std::string>& args, const std::string& cwd) {
  if (args.size() != 1) return {};
  const std::string& arg = args.front();
  if (arg.empty() || arg[0] == '-') return {};
  if (SchemeOf(arg).empty() && arg.find(" -") != std::string::npos) return {};
  return ParseOpenArgument(arg, cwd);
}

OpenRequest OpenRequestOf(const std::vector<std::string>& args) {
  std::error_code ec;
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  return OpenRequestOf(args, ec ? std::string() : cwd.string());
}

bool OpenScheduleFile(QueueWindow& queue, Ui& ui, std::string path) {
  TransferQueue entries;
  const QueueLoadResult r = LoadQueueFile(&path, &entries, ui, {});
  const std::string notice = QueueLoadNotice(path, r);
  if (r.ok()) {
    queue.ShowLoaded(path, entries);
    queue.SetShown(true);
    if (!notice.empty()) ui.MessageBox(notice, kCaption, BoxButtons::kOk, BoxIcon::kInformation);
    return true;
  }
  // A file that is not a schedule file was told already.
  if (r.status != QueueLoadStatus::kNotScheduleFile)
    ui.MessageBox(notice, kCaption, BoxButtons::kOk, BoxIcon::kWarning);
  return false;
}

void OpenAtStart(MainWindow& window, Ui& ui, const OpenRequest& request) {
  switch (request.kind) {
    case OpenRequest::Kind::kNone: return;
    case OpenRequest::Kind::kError:
      ui.MessageBox(request.error, kCaption, BoxButtons::kOk, BoxIcon::kWarning);
      return;
    case OpenRequest::Kind::kHost: {
      const QuickConnectInput input = request.host;
      // Both run once the window has shown itself, so that what follows
      // (the connect's states, a box) appears in it.
      QTimer::singleShot(0, &window, [&window, &ui, input] {
        if (!window.session().QuickConnect(input))
          ui.MessageBox("Cannot connect to " + input.address + " now.", kCaption, BoxButtons::kOk,
                        BoxIcon::kWarning);
      });
      return;
    }
    case OpenRequest::Kind::kScheduleFile: {
      QueueWindow* queue = QueueWindowOf(&window);
      if (queue == nullptr) return;
      QTimer::singleShot(0, queue, [queue, &ui, path = request.path] { OpenScheduleFile(*queue, ui, path); });
      return;
    }
  }
}

}  // namespace tarn::shell
