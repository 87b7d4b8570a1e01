// ScriptedUi: a Ui for tests. It records every message box, prompt, status
// text and window-state call, and answers from queues the test fills.
//
//   ScriptedUi ui;
//   ui.AnswerBoxes({BoxResult::kYes, BoxResult::kNo});
//   ... code under test ...
//   EXPECT_THAT(ui.BoxCaptions(), ElementsAre("Confirm Delete", ...));
//
// A box asked when the queue is empty gets the answer an absent person would
// give (Ok, No, Cancel) and is counted in UnscriptedBoxes(), so a test can
// tell an expected question from a stray one. Prompts without a scripted
// answer are cancelled. Every call may come from any thread; WaitForBoxes
// lets a test wait for a worker's question without sleeping.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "client/session/ui.h"

namespace tarn::testing {

struct RecordedBox {
  std::string text;
  std::string caption;
  BoxButtons buttons = BoxButtons::kOk;
  BoxIcon icon = BoxIcon::kNone;
  BoxResult answer = BoxResult::kOk;
};

struct RecordedPrompt {
  enum class Kind { kLogon, kText, kDialUp };
  Kind kind = Kind::kText;
  std::string caption;  // logon: the session name; dial-up: the entry
  std::string label;    // text: the label; logon and dial-up: the user name shown
  bool masked = false;
};

class ScriptedUi : public Ui {
 public:
  // --- Script ---------------------------------------------------------------
  void AnswerBoxes(std::initializer_list<BoxResult> answers) {
    std::lock_guard<std::mutex> lock(mu_);
    boxAnswers_.insert(boxAnswers_.end(), answers.begin(), answers.end());
  }
  // Logon prompt answers: a filled prompt is OK, nullopt is Cancel.
  void AnswerLogon(std::optional<LogonPrompt> answer) {
    std::lock_guard<std::mutex> lock(mu_);
    logonAnswers_.push_back(std::move(answer));
  }
  // PromptText answers: text is OK, nullopt is Cancel.
  void AnswerText(std::optional<std::string> answer) {
    std::lock_guard<std::mutex> lock(mu_);
    textAnswers_.push_back(std::move(answer));
  }
  void AnswerDialUpPassword(std::optional<std::string> answer) {
    std::lock_guard<std::mutex> lock(mu_);
    dialUpAnswers_.push_back(std::move(answer));
  }

  // --- Record -----------------------------------------------------------------
  std::vector<RecordedBox> Boxes() const {
    std::lock_guard<std::mutex> lock(mu_);
    return boxes_;
  }
  std::vector<std::string> BoxTexts() const {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<std::string> out;
    for (const auto& b : boxes_) out.push_back(b.text);
    return out;
  }
  std::vector<std::string> BoxCaptions() const {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<std::string> out;
    for (const auto& b : boxes_) out.push_back(b.caption);
    return out;
  }
  int UnscriptedBoxes() const {
    std::lock_guard<std::mutex> lock(mu_);
    return unscripted_;
  }
  std::vector<RecordedPrompt> Prompts() const {
    std::lock_guard<std::mutex> lock(mu_);
    return prompts_;
  }
  // Every SetStatusText call as {part, text}, in order.
  std::vector<std::pair<int, std::string>> StatusTexts() const {
    std::lock_guard<std::mutex> lock(mu_);
    return status_;
  }
  std::vector<std::pair<ConnState, std::string>> ConnStates() const {
    std::lock_guard<std::mutex> lock(mu_);
    return connStates_;
  }
  std::vector<std::pair<UiCommand, bool>> Commands() const {
    std::lock_guard<std::mutex> lock(mu_);
    return commands_;
  }
  std::vector<TransferMode> TransferModes() const {
    std::lock_guard<std::mutex> lock(mu_);
    return modes_;
  }
  std::vector<std::vector<std::string>> ZoomPathLists() const {
    std::lock_guard<std::mutex> lock(mu_);
    return zoomPaths_;
  }
  std::vector<std::string> LocalDirectories() const {
    std::lock_guard<std::mutex> lock(mu_);
    return localDirs_;
  }
  std::vector<bool> WaitCursors() const {
    std::lock_guard<std::mutex> lock(mu_);
    return waitCursors_;
  }

  // Waits until at least `count` boxes were shown; false at the time limit.
  bool WaitForBoxes(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    std::unique_lock<std::mutex> lock(mu_);
    return changed_.wait_for(lock, limit, [&] { return boxes_.size() >= count; });
  }

