#include "client/cli/queue_commands.h"

#include <filesystem>

#include "client/engine/transfer.h"
#include "client/session/queue.h"
#include "client/session/queue_file.h"
#include "client/session/session_store.h"

namespace tarn::cli {

namespace {

bool Fail(std::FILE* err, const std::string& text) {
  std::fprintf(err, "%s\n", text.c_str());
  return false;
}

// Loads `path`; a missing (or empty) file is an empty queue when
// `missingIsEmpty`. False after the reason went to `err`.
bool Load(const std::string& path, bool missingIsEmpty, TransferQueue* queue, std::FILE* err) {
  std::error_code ec;
  if (missingIsEmpty && (!std::filesystem::exists(path, ec) ||
                         (std::filesystem::is_regular_file(path, ec) &&
                          std::filesystem::file_size(path, ec) == 0))) {
    queue->ClearQueue();
    return true;
  }
  const QueueLoadResult result = ReadQueueFile(path, queue);
  const std::string notice = QueueLoadNotice(path, result);
  if (!notice.empty()) std::fprintf(err, "%s%s\n", result.ok() ? "warning: " : "", notice.c_str());
  return result.ok();
}

bool Save(const std::string& path, const TransferQueue& queue, std::FILE* err) {
  std::string error;
  if (SaveQueueFile(path, queue, &error)) return true;
  return Fail(err, path + ": " + error);
}

bool Show(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  if (args.size() != 2) return Fail(err, "usage: queue show FILE");
  TransferQueue queue;
  if (!Load(args[1], false, &queue, err)) return false;
  for (const auto& row : QueueRows(queue))
    std::fprintf(out, "%s\t%s\t%s\t%s\t%s\t%s\n", row.hostname.c_str(), row.direction.c_str(),
                 row.localFile.c_str(), row.transferType.c_str(), row.passive.c_str(),
                 row.remoteFile.c_str());
  return true;
}

bool Add(const std::vector<std::string>& argsIn, platform::Registry& reg, const AppSettings& settings,
         std::FILE* err) {
  std::vector<std::string> args;
  char type = 0;
  int passive = -1;
  for (const auto& a : argsIn) {
    if (a == "--ascii") type = 'A';
    else if (a == "--binary") type = 'I';
    else if (a == "--passive") passive = 1;
    else if (a == "--active") passive = 0;
    else if (a.size() > 2 && a.compare(0, 2, "--") == 0) return Fail(err, "queue add: unknown option " + a);
    else args.push_back(a);
  }
  if (args.size() != 6)
    return Fail(err, "usage: queue add FILE SESSION get|put|append REMOTE LOCAL "
                     "[--ascii|--binary] [--passive|--active]");
  const std::string& file = args[1];
  const std::string& session = args[2];
  const std::string& verb = args[3];
  const std::string& remote = args[4];
  int32_t flags;
  if (verb == "get") flags = kQueueDownload;
  else if (verb == "put") flags = kQueueUpload;
  else if (verb == "append") flags = 0;
  else return Fail(err, "queue add: the direction is get, put or append, not \"" + verb + "\"");
  if (session.empty() || remote.empty() || args[5].empty())
    return Fail(err, "queue add: the session, remote and local names must not be empty");

  std::error_code ec;
  const std::string local = std::filesystem::absolute(args[5], ec).lexically_normal().string();
  if (ec) return Fail(err, args[5] + ": " + ec.message());
  // The name of the file where it is picked: the host's for a download,
  // the PC's otherwise.
  const std::string picked = (flags & kQueueDownload) ? remote : local;
  if (!type) type = IsAsciiExtension(picked.substr(picked.rfind('/') + 1), settings.cAsciiExtensions) ? 'A' : 'I';
  flags |= type == 'A' ? kQueueAscii : kQueueBinary;
  if (passive < 0) passive = settings.bPassive ? 1 : 0;
  if (passive) flags |= kQueuePassive;

  QEntry entry;
  if (!MakeQEntry(remote, local, flags, &entry))
    return Fail(err, "queue add: a file name is longer than 259 characters");
  if (session.size() >= kQueueTextCapacity)
    return Fail(err, "queue add: the session name is longer than 259 characters");

  TransferQueue queue;
  if (!Load(file, true, &queue, err)) return false;
  platform::RegKey key;
  if (reg.OpenKey(std::string(kSessionsKey) + "\\" + session, &key) != platform::RegStatus::kOk)
    std::fprintf(err, "warning: no stored session is named \"%s\"; the run will not connect until there is one\n",
                 session.c_str());
  if (!queue.AddToQueue(session, entry)) return Fail(err, "Error adding QEntry in function 'CmdFtpAddToQueue'");
  return Save(file, queue, err);
}

bool Remove(const std::vector<std::string>& args, std::FILE* err) {
  if (args.size() != 3) return Fail(err, "usage: queue rm FILE N");
  const std::string& n = args[2];
  if (n.empty() || n.size() > 9 || n.find_first_not_of("0123456789") != std::string::npos)
    return Fail(err, "queue rm: N is an entry number counted from 1, not \"" + n + "\"");
  const size_t index = std::stoul(n);
  TransferQueue queue;
  if (!Load(args[1], false, &queue, err)) return false;
  const size_t count = queue.EntryCount();
  if (index < 1 || !queue.RemoveEntry(index - 1))
    return Fail(err, "queue rm: " + args[1] + " holds " + std::to_string(count) +
                         (count == 1 ? " entry" : " entries") + ", there is no entry " + n);
  return Save(args[1], queue, err);
}

}  // namespace

bool RunQueueCommand(const std::vector<std::string>& args, platform::Registry& reg,
                     const AppSettings& settings, std::FILE* out, std::FILE* err) {
  if (args.empty()) return Fail(err, kQueueUsage);
  if (args[0] == "show") return Show(args, out, err);
  if (args[0] == "add") return Add(args, reg, settings, err);
  if (args[0] == "rm") return Remove(args, err);
  return Fail(err, kQueueUsage);
}

}  // namespace tarn::cli
