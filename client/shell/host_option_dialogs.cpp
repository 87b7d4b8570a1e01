#include "client/shell/host_option_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tarn::shell {

namespace {

QDialogButtonBox* OkCancel(QDialog* d) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, d);
  QObject::connect(buttons, &QDialogButtonBox::accepted, d, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, d, &QDialog::reject);
  return buttons;
}

// Radio buttons of one group in a row; ids from 1 in the order given. No
// button is chosen at first: an untouched group sends nothing.
QButtonGroup* Radios(QWidget* box, QBoxLayout* row, std::initializer_list<const char*> texts) {
  auto* group = new QButtonGroup(box);
  int id = 1;
  for (const char* t : texts) {
    auto* b = new QRadioButton(QString::fromLatin1(t), box);
    b->setObjectName(QString::fromLatin1(t));
    group->addButton(b, id++);
    row->addWidget(b);
  }
  return group;
}

std::string Text(const QLineEdit* e) { return e->text().toStdString(); }

}  // namespace

// --- MVS Special Options -----------------------------------------------------

QLineEdit* MvsOptionsDialog::Cell(const char* name, int capacity) {
  auto* e = new QLineEdit(this);
  e->setObjectName(QString::fromLatin1(name));
  e->setMaxLength(capacity - 1);
  return e;
}

MvsOptionsDialog::MvsOptionsDialog(QWidget* owner) : QDialog(owner) {
  setWindowTitle(kMvsOptionsTitle);
  setModal(true);

  auto* recfmBox = new QGroupBox("Record Format", this);
  auto* recfmRow = new QHBoxLayout;
  recfm_ = Radios(recfmBox, recfmRow, {"F", "FB", "V", "VB", "Other"});
  other_ = Cell("OtherText");
  other_->setEnabled(false);
  other_->setMaximumWidth(70);
  recfmRow->addWidget(other_);
  recfmRow->addStretch();
  recfmBox->setLayout(recfmRow);
  // The "Other" text means something only while "Other" is chosen.
  connect(recfm_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
    if (id == 5) other_->setEnabled(on);
  });

  auto* spaceBox = new QGroupBox("Space", this);
  auto* spaceForm = new QFormLayout(spaceBox);
  auto* typeRow = new QHBoxLayout;
  space_ = Radios(spaceBox, typeRow, {"Blocks", "Tracks", "Cylinders"});
  typeRow->addStretch();
  spaceForm->addRow("Type:", typeRow);
  spaceForm->addRow("Prime:", prime_ = Cell("Prime"));
  spaceForm->addRow("Secondary:", secondary_ = Cell("Secondary"));
  spaceForm->addRow("Directory Blocks:", directory_ = Cell("Directory Blocks"));
  spaceForm->addRow("Unit:", unit_ = Cell("Unit"));
  spaceForm->addRow("Volume:", volume_ = Cell("Volume"));

  auto* fileBox = new QGroupBox("File Format", this);
  auto* fileForm = new QFormLayout(fileBox);
  auto* fileRow = new QHBoxLayout;
  fileType_ = Radios(fileBox, fileRow, {"Sequential", "JES", "SQL"});
  fileRow->addStretch();
  fileForm->addRow(fileRow);
  fileForm->addRow("JES Record Length:", jesLength_ = Cell("JES Record Length"));
  fileForm->addRow("JES Record Format:", jesFormat_ = Cell("JES Record Format"));
  fileForm->addRow("Destination:", destination_ =
                                       Cell("Destination", int(listing::kMvsDestinationCapacity)));

  auto* dcbBox = new QGroupBox("Data Set", this);
  auto* dcbForm = new QFormLayout(dcbBox);
  dcbForm->addRow("LRecL:", lrecl_ = Cell("LRecL"));
  dcbForm->addRow("BlkSize:", blkSize_ = Cell("BlkSize"));
  dcbForm->addRow("RetPD:", retpd_ = Cell("RetPD"));

  auto* grid = new QGridLayout;
  grid->addWidget(recfmBox, 0, 0, 1, 2);
  grid->addWidget(spaceBox, 1, 0, 2, 1);
  grid->addWidget(fileBox, 1, 1);
  grid->addWidget(dcbBox, 2, 1);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(OkCancel(this));
}

