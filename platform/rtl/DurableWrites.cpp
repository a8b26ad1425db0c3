// The file systems awaiting a flush, each with a folder of it kept open
// until it is flushed.
#include "platform/rtl/DurableWrites.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

struct TFileSystem {
  int FolderFd = -1;      // open from the first note on until the flush
  AnsiString Folder;      // for the messages
  bool Awaiting = false;  // files noted since its last flush
};

std::mutex registryLock;
std::map<uint64_t, TFileSystem>& Registry() {
  static std::map<uint64_t, TFileSystem> fileSystems;
  return fileSystems;
}

// A folder that could not be opened when noted is tried again.
void OpenFolder(TFileSystem& fileSystem) {
  if (fileSystem.FolderFd >= 0) return;
  const AnsiString& folder = fileSystem.Folder;
  fileSystem.FolderFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

void NoteUnflushedFile(uint64_t device, const AnsiString& folder) {
  std::lock_guard<std::mutex> guard(registryLock);
  TFileSystem& fileSystem = Registry()[device];
  if (fileSystem.FolderFd < 0) fileSystem.Folder = folder;
  OpenFolder(fileSystem);
  fileSystem.Awaiting = true;
}

bool MakeWrittenFilesDurable(AnsiString& error) {
  // One pass at a time: a pass closes the folders it flushed.
  static std::mutex passLock;
  std::lock_guard<std::mutex> pass(passLock);
  std::vector<std::pair<uint64_t, TFileSystem>> due;
  {
    std::lock_guard<std::mutex> guard(registryLock);
    for (auto& [device, fileSystem] : Registry()) {
      if (!std::exchange(fileSystem.Awaiting, false)) continue;
      OpenFolder(fileSystem);
      due.emplace_back(device, fileSystem);
    }
  }
  std::vector<uint64_t> failed;
  for (const auto& [device, fileSystem] : due) {
    const int result = fileSystem.FolderFd < 0 ? -1 : ::syncfs(fileSystem.FolderFd);
    if (result == 0) continue;
    const int reason = fileSystem.FolderFd < 0 ? ENOENT : errno;
    error = "The files saved in \"" + fileSystem.Folder + "\" could not be flushed to disk. " + SysErrorMessage(reason);
    failed.push_back(device);
  }
  std::lock_guard<std::mutex> guard(registryLock);
  for (uint64_t device : failed) Registry()[device].Awaiting = true;
  // A flushed file system with nothing noted meanwhile is let go, so that
  // the program holds no folder of a disk the user may want to unmount.
  for (auto entry = Registry().begin(); entry != Registry().end();) {
    if (entry->second.Awaiting) {
      ++entry;
      continue;
    }
    if (entry->second.FolderFd >= 0) ::close(entry->second.FolderFd);
    entry = Registry().erase(entry);
  }
  return failed.empty();
}

int FileSystemsAwaitingFlush() {
  std::lock_guard<std::mutex> guard(registryLock);
  int count = 0;
  for (const auto& entry : Registry()) count += entry.second.Awaiting ? 1 : 0;
  return count;
}
