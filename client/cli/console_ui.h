// ConsoleUi: the person behind tarn-cli. Boxes become lines on standard
// error; questions are asked on the terminal when there is one and answered
// "No"/"Cancel" when there is none; the log-on prompt takes TARN_PASSWORD
// from the environment before it asks.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "client/session/ui.h"

namespace tarn::cli {

// The environment variables tarn-cli takes secrets from, so that they
// never stand on a command line.
inline constexpr char kPasswordVariable[] = "TARN_PASSWORD";

// The value of the secret variable `name`; nullopt when it is unset or
// empty. The one place tarn-cli reads a secret from its environment.
std::optional<std::string> EnvironmentSecret(const char* name);

// An amount of bytes as progress shows it, in decimal units and the
// smallest that leaves a whole number before the point: "512 B", "12.3 KB",
// "4.5 MB", "1.25 GB". Rates use it too ("12.3 KB" + "/s").
std::string FormatAmount(double bytes);

class ConsoleUi : public Ui {
 public:
  // `err` receives boxes and, when `verbose`, status lines. `tty` is the
  // terminal to ask on, or null when there is none.
  ConsoleUi(std::FILE* err, std::FILE* tty, bool verbose);

  BoxResult MessageBox(const std::string& text, const std::string& caption, BoxButtons buttons,
                       BoxIcon icon) override;
  void SetStatusText(int part, const std::string& text) override;
  bool PromptLogon(LogonPrompt* prompt) override;
  bool PromptText(const std::string& caption, const std::string& label, bool masked,
                  std::string* value) override;

  void SetTransferMode(TransferMode mode) override { mode_ = mode; }
  TransferMode Mode() const { return mode_; }

  // Progress of a transfer: a bar with rate and time remaining on a
  // terminal, plain lines (at most one a second) otherwise.
  bool TransferWindowOpen() const override { return inTransfer_ && showProgress_; }
  void SetTransferFields(const TransferFields& f) override;
  void BeginTransfer();
  void EndTransfer();
  void SetShowProgress(bool on) { showProgress_ = on; }

  // Boxes shown so far: a command that showed one has failed.
  size_t BoxCount() const { return boxCount_; }

  // The last box's text, for the exit message of a failed command.
  const std::string& LastBox() const { return lastBox_; }
  void SetVerbose(bool on) { verbose_ = on; }

 private:
  // Reads one line from the terminal; false at its end or without one.
  bool AskLine(const std::string& question, bool masked, std::string* answer);

  std::FILE* err_;
  std::FILE* tty_;
  bool verbose_;
  std::string lastBox_;
  size_t boxCount_ = 0;
  TransferMode mode_ = TransferMode::kAutoDetect;
  bool inTransfer_ = false;
  bool showProgress_ = true;
  bool barDrawn_ = false;
  double lastLine_ = -1;
};

}  // namespace tarn::cli