  // --- Ui ---------------------------------------------------------------------
  BoxResult MessageBox(const std::string& text, const std::string& caption, BoxButtons buttons,
                       BoxIcon icon) override {
    std::lock_guard<std::mutex> lock(mu_);
    BoxResult answer;
    if (!boxAnswers_.empty()) {
      answer = boxAnswers_.front();
      boxAnswers_.pop_front();
    } else {
      ++unscripted_;
      answer = buttons == BoxButtons::kOk      ? BoxResult::kOk
               : buttons == BoxButtons::kYesNo ? BoxResult::kNo
                                               : BoxResult::kCancel;
    }
    boxes_.push_back({text, caption, buttons, icon, answer});
    changed_.notify_all();
    return answer;
  }

  void SetStatusText(int part, const std::string& text) override {
    std::lock_guard<std::mutex> lock(mu_);
    status_.emplace_back(part, text);
  }

  bool PromptLogon(LogonPrompt* prompt) override {
    std::lock_guard<std::mutex> lock(mu_);
    prompts_.push_back({RecordedPrompt::Kind::kLogon, prompt->sessionName, prompt->userName, true});
    std::optional<LogonPrompt> answer = Pop(&logonAnswers_);
    if (!answer) return false;
    prompt->userName = answer->userName;
    prompt->password = answer->password;
    return true;
  }

  bool PromptText(const std::string& caption, const std::string& label, bool masked,
                  std::string* value) override {
    std::lock_guard<std::mutex> lock(mu_);
    prompts_.push_back({RecordedPrompt::Kind::kText, caption, label, masked});
    std::optional<std::string> answer = Pop(&textAnswers_);
    if (!answer) return false;
    *value = *answer;
    return true;
  }

  bool PromptDialUpPassword(const std::string& entry, const std::string& userName,
                            std::string* password) override {
    std::lock_guard<std::mutex> lock(mu_);
    prompts_.push_back({RecordedPrompt::Kind::kDialUp, entry, userName, true});
    std::optional<std::string> answer = Pop(&dialUpAnswers_);
    if (!answer) return false;
    *password = *answer;
    return true;
  }

  void SetConnState(ConnState state, const std::string& sessionName) override {
    std::lock_guard<std::mutex> lock(mu_);
    connStates_.emplace_back(state, sessionName);
  }
  void EnableCommand(UiCommand command, bool enabled) override {
    std::lock_guard<std::mutex> lock(mu_);
    commands_.emplace_back(command, enabled);
  }
  void SetTransferMode(TransferMode mode) override {
    std::lock_guard<std::mutex> lock(mu_);
    modes_.push_back(mode);
  }
  void SetZoomPaths(const std::vector<std::string>& paths) override {
    std::lock_guard<std::mutex> lock(mu_);
    zoomPaths_.push_back(paths);
  }
  void ShowLocalDirectory(const std::string& dir) override {
    std::lock_guard<std::mutex> lock(mu_);
    localDirs_.push_back(dir);
  }
  void SetWaitCursor(bool on) override {
    std::lock_guard<std::mutex> lock(mu_);
    waitCursors_.push_back(on);
  }

 private:
  template <typename T>
  static std::optional<T> Pop(std::deque<std::optional<T>>* queue) {
    if (queue->empty()) return std::nullopt;
    std::optional<T> v = std::move(queue->front());
    queue->pop_front();
    return v;
  }

  mutable std::mutex mu_;
  std::condition_variable changed_;
  std::deque<BoxResult> boxAnswers_;
  std::deque<std::optional<LogonPrompt>> logonAnswers_;
  std::deque<std::optional<std::string>> textAnswers_;
  std::deque<std::optional<std::string>> dialUpAnswers_;
  std::vector<RecordedBox> boxes_;
  int unscripted_ = 0;
  std::vector<RecordedPrompt> prompts_;
  std::vector<std::pair<int, std::string>> status_;
  std::vector<std::pair<ConnState, std::string>> connStates_;
  std::vector<std::pair<UiCommand, bool>> commands_;
  std::vector<TransferMode> modes_;
  std::vector<std::vector<std::string>> zoomPaths_;
  std::vector<std::string> localDirs_;
  std::vector<bool> waitCursors_;
};

}  // namespace tarn::testing
