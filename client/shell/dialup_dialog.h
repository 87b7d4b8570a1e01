// The "Dial-up Networking Logon" dialog, asked when a dial-up entry has no
// stored password. GUI thread only.
#pragma once

#include <QWidget>

#include <string>

namespace tarn::shell {

// AskDialUpPassword: "Tarn could not find a password for connecting to",
// the entry, the stored user name (read-only) and a masked password of up
// to 256 characters. False on Cancel.
bool AskDialUpPassword(QWidget* owner, const std::string& entry, const std::string& userName,
                       std::string* password);

}  // namespace tarn::shell
