// The PC side's own changes to local files, without Qt: delete, rename and
// new folder with the system's error texts, the confirmation texts, and
// the rule that a deleted partial download takes its saved resume state
// with it.
#pragma once

#include <string>

namespace tarn {
struct AppState;
class SessionStore;
}  // namespace tarn

namespace tarn::shell {

// "Confirm delete of selected file?" or "Confirm delete of selected files?"
std::string PcDeleteQuestion(size_t count);

// "Failed to delete file '/home/jo/a.txt' - Permission denied"
std::string PcDeleteFailedText(const std::string& path, const std::string& error);

// Deletes the file (or symbolic link) at `path`; never a folder. False with
// the system's error text in *error.
bool DeleteLocalFile(const std::string& path, std::string* error);

// Renames `from` to `to` inside `folder`. Refuses a name that is empty, "."
// or "..", or holds "/" or a control character, and never replaces an
// existing file (the new name must be free). False with the reason in
// *error.
bool RenameLocalFile(const std::string& folder, const std::string& from, const std::string& to,
                     std::string* error);

// Creates folder `name` inside `folder`; the same name rules. False with
// the reason in *error.
bool CreateLocalFolder(const std::string& folder, const std::string& name, std::string* error);

// The name rules of RenameLocalFile and CreateLocalFolder: "" when `name`
// may be used, else the reason.
std::string LocalNameProblem(const std::string& name);

// After `deletedPath` was deleted: when the saved resume state of session
// `sessionName` names it as the partial file of an interrupted download,
// the state is cleared (the download counts as done) and saved. True when
// it was cleared. A state for another file is left as it is.
bool ClearResumeStateOf(SessionStore& store, AppState& app, const std::string& sessionName,
                        const std::string& deletedPath);

}  // namespace tarn::shell
