// The drive level's texts: sizes in "0 bytes", KB, MB and GB with three
// significant digits, in the person's separators, and the type of each
// kind of file system.
#include <QtTest>

#include <cstdint>

#include "client/shell/pc_drive_text.h"

using namespace tarn::shell;

Q_DECLARE_METATYPE(uint64_t)

class PcDriveTextTest : public QObject {
  Q_OBJECT

 private slots:
  void sizeTexts_data();
  void sizeTexts();
  void sizeTextsInAnotherLocale();
  void typeTexts_data();
  void typeTexts();
};

void PcDriveTextTest::sizeTexts_data() {
  QTest::addColumn<uint64_t>("bytes");
  QTest::addColumn<QString>("text");
  constexpr uint64_t KiB = 1024, MiB = KiB * 1024, GiB = MiB * 1024;
  QTest::newRow("nothing") << uint64_t{0} << "0 bytes";
  QTest::newRow("one byte rounds up") << uint64_t{1} << "1KB";
  QTest::newRow("just below 1 MiB") << MiB - 1 << "1,024KB";
  QTest::newRow("1 MiB") << MiB << "1MB";
  QTest::newRow("just below 1 GiB") << GiB - 1 << "1,024MB";
  QTest::newRow("1 GiB") << GiB << "1.00GB";
  QTest::newRow("2 GiB") << 2 * GiB << "2.00GB";
  QTest::newRow("cut to hundredths first") << GiB + GiB / 200 << "1.00GB";
  QTest::newRow("9.999 is cut to 9.99, not rounded") << 9 * GiB + GiB * 999 / 1000 << "9.99GB";
  QTest::newRow("rounding into the next decade") << 99 * GiB + GiB * 97 / 100 << "100GB";
  QTest::newRow("two digits before the point") << 12 * GiB + GiB * 34 / 100 << "12.3GB";
  QTest::newRow("three digits") << 123 * GiB + GiB * 6 / 10 << "124GB";
  QTest::newRow("rounding up to a thousand") << 999 * GiB + GiB * 6 / 10 << "1,000GB";
  QTest::newRow("terabytes: whole numbers, no exponent") << 1536 * GiB << "1,536GB";
  QTest::newRow("the largest count does not overflow") << UINT64_MAX << "17,179,869,184GB";
}

void PcDriveTextTest::sizeTexts() {
  QFETCH(uint64_t, bytes);
  QFETCH(QString, text);
  QCOMPARE(QString::fromStdString(DriveSizeText(bytes, ::platform::PinnedLocale())), text);
}

void PcDriveTextTest::sizeTextsInAnotherLocale() {
  ::platform::Locale de = ::platform::PinnedLocale();
  de.thousandsSep = ".";
  de.decimalSep = ",";
  QCOMPARE(DriveSizeText(uint64_t{1} << 31, de), std::string("2,00GB"));
  QCOMPARE(DriveSizeText((uint64_t{1} << 20) - 1, de), std::string("1.024KB"));
  QCOMPARE(DriveSizeText(uint64_t{1536} << 30, de), std::string("1.536GB"));
}

void PcDriveTextTest::typeTexts_data() {
  QTest::addColumn<QString>("type");
  QTest::addColumn<QString>("text");
  QTest::newRow("ext4") << "ext4" << "Local Disk";
  QTest::newRow("btrfs") << "btrfs" << "Local Disk";
  QTest::newRow("a USB stick") << "vfat" << "Local Disk";
  QTest::newRow("NFS") << "nfs4" << "LAN Disk";
  QTest::newRow("Samba") << "cifs" << "LAN Disk";
  QTest::newRow("sshfs") << "fuse.sshfs" << "LAN Disk";
  QTest::newRow("a CD") << "iso9660" << "CDRom Drive";
  QTest::newRow("a DVD") << "udf" << "CDRom Drive";
  QTest::newRow("tmpfs") << "tmpfs" << "RAM Disk";
  QTest::newRow("anything else") << "weirdfs" << "Unknown Type";
  QTest::newRow("nothing") << "" << "Unknown Type";
}

void PcDriveTextTest::typeTexts() {
  QFETCH(QString, type);
  QFETCH(QString, text);
  const std::string t = type.toStdString();
  QCOMPARE(QString::fromUtf8(DriveTypeText(t).data(), static_cast<qsizetype>(DriveTypeText(t).size())), text);
}

QTEST_GUILESS_MAIN(PcDriveTextTest)
#include "pc_drive_text_test.moc"
