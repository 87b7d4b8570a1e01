// The three host-type integers of a connection. HostFamily and ServerType
// values are the engine's (HOST_* and SERVER_* in ftp_conn.h); SystemCode
// values are named here. Header only: the listing code reads these numbers
// but never links the engine.
#pragma once

#include <cstdint>

#include "client/engine/ftp_conn.h"

namespace tarn {

// SystemCode values, set by log-on from the SYST reply.
enum : int32_t {
  SYSTEM_DEFAULT = 1,        // also VSE with UNIX listings
  SYSTEM_DEVICE_PWD_A = 3,   // PWD replies device:[directory]
  SYSTEM_DEVICE_PWD_B = 4,
  SYSTEM_VSE_NATIVE = 5,
  SYSTEM_MVS = 13,           // switches between MVS and UNIX path styles
  SYSTEM_MS_DOS_STYLE = 15,  // Windows server listing in MS-DOS style
  SYSTEM_VM = 16,
  SYSTEM_NETWARE = 17,
};

}  // namespace tarn
