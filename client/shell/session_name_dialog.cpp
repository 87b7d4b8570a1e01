#include "client/shell/session_name_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/session/settings_pages.h"
#include "client/shell/settings_widgets.h"

namespace tarn::shell {

using namespace settings_ui;

namespace {

// A dialog whose OK first asks `check`; false keeps it open.
class CheckedDialog : public QDialog {
 public:
  CheckedDialog(QWidget* owner, std::function<bool()> check) : QDialog(owner), check_(std::move(check)) {}
  void accept() override {
    if (!check_ || check_()) QDialog::accept();
  }

 private:
  std::function<bool()> check_;
};

QDialogButtonBox* OkCancel(QDialog* d) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, d);
  QObject::connect(buttons, &QDialogButtonBox::accepted, d, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, d, &QDialog::reject);
  return buttons;
}

}  // namespace

bool AskSessionName(QWidget* owner, Ui& ui, bool renaming,
                    const std::function<bool(const std::string&)>& exists, std::string* name) {
  const SessionNameDialogText text = SessionNameDialog(renaming);
  QLineEdit* box = nullptr;
  CheckedDialog d(owner, [&] {
    if (auto failure = CheckSessionName(S(box->text()), exists)) {
      ShowCheckFailure(ui, *failure);
      box->setFocus();
      box->selectAll();
      return false;
    }
    return true;
  });
  d.setWindowTitle(text.title);
  auto* layout = new QVBoxLayout(&d);
  box = LimitedBox(&d, kSessionNameLimit);
  box->setText(Q(*name));
  box->selectAll();
  box->setMinimumWidth(box->fontMetrics().averageCharWidth() * 56);
  layout->addWidget(BuddyLabel(text.label, box, &d));
  layout->addWidget(box);
  auto* rule = new QLabel(kSessionNameRule, &d);
  rule->setWordWrap(true);
  layout->addWidget(rule);
  layout->addWidget(OkCancel(&d));
  // A new session's name may be asked before the sheet is on show (a
  // quick connection to keep): the dialog then centres on the nearest
  // window that is.
  QWidget* anchor = owner;
  while (anchor && !anchor->isVisible()) anchor = anchor->parentWidget();
  if (anchor && anchor != owner) {
    d.adjustSize();
    const QRect frame = anchor->window()->frameGeometry();
    d.move(frame.center() - QPoint(d.width() / 2, d.height() / 2));
  }
  if (d.exec() != QDialog::Accepted) return false;
  *name = S(box->text());
  return true;
}

}  // namespace tarn::shell
