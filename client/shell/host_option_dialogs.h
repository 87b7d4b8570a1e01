// The dialogs of the host view's option commands: "MVS Special Options",
// "VM Options" and "Change Permissions on Files and Directories". Each
// only gathers the person's choice into a Qt-free record; what is sent is
// worked out in client/listing/host_options.h. GUI thread only.
#pragma once

#include <QDialog>

#include "client/listing/host_options.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace tarn::shell {

inline constexpr const char* kMvsOptionsTitle = "MVS Special Options";
inline constexpr const char* kVmOptionsTitle = "VM Options";
inline constexpr const char* kPermissionsTitle = "Change Permissions on Files and Directories";

class MvsOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  explicit MvsOptionsDialog(QWidget* owner);
  // The record of what is chosen and typed now.
  listing::MvsOptions Record() const;

 private:
  QLineEdit* Cell(const char* name, int capacity = static_cast<int>(listing::kMvsCellCapacity));

  QButtonGroup* recfm_ = nullptr;
  QButtonGroup* space_ = nullptr;
  QButtonGroup* fileType_ = nullptr;
  QLineEdit* other_ = nullptr;
  QLineEdit* prime_ = nullptr;
  QLineEdit* secondary_ = nullptr;
  QLineEdit* directory_ = nullptr;
  QLineEdit* unit_ = nullptr;
  QLineEdit* volume_ = nullptr;
  QLineEdit* jesLength_ = nullptr;
  QLineEdit* jesFormat_ = nullptr;
  QLineEdit* destination_ = nullptr;
  QLineEdit* lrecl_ = nullptr;
  QLineEdit* blkSize_ = nullptr;
  QLineEdit* retpd_ = nullptr;
};

class VmOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  explicit VmOptionsDialog(QWidget* owner);
  // "SITE FIX n" or "SITE VAR" for the choice made.
  std::string Command() const;

 private:
  void UpdateOk();

  QRadioButton* fixed_ = nullptr;
  QRadioButton* variable_ = nullptr;
  QLineEdit* length_ = nullptr;
  QAbstractButton* ok_ = nullptr;
};

class PermissionsDialog : public QDialog {
  Q_OBJECT
 public:
  explicit PermissionsDialog(QWidget* owner);
  // The mode of the boxes checked now ("644").
  std::string Mode() const;
  // Boxes by group (0 owner, 1 group, 2 users) and column (0 read, 1
  // write, 2 execute, 3 all), for tests and the mnemonic keys.
  QCheckBox* Box(int group, int column) const { return boxes_[group][column]; }

 private:
  listing::PermissionGroup Group(int group) const;

  QCheckBox* boxes_[3][4] = {};
};

}  // namespace tarn::shell