listing::MvsOptions MvsOptionsDialog::Record() const {
  listing::MvsOptions o;
  const int recfm = recfm_->checkedId();
  o.recfmSet = recfm > 0;
  o.recF = recfm == 1;
  o.recFB = recfm == 2;
  o.recV = recfm == 3;
  o.recVB = recfm == 4;
  o.recOther = recfm == 5;
  if (o.recOther) o.recOtherText = Text(other_);
  const int space = space_->checkedId();
  o.spaceSet = space > 0;
  o.blocks = space == 1;
  o.tracks = space == 2;
  o.cylinders = space == 3;
  const int file = fileType_->checkedId();
  o.fileTypeSet = file > 0;
  o.sequential = file == 1;
  o.jes = file == 2;
  o.sql = file == 3;
  o.prime = Text(prime_);
  o.secondary = Text(secondary_);
  o.directoryBlocks = Text(directory_);
  o.unit = Text(unit_);
  o.volume = Text(volume_);
  o.jesRecordLength = Text(jesLength_);
  o.jesRecordFormat = Text(jesFormat_);
  o.destination = Text(destination_);
  o.lrecl = Text(lrecl_);
  o.blkSize = Text(blkSize_);
  o.retpd = Text(retpd_);
  return o;
}

// --- VM Options --------------------------------------------------------------

VmOptionsDialog::VmOptionsDialog(QWidget* owner) : QDialog(owner) {
  setWindowTitle(kVmOptionsTitle);
  setModal(true);
  auto* box = new QGroupBox("Record Format", this);
  auto* grid = new QGridLayout(box);
  fixed_ = new QRadioButton("&Fixed", box);
  variable_ = new QRadioButton("&Variable", box);
  length_ = new QLineEdit(box);
  length_->setObjectName("RecordLength");
  // CMS records are at most 65,535 bytes long.
  length_->setValidator(new QIntValidator(1, 65535, length_));
  length_->setMaxLength(5);
  length_->setMaximumWidth(80);
  grid->addWidget(fixed_, 0, 0);
  grid->addWidget(new QLabel("Record length:", box), 0, 1);
  grid->addWidget(length_, 0, 2);
  grid->addWidget(variable_, 1, 0);
  grid->setColumnStretch(3, 1);
  variable_->setChecked(true);
  length_->setEnabled(false);

  auto* buttons = OkCancel(this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(box);
  layout->addWidget(buttons);
  connect(fixed_, &QRadioButton::toggled, this, [this](bool on) {
    length_->setEnabled(on);
    if (on) length_->setFocus();
    UpdateOk();
  });
  connect(length_, &QLineEdit::textChanged, this, &VmOptionsDialog::UpdateOk);
}

void VmOptionsDialog::UpdateOk() {
  // A fixed format needs its record length.
  ok_->setEnabled(!fixed_->isChecked() || length_->hasAcceptableInput());
}

std::string VmOptionsDialog::Command() const {
  return listing::VmOptionCommand(fixed_->isChecked(), listing::FieldNumber(Text(length_)));
}

// --- Change Permissions ------------------------------------------------------

PermissionsDialog::PermissionsDialog(QWidget* owner) : QDialog(owner) {
  setWindowTitle(kPermissionsTitle);
  setModal(true);
  auto* row = new QHBoxLayout;
  const char* groups[3] = {"Owner", "Group", "Users"};
  const char* columns[4] = {"Read", "Write", "Execute", "&All"};
  for (int g = 0; g < 3; ++g) {
    auto* box = new QGroupBox(groups[g], this);
    auto* col = new QVBoxLayout(box);
    for (int k = 0; k < 4; ++k) {
      boxes_[g][k] = new QCheckBox(columns[k], box);
      col->addWidget(boxes_[g][k]);
    }
    // "&All" sets or clears the three boxes of its group.
    connect(boxes_[g][3], &QCheckBox::toggled, this, [this, g](bool on) {
      for (int k = 0; k < 3; ++k) boxes_[g][k]->setChecked(on);
    });
    row->addWidget(box);
  }
  auto* note = new QLabel(
      "Please note:\nThis command will only work on UNIX servers that support the chmod command",
      this);
  note->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(note);
  layout->addWidget(OkCancel(this));
}

listing::PermissionGroup PermissionsDialog::Group(int g) const {
  return {boxes_[g][0]->isChecked(), boxes_[g][1]->isChecked(), boxes_[g][2]->isChecked(),
          boxes_[g][3]->isChecked()};
}

std::string PermissionsDialog::Mode() const {
  return listing::PermissionMode(Group(0), Group(1), Group(2));
}

}  // namespace tarn::shell
