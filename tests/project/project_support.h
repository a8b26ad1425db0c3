// Test support of the project model: the bytes of a test data file, scripted
// cases, a private temporary folder for one test (removed with everything in
// it when the test ends, optionally the program folder and the user's data
// folder meanwhile), the items of a string list, and the nodes of a site tree
// or its queue.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <vector>

#include "platform/rtl/Classes.h"
#include "platform/rtl/FileUtils.h"
#include "project/uQuere.h"

inline AnsiString TestData(const AnsiString& name) {
  AnsiString bytes;
  ReadFileToString(AnsiString(HARVELLA_TEST_DATA) + "/" + name, bytes);
  return bytes;
}

// Runs the scripted case in the data file name: each line "> command" is
// passed to run, which returns its answers (lines ended by "\n"); comments
// ("#") and blank lines stay, the answers in the file are replaced. The case
// passes when this gives the file again byte for byte; otherwise what it gave
// is left in the build folder as the file's name with ".actual" added.
inline void ExpectScriptedAnswers(const AnsiString& name, const std::function<AnsiString(const AnsiString&)>& run) {
  const AnsiString script = TestData(name);
  std::istringstream in(script);
  AnsiString line, out;
  while (std::getline(in, line)) {
    const bool command = line.rfind("> ", 0) == 0;
    if (!command && !line.empty() && line[0] != '#') continue;
    out += line + "\n";
    if (command) out += run(line.substr(2));
  }
  EXPECT_EQ(out, script) << name;
  if (out != script) WriteFileAtomically(AnsiString(HARVELLA_BUILD_DIR) + "/" + ExtractFileName(name) + ".actual", out);
}

inline std::vector<AnsiString> Items(const TStrings& list) {
  std::vector<AnsiString> items;
  for (int i = 0; i < list.Count(); ++i) items.push_back(list[i]);
  return items;
}

class TempFolder {
public:
  explicit TempFolder(bool asProgramFolder = false)
      : path_(MakeTempFolder("harvella-project-")), savedProgramFolder_(ProgramFolder()) {
    if (!asProgramFolder) return;
    SetProgramFolder(path_);
    SetUserDataFolder(path_);
  }
  ~TempFolder() {
    SetProgramFolder(savedProgramFolder_);
    SetUserDataFolder("");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder, with a trailing "/".
  const AnsiString& Path() const { return path_; }
  AnsiString operator/(const AnsiString& name) const { return path_ + name; }
  void Write(const AnsiString& name, const AnsiString& bytes) const { WriteFileAtomically(path_ + name, bytes); }
  AnsiString Read(const AnsiString& name) const {
    AnsiString bytes;
    ReadFileToString(path_ + name, bytes);
    return bytes;
  }

private:
  AnsiString path_;
  AnsiString savedProgramFolder_;
};

// Every node of the tree but the root, depth first by child index.
inline std::vector<TDataObj*> TreeNodes(const TListObj& tree) {
  std::vector<TDataObj*> nodes, pending{tree.Root};
  while (!pending.empty()) {
    TDataObj* node = pending.back();
    pending.pop_back();
    if (node != tree.Root) nodes.push_back(node);
    for (int i = node->ChildCount() - 1; i >= 0; --i) pending.push_back(node->Child(i));
  }
  return nodes;
}

inline std::vector<TDataObj*> QueuedNodes(const TQuereObj& queue) {
  std::vector<TDataObj*> nodes;
  for (int i = 0; i < queue.Count(); ++i)
    for (TDataObj* node : queue.BucketNodes(i)) nodes.push_back(node);
  return nodes;
}
