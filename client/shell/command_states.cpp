#include "client/shell/command_states.h"

namespace tarn::shell {

CommandState StateOf(int command, const WindowFacts& f) {
  const bool connected = f.conn == WindowConn::kConnected;
  const bool disconnected = f.conn == WindowConn::kDisconnected;
  const bool idle = connected && !f.listingRunning;
  switch (command) {
    case kCmdConnect:
      // Shown (and pressed while connecting) until logged on.
      return {disconnected, !connected};
    case kCmdDisconnect:
      return {connected, connected};
    case kCmdCancel:
      return {f.conn == WindowConn::kConnecting || (connected && f.listingRunning), true};
    case kCmdZoomPath:
    case kCmdRefreshHost:
    case kCmdCustomCommand:
      return {idle, true};
    case kCmdUpOneLevel:
      return {idle && f.hasParent, true};
    case kCmdDownload:
    case kCmdUpload:
    case kCmdAppend:
      return {idle, connected};
    case kCmdBrowseFile:
    case kCmdMvsOptions:
    case kCmdVmOptions:
    case kCmdPermissions:
      return {false, true};
    default:
      return {true, true};
  }
}

int CommandOfUi(UiCommand command) {
  switch (command) {
    case UiCommand::kChangePermissions: return kCmdPermissions;
  }
  return 0;
}

const char* ToolTipOf(int command) {
  switch (command) {
    case kCmdConnect: return "Connect";
    case kCmdDisconnect: return "Disconnect";
    case kCmdDownload: return "Download";
    case kCmdUpload: return "Upload";
    case kCmdCancel: return "Cancel";
    case kCmdBrowseFile: return "Browse File";
    case kCmdSettings: return "Settings";
    case kCmdZoomPath: return "Zoom Path";
    case kCmdUpOneLevel: return "Up One Level (Host)";
    case kCmdModeAscii: return "ASCII/EBCDIC";
    case kCmdModeBinary: return "Binary";
    case kCmdModeAuto: return "Auto Detect";
    case kCmdRefreshPc: return "Refresh PC View";
    case kCmdRefreshHost: return "Refresh Host View";
    case kCmdAppend: return "Append to Host File";
    default: return "";
  }
}

}  // namespace tarn::shell
