// tarn-cli queue: schedule files from the shell.
//
//   queue show FILE
//   queue add FILE SESSION get|put|append REMOTE LOCAL [--ascii|--binary] [--passive|--active]
//   queue rm FILE N
//
// show prints one line per entry in queue order, tab-separated, the queue
// window's columns: Hostname, Direction, Local file name, Transfer Type,
// Passive Transfer, Remote file name. add appends an entry (creating the
// file when it is missing); LOCAL is made absolute, since the run starts in
// another folder. Without --ascii or --binary the ASCII extension list
// decides; without --passive or --active the PASV setting does. rm removes
// entry N (1-based, as show numbers them by line). Files are replaced
// whole, never left torn.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "client/session/app_state.h"
#include "platform/registry.h"

namespace tarn::cli {

inline constexpr const char* kQueueUsage =
    "usage: queue show FILE | queue add FILE SESSION get|put|append REMOTE LOCAL "
    "[--ascii|--binary] [--passive|--active] | queue rm FILE N";

// `args` are the words after "queue". Rows go to `out`; failures and
// warnings (a session that is not stored, a cut last record) to `err`.
// True when the command did what it was asked.
bool RunQueueCommand(const std::vector<std::string>& args, platform::Registry& reg,
                     const AppSettings& settings, std::FILE* out, std::FILE* err);

}  // namespace tarn::cli
