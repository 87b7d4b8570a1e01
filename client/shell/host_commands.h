// HostCommands: the host view's option commands as the window runs them:
// "&MVS Options..." (the dialog, then the "Processing MVS command options"
// window while the SITE commands go out), "&VM Options...", "Change File
// &Permissions...", Recall (its "Recall Migrated Dataset" window) and
// Browse (its "Tarn Browse" window, then each file opened). The server
// work runs on the connection's worker; these windows are open without
// blocking the GUI thread and close when their op ends. GUI thread only.
#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/engine/conn_worker.h"
#include "client/listing/browse.h"
#include "client/listing/host_options.h"
#include "client/shell/dialogs.h"
#include "client/shell/shell_context.h"

class QDialog;
class QLabel;
class QWidget;

namespace tarn::shell {

class FileOpener;

inline constexpr const char* kProcessingMvsTitle = "Processing MVS command options";
inline constexpr const char* kProcessingMvsText = "Processing MVS commands, please wait...";
inline constexpr const char* kRecallTitle = "Recall Migrated Dataset";
inline constexpr const char* kBrowseTitle = "Tarn Browse";

// The choices the commands ask for, behind an interface so that tests
// answer them. The Qt form shows the dialogs of host_option_dialogs.h.
class HostOptionPrompts {
 public:
  virtual ~HostOptionPrompts() = default;
  virtual bool Mvs(QWidget* owner, listing::MvsOptions* options) = 0;
  virtual bool Vm(QWidget* owner, std::string* command) = 0;
  virtual bool Permissions(QWidget* owner, std::string* mode) = 0;
};

class QtHostOptionPrompts : public HostOptionPrompts {
 public:
  bool Mvs(QWidget* owner, listing::MvsOptions* options) override;
  bool Vm(QWidget* owner, std::string* command) override;
  bool Permissions(QWidget* owner, std::string* mode) override;
};

class HostCommands : public QObject {
  Q_OBJECT
 public:
  // Runs an op of the host panes on the worker; `refresh` lists the
  // directory on show again afterwards; `done` runs on the GUI thread.
  // False when the connection is busy. (HostSession::RunHostCommand.)
  using Runner = std::function<bool(ConnWorker::Op op, bool refresh, std::function<void(int)> done)>;

  // Everything must outlive the commands; `owner` parents their windows.
  // Until SetRunner, ops go straight to ctx.worker.
  HostCommands(ShellContext& ctx, Dialogs& dialogs, QWidget* owner);
  // Closes the viewers and removes the browse folder with its files.
  ~HostCommands() override;

  void SetRunner(Runner runner) { runner_ = std::move(runner); }
  // Tests answer the prompts and catch the opening of files.
  void SetPrompts(HostOptionPrompts* prompts);
  void SetOpener(FileOpener* opener);
  listing::BrowseFolder& browseFolder() { return folder_; }

  // --- Commands ---------------------------------------------------------------
  void MvsOptions();
  void VmOptions();
  // `rows`: every row of the host list with its selection. No selected row
  // gives "No item selected!..." and nothing more.
  void ChangePermissions(const std::vector<listing::PermissionRow>& rows);
  // The migrated data set of the row whose path is `path`.
  void Recall(const std::string& path);
  // The selected file rows, in list order (directories and the parent
  // entry left out by the caller), in the transfer mode of the menu
  // (ASCII, binary, or by the extension list).
  void Browse(const std::vector<listing::BrowseRow>& files, TransferMode mode);

  // Shows a downloaded file: with its program, or in the viewer titled
  // `title` + " - Tarn Browse"; a file that cannot be opened gets its box.
  void OpenBrowsed(const QString& path, const QString& title);
  // The command window on show (processing, recall, browse); null when none.
  QDialog* activeWindow() const { return window_; }

 signals:
  // A command's op ended (its window closed); `result` is the op's.
  void commandDone(int result);
  // A viewer was opened for a browsed file (tests).
  void viewerOpened(QWidget* viewer);

 private:
  bool Run(ConnWorker::Op op, bool refresh, std::function<void(int)> done);
  // A small window with `text` and, when `cancellable`, a Cancel that
  // stops the worker's transfer; closed by Finish.
  void ShowWindow(const QString& title, const QString& text, bool cancellable);
  void Finish(int result);
  void Info(const std::string& text);

  ShellContext& ctx_;
  Dialogs& dialogs_;
  QWidget* owner_;
  Runner runner_;
  std::unique_ptr<HostOptionPrompts> ownPrompts_;
  HostOptionPrompts* prompts_;
  std::unique_ptr<FileOpener> ownOpener_;
  FileOpener* opener_;
  listing::BrowseFolder folder_;
  QPointer<QDialog> window_;
  QLabel* windowText_ = nullptr;
  std::vector<QPointer<QWidget>> viewers_;
};

}  // namespace tarn::shell
