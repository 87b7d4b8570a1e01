// Dialogs for the window tests: every box is recorded (its text and its
// caption) and answered from `answers` in turn, then with its safe button
// (OK, No, Cancel); every other question is declined. A test that answers
// more derives from it.
#pragma once

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "client/shell/dialogs.h"

namespace tarn::testing {

class RecordingDialogs : public shell::Dialogs {
 public:
  std::vector<std::string> texts, captions;
  std::deque<BoxResult> answers;

  BoxResult Box(const std::string& text, const std::string& caption, BoxButtons buttons,
                BoxIcon) override {
    texts.push_back(text);
    captions.push_back(caption);
    if (!answers.empty()) {
      const BoxResult r = answers.front();
      answers.pop_front();
      return r;
    }
    return buttons == BoxButtons::kOk      ? BoxResult::kOk
           : buttons == BoxButtons::kYesNo ? BoxResult::kNo
                                           : BoxResult::kCancel;
  }
  bool Logon(LogonPrompt*) override { return false; }
  bool Text(const std::string&, const std::string&, bool, std::string*) override { return false; }
  bool QuickConnect(shell::QuickConnectInput*) override { return false; }
  bool CustomCommand(std::string*) override { return false; }
  void CommandResults(const std::string&) override {}
  bool NewFolderName(std::string*) override { return false; }

  bool Asked(const std::string& caption) const {
    return std::find(captions.begin(), captions.end(), caption) != captions.end();
  }
};

}  // namespace tarn::testing
