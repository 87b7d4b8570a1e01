// The Qt side of courel: a plain message box captioned "Courel". Only the
// courel program compiles this, and only when it is built with Qt.
#pragma once

#include <memory>
#include <string>

#include "mailer/notice.h"

class QApplication;

namespace mailer {

// Shows each text in a modal box with an OK button and waits for it. The
// text goes to standard error and the system log first, so that it is kept
// even when the display turns out to be unusable (Qt then ends the process).
// The application object is made on the first Show, so a run that succeeds
// never touches the display. Main thread only.
class MessageBoxNotice : public Notice {
 public:
  MessageBoxNotice(int& argc, char** argv);
  ~MessageBoxNotice() override;
  void Show(const std::string& text) override;

 private:
  int& argc_;
  char** argv_;
  std::unique_ptr<QApplication> app_;
  ConsoleNotice console_;
};

}  // namespace mailer
