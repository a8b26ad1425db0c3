// Helpers of the rtl tests (the image library's tests use them too): a private
// temporary folder removed afterwards, a file's bytes, the items of a string
// list, the message of an expected exception, and a limit on file sizes.
#pragma once

#include "platform/rtl/Classes.h"
#include "platform/rtl/FileUtils.h"

#include <csignal>
#include <filesystem>
#include <functional>
#include <sys/resource.h>
#include <vector>

class ScratchFolder {
public:
  ScratchFolder() : path_(MakeTempFolder("rtl-test-")) {}
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder with a trailing '/', plus name.
  AnsiString operator/(const AnsiString& name) const { return path_ + name; }
  const AnsiString& path() const { return path_; }

private:
  AnsiString path_;
};

inline AnsiString Contents(const AnsiString& name) {
  AnsiString bytes;
  ReadFileToString(name, bytes);
  return bytes;
}

inline std::vector<AnsiString> Items(const TStrings& list) {
  std::vector<AnsiString> items;
  for (int i = 0; i < list.Count(); ++i)
    items.push_back(list[i]);
  return items;
}

// The message of the exception of type E that action raises, or "no exception".
template <class E>
AnsiString MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const E& e) {
    return e.Message();
  }
  return "no exception";
}

// Lets writes beyond 'bytes' fail with EFBIG (also for root) while in scope.
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }

private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};
