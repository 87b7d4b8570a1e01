// The list's and engine's notices as message boxes, captioned "Almanor".
#pragma once

#include <QMessageBox>
#include <QString>

#include "scheduler/model/schedule.h"

namespace sched_app {

class BoxNotice : public sched::Notice {
 public:
  explicit BoxNotice(QWidget* parent = nullptr) : parent_(parent) {}
  void Show(const std::string& text, sched::NoticeIcon icon) override {
    QMessageBox::Icon i = QMessageBox::NoIcon;
    switch (icon) {
      case sched::NoticeIcon::kInformation: i = QMessageBox::Information; break;
      case sched::NoticeIcon::kExclamation: i = QMessageBox::Warning; break;
      case sched::NoticeIcon::kStop: i = QMessageBox::Critical; break;
      default: break;
    }
    QMessageBox box(i, QStringLiteral("Almanor"), QString::fromStdString(text), QMessageBox::Ok,
                    parent_);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
  }

 private:
  QWidget* parent_;
};

}  // namespace sched_app
