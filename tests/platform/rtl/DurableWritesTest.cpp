// Files committed without a flush of their own: they are whole under their
// names at once, their file system waits for the next durability pass, and
// after the pass no folder of it is held open (a disk the user unmounts is
// not kept busy). Files committed with their flush need no pass.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "TestHelpers.h"
#include "platform/rtl/AtomicFile.h"
#include "platform/rtl/DurableWrites.h"
#include "platform/rtl/FileUtils.h"

namespace {

// The descriptors of this process open on folder (given without the final "/").
int DescriptorsOn(const std::filesystem::path& folder) {
  int count = 0;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    if (std::filesystem::read_symlink(entry.path(), ignored) == folder) ++count;
  return count;
}

void Commit(const AnsiString& path, const AnsiString& bytes, bool flushed) {
  AtomicFile file(path);
  file.Write(bytes.data(), bytes.size());
  if (flushed)
    file.Commit();
  else
    file.CommitUnflushed();
}

}  // namespace

TEST(DurableWrites, UnflushedFilesWaitForOnePassThatLetsTheirFolderGo) {
  ScratchFolder folder;
  AnsiString error;
  ASSERT_TRUE(MakeWrittenFilesDurable(error)) << error;
  ASSERT_EQ(FileSystemsAwaitingFlush(), 0);

  Commit(folder / "kept.htm", "flushed", true);
  EXPECT_EQ(FileSystemsAwaitingFlush(), 0);

  for (const char* name : {"a.htm", "b.htm", "c.htm"}) Commit(folder / name, name, false);
  EXPECT_EQ(Contents(folder / "b.htm"), "b.htm");
  EXPECT_EQ(FileSystemsAwaitingFlush(), 1) << "one file system for the three files";
  const std::filesystem::path held(std::string(ExcludeTrailingPathDelimiter(folder.path())));
  EXPECT_EQ(DescriptorsOn(held), 1);

  ASSERT_TRUE(MakeWrittenFilesDurable(error)) << error;
  EXPECT_EQ(FileSystemsAwaitingFlush(), 0);
  EXPECT_EQ(DescriptorsOn(held), 0);
  ASSERT_TRUE(MakeWrittenFilesDurable(error)) << "nothing to flush";
}

// A new file is noted on its own file system whether its folder's names
// are kept (a folder this process made) or not (one made by another
// program): files in two folders of one file system are one file system to
// flush, a folder on another file system (in memory, /dev/shm) is another.
TEST(DurableWrites, NewFilesAreNotedOnTheFileSystemOfTheirFolder) {
  ScratchFolder folder;
  AnsiString error;
  ASSERT_TRUE(MakeWrittenFilesDurable(error)) << error;
  ASSERT_TRUE(ForceDirectories(folder / "Made"));
  ASSERT_EQ(mkdir((folder / "Outside").c_str(), 0755), 0);
  const auto commit = [](const AnsiString& path) {
    AtomicFile file(path, TTargetPath::ResolvedMissing);
    file.Write("new", 3);
    file.CommitUnflushed();
  };
  for (const char* name : {"Made/a.htm", "Made/b.htm", "Outside/c.htm"}) commit(folder / name);
  EXPECT_EQ(FileSystemsAwaitingFlush(), 1);

  char memory[] = "/dev/shm/rtl-test-XXXXXX";
  struct stat here {}, there {};
  if (mkdtemp(memory) && stat(memory, &there) == 0 && stat(folder.path().c_str(), &here) == 0 &&
      here.st_dev != there.st_dev) {
    const AnsiString made = AnsiString(memory) + "/Made";
    ASSERT_TRUE(ForceDirectories(made));
    commit(made + "/d.htm");
    EXPECT_EQ(FileSystemsAwaitingFlush(), 2);
  }
  ASSERT_TRUE(MakeWrittenFilesDurable(error)) << error;
  EXPECT_EQ(FileSystemsAwaitingFlush(), 0);
  std::error_code ignored;
  std::filesystem::remove_all(memory, ignored);
}
