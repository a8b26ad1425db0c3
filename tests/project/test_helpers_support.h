// Test support of the project model: a private temporary folder for one test,
// removed with everything in it when the test ends and optionally made the
// program folder for the test's duration; the items of a string list.
#pragma once

#include <filesystem>
#include <vector>

#include "platform/rtl/Classes.h"
#include "platform/rtl/FileUtils.h"

inline std::vector<AnsiString> Items(const TStrings& list) {
  std::vector<AnsiString> items;
  for (int i = 0; i < list.Count(); ++i) items.push_back(list[i]);
  return items;
}

class TempFolder {
public:
  explicit TempFolder(bool asProgramFolder = false)
      : path_(MakeTempFolder("harvella-project-")), programFolder_(asProgramFolder) {
    if (programFolder_) {
      savedProgramFolder_ = ProgramFolder();
      SetProgramFolder(path_);
    }
  }
  ~TempFolder() {
    if (programFolder_) SetProgramFolder(savedProgramFolder_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder, with a trailing "/".
  const AnsiString& Path() const { return path_; }
  AnsiString operator/(const AnsiString& name) const { return path_ + name; }
  void Write(const AnsiString& name, const AnsiString& bytes) const {
    WriteFileAtomically(path_ + name, bytes);
  }
  AnsiString Read(const AnsiString& name) const {
    AnsiString bytes;
    ReadFileToString(path_ + name, bytes);
    return bytes;
  }

private:
  AnsiString path_;
  bool programFolder_;
  AnsiString savedProgramFolder_;
};
