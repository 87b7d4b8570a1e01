// Texts of the PC list's drive level, where each mounted file system is one
// row: its type text and its sizes. Qt-free, so that the rules are tested
// without a display.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/locale.h"

namespace tarn::shell {

// The size text of a drive's total or free space:
//   0                      "0 bytes"
//   below 1 MiB            (bytes + 1023) / 1024 in the locale's number format, "KB"
//   below 1 GiB            (bytes + 1023) / 2^20, "MB"
//   1 GiB and above        ((bytes + 1023) * 100 / 2^30) / 100 with three significant
//                          digits and the locale's separators, "GB"
//   1,048,575 -> "1,024KB"; 1,048,576 -> "1MB"; 2^31 -> "2.00GB"; 1.5 TiB -> "1,536GB"
// From 1,000 GB on the whole number is written out with its thousands
// separators rather than in exponent form.
std::string DriveSizeText(uint64_t bytes, const ::platform::Locale& locale);

// The Type column of a mounted file system, from its kernel type name
// ("ext4", "nfs4", "fuse.sshfs", ...): "Local Disk", "LAN Disk",
// "CDRom Drive", "RAM Disk", or "Unknown Type" for a type not known here.
std::string_view DriveTypeText(std::string_view fileSystemType);

}  // namespace tarn::shell
