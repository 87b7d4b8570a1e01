// How courel tells a person what went wrong. The program picks one at start:
// a message box when there is a display, otherwise standard error and the
// system log, so that a run without a display never waits for anybody.
#pragma once

#include <string>

namespace mailer {

class Notice {
 public:
  virtual ~Notice() = default;
  // Shows `text`; returns once it has been shown (for a box: confirmed).
  virtual void Show(const std::string& text) = 0;
};

// Writes "courel: <text>" to standard error and the text to syslog
// (facility user, priority error, ident "courel").
class ConsoleNotice : public Notice {
 public:
  void Show(const std::string& text) override;
};

}  // namespace mailer
