#include "mailer/courel_run.h"

#include "mailer/command_line.h"
#include "mailer/messages.h"
#include "mailer/report_file.h"

namespace mailer {

int RunCourel(const std::vector<std::string>& args, platform::Net& net, Notice& notice,
              int timeoutMs) {
  MailSettings settings;
  std::string error;
  if (!ParseArguments(args, &settings, &error)) {
    notice.Show(error);
    return kExitUsage;
  }

  const Report report = ReadReport(settings.reportPath);
  if (report.status != ReportStatus::kOk) {
    notice.Show(report.error);
    if (report.status != ReportStatus::kReadFailed) return kExitNotDelivered;
  }

  SmtpSession session(net, settings.host, settings.sender, timeoutMs);
  auto failed = [&] {
    notice.Show(session.ErrorText());
    return kExitNotDelivered;
  };
  if (!session.Connect()) return failed();
  if (!session.MailFrom()) return failed();
  session.RcptTo(settings.receiver);  // a refusal shows in the DATA reply
  if (!session.Data()) return failed();
  session.SendHeader(kReportSubject);
  // A server that goes away while the report is sent is named, as at any
  // other step.
  for (const std::string& line : report.lines) {
    if (!session.SendLine(line)) return failed();
  }
  if (!session.EndData()) return failed();
  if (!session.Quit()) return failed();
  return kExitDelivered;
}

}  // namespace mailer
