// The host-type integers the listing code reads from a connection:
// HostFamily, ServerType and SystemCode values (HOST_*, SERVER_* and
// SYSTEM_*), defined beside FtpConn in ftp_conn.h.
#pragma once

#include "client/engine/ftp_conn.h"
