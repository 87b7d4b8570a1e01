#include "client/shell/pc_drive_text.h"

#include <algorithm>
#include <cstdio>

namespace tarn::shell {

namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kGiB = uint64_t{1} << 30;

// `hundredths` / 100 with three significant digits: 2.00, 12.3, 123; from
// 1,000 on the whole number. The integer part takes the locale's grouping.
std::string ThreeDigits(uint64_t hundredths, const ::platform::Locale& locale) {
  // Rounds hundredths to `decimals` places (half up), as whole units of
  // 10^-decimals.
  auto rounded = [&](int decimals) {
    const uint64_t unit = decimals == 2 ? 1 : decimals == 1 ? 10 : 100;
    return (hundredths + unit / 2) / unit;
  };
  int decimals = hundredths < 1000 ? 2 : hundredths < 10000 ? 1 : 0;
  uint64_t units = rounded(decimals);
  // 9.996 rounds to 10.00 (1,000 hundredths), 99.96 to 100.0 (1,000
  // tenths): one digit too many, so one decimal fewer.
  if (decimals > 0 && units >= 1000) units = rounded(--decimals);
  const uint64_t scale = decimals == 2 ? 100 : decimals == 1 ? 10 : 1;
  std::string text = locale.FormatNumber(static_cast<int64_t>(units / scale));
  if (decimals > 0) {
    char frac[4];
    std::snprintf(frac, sizeof frac, "%0*u", decimals, static_cast<unsigned>(units % scale));
    text += locale.decimalSep;
    text += frac;
  }
  return text;
}

}  // namespace

std::string DriveSizeText(uint64_t bytes, const ::platform::Locale& locale) {
  if (bytes == 0) return "0 bytes";
  // 128-bit: bytes + 1023, and the product by 100, never overflow.
  const unsigned __int128 rounded = static_cast<unsigned __int128>(bytes) + 1023;
  if (bytes < kMiB) return locale.FormatNumber(static_cast<int64_t>(rounded / 1024)) + "KB";
  if (bytes < kGiB) return locale.FormatNumber(static_cast<int64_t>(rounded / kMiB)) + "MB";
  return ThreeDigits(static_cast<uint64_t>(rounded * 100 / kGiB), locale) + "GB";
}

std::string_view DriveTypeText(std::string_view type) {
  // Network file systems, FUSE-mounted remote ones included.
  static constexpr std::string_view kRemote[] = {
      "nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "sshfs", "9p", "afs", "ncpfs",
      "fuse.rclone", "fuse.s3fs", "davfs", "fuse.davfs2", "glusterfs", "fuse.glusterfs",
      "ceph", "fuse.ceph", "lustre"};
  static constexpr std::string_view kOptical[] = {"iso9660", "udf"};
  static constexpr std::string_view kRam[] = {"tmpfs", "ramfs"};
  static constexpr std::string_view kLocal[] = {
      "ext2", "ext3", "ext4", "xfs", "btrfs", "zfs", "f2fs", "jfs", "reiserfs", "vfat", "fat",
      "msdos", "exfat", "ntfs", "ntfs3", "fuseblk", "hfs", "hfsplus", "apfs", "nilfs2",
      "bcachefs", "overlay", "fuse.overlayfs", "squashfs", "erofs", "ufs"};
  auto in = [type](const auto& list) {
    return std::find(std::begin(list), std::end(list), type) != std::end(list);
  };
  if (in(kRemote)) return "LAN Disk";
  if (in(kOptical)) return "CDRom Drive";
  if (in(kRam)) return "RAM Disk";
  if (in(kLocal)) return "Local Disk";
  return "Unknown Type";
}

}  // namespace tarn::shell
