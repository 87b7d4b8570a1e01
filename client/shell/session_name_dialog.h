// The session-name dialog: "New Session" or "Rename Session". GUI thread
// only.
#pragma once

#include <QWidget>

#include <functional>
#include <string>

#include "client/session/ui.h"

namespace tarn::shell {

// The rule the name dialog states under its box.
inline constexpr const char* kSessionNameRule =
    "A name cannot contain a backslash (\\), line breaks or other control characters.";

// AskSessionName: the name dialog, proposing `*name`. OK runs
// CheckSessionName; a failure is shown through `ui` and the dialog stays.
// True with `*name` set when a new, valid name was entered; false on
// Cancel. `exists` answers whether a session of that name exists.
bool AskSessionName(QWidget* owner, Ui& ui, bool renaming,
                    const std::function<bool(const std::string&)>& exists, std::string* name);

}  // namespace tarn::shell
