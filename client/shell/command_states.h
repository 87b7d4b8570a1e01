// The enabled and shown states of the window's commands, as a function of
// the connection's state, so that the tool bar and the menu agree and the
// rules are tested without a display.
#pragma once

#include "client/session/ui.h"

namespace tarn::shell {

// Command ids of the window (the tool bar's buttons carry the same).
enum CommandId : int {
  kCmdConnect = 100,
  kCmdDisconnect = 101,
  kCmdDownload = 102,
  kCmdUpload = 103,
  kCmdCancel = 104,
  kCmdBrowseFile = 105,
  kCmdSettings = 107,
  kCmdZoomPath = 114,
  kCmdUpOneLevel = 115,
  kCmdAbout = 167,
  kCmdExit = 168,
  kCmdModeAscii = 40048,
  kCmdModeBinary = 40049,
  kCmdModeAuto = 40050,
  kCmdHelp = 40053,
  kCmdCustomCommand = 40065,
  kCmdMvsOptions = 40066,
  kCmdVmOptions = 40067,
  kCmdRefreshPc = 40068,
  kCmdRefreshHost = 40069,
  kCmdPermissions = 40070,
  kCmdUpdateProgram = 40073,
  kCmdAppend = 40075,
};

enum class WindowConn { kDisconnected, kConnecting, kConnected, kDisconnecting };

struct WindowFacts {
  WindowConn conn = WindowConn::kDisconnected;
  bool listingRunning = false;   // an op of the host panes is on the worker
  bool hasParent = false;        // the host directory on show has a parent
  bool sessionSelected = false;  // a session (not a branch or placeholder) is selected
};

struct CommandState {
  bool enabled = false;
  bool visible = true;   // tool bar: hidden buttons take no room
};

// The state of one command for these facts. Commands this table does not
// know are enabled.
CommandState StateOf(int command, const WindowFacts& facts);

// The window command whose enabled state the engine decides through
// Ui::EnableCommand.
int CommandOfUi(UiCommand command);

// The tool tip of a tool-bar button ("" for none).
const char* ToolTipOf(int command);

}  // namespace tarn::shell
