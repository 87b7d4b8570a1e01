#include "mailer/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace mailer {

MessageBoxNotice::MessageBoxNotice(int& argc, char** argv) : argc_(argc), argv_(argv) {}

MessageBoxNotice::~MessageBoxNotice() = default;

void MessageBoxNotice::Show(const std::string& text) {
  console_.Show(text);
  if (!app_) app_ = std::make_unique<QApplication>(argc_, argv_);
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Courel"), QString::fromStdString(text),
                  QMessageBox::Ok);
  box.exec();
}

}  // namespace mailer
