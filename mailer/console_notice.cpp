#include <cstdio>
#include <syslog.h>

#include "mailer/notice.h"

namespace mailer {

void ConsoleNotice::Show(const std::string& text) {
  std::fprintf(stderr, "courel: %s\n", text.c_str());
  std::fflush(stderr);
  openlog("courel", LOG_PID, LOG_USER);
  syslog(LOG_ERR, "%s", text.c_str());
  closelog();
}

}  // namespace mailer
