// Helpers of the rtl tests: a private temporary folder removed afterwards,
// a file's bytes, and the items of a string list.
#pragma once

#include "platform/rtl/Classes.h"
#include "platform/rtl/FileUtils.h"

#include <filesystem>
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
