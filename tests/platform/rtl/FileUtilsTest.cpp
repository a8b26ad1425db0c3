#include "platform/rtl/FileUtils.h"

#include "platform/rtl/AtomicFile.h"
#include "platform/rtl/FolderEntries.h"

#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(FileUtils, PathTextHelpers) {
  EXPECT_EQ(ExtractFilePath("a/b/c.txt"), "a/b/");
  EXPECT_EQ(ExtractFileDir("/c.txt"), "/");
  EXPECT_EQ(ExtractFileName("a/b/c.txt"), "c.txt");
  EXPECT_EQ(ExtractFileExt("a/b.d/c.tar.gz"), ".gz");
  EXPECT_EQ(ExtractFileExt("a/b.d/c"), "");
  EXPECT_EQ(ExtractFileExt("a\\b.txt"), ".txt");
  EXPECT_EQ(ChangeFileExt("a/b.d/c", ".html"), "a/b.d/c.html");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
  EXPECT_EQ(ExpandFileName("/x/./y/../z//w"), "/x/z/w");
  EXPECT_EQ(ExpandFileName("/x/y/"), "/x/y/");
  EXPECT_EQ(ExpandFileName("/.."), "/");
  EXPECT_EQ(ExpandFileName("rel"), IncludeTrailingPathDelimiter(GetCurrentDir()) + "rel");
  EXPECT_FALSE(IsPathDelimiter("a/b", 4));
}

// "." and ".." at the start, the end and beyond the root, doubled
// separators, and the trailing '/' that a path ending in a folder keeps.
TEST(FileUtils, ExpandFileNameResolvesDotsSeparatorsAndTrailingDelimiters) {
  const AnsiString cwd = GetCurrentDir();
  const struct {
    AnsiString Asked, Expanded;
  } cases[] = {
      {"/", "/"},
      {"//", "/"},
      {"/a//", "/a/"},
      {"/a/b/..", "/a/"},
      {"/a/b/.", "/a/b/"},
      {"/a/../..", "/"},
      {"/x/y/../../../z", "/z"},
      {"/a/./b/../c", "/a/c"},
      {".", IncludeTrailingPathDelimiter(cwd)},
      {"a/../b", IncludeTrailingPathDelimiter(cwd) + "b"},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandFileName(c.Asked), c.Expanded) << c.Asked;
  EXPECT_EQ(ExpandFileName(".."), IncludeTrailingPathDelimiter(ExtractFileDir(cwd)));
}

TEST(FileUtils, FoldersAreNotFilesAndForceDirectoriesKeepsCurrentFolder) {
  ScratchFolder folder;
  AnsiString cwd = GetCurrentDir();
  ASSERT_TRUE(ForceDirectories(folder / "a/b/c/"));
  EXPECT_EQ(GetCurrentDir(), cwd);
  EXPECT_TRUE(DirectoryExists(folder / "a/b/c"));
  EXPECT_FALSE(FileExists(folder / "a/b"));
  EXPECT_EQ(FileSizeOf(folder / "a/b"), -1);
  EXPECT_TRUE(ForceDirectories(folder / "a/b"));
  EXPECT_FALSE(ForceDirectories(""));
  EXPECT_TRUE(ForceDirectories(folder / "x/../y"));
  EXPECT_EQ(FindFolders(folder.path(), "*"), (std::vector<AnsiString>{"a", "y"}));
  EXPECT_TRUE(EndsStr("/", ProgramFolder()) && DirectoryExists(ProgramFolder()));  // the program's own folder

  WriteFileAtomically(folder / "a/file", "12345");
  EXPECT_TRUE(FileExists(folder / "a/file"));
  EXPECT_FALSE(DirectoryExists(folder / "a/file"));
  EXPECT_EQ(FileSizeOf(folder / "a/file"), 5);
  EXPECT_FALSE(ForceDirectories(folder / "a/file/sub"));
  EXPECT_FALSE(CreateDir(folder / "a"));
  EXPECT_FALSE(DeleteFile(folder / "a/b"));
  EXPECT_FALSE(RemoveDir(folder / "a/b"));  // not empty
  EXPECT_TRUE(RemoveDir(folder / "a/b/c"));
  EXPECT_TRUE(DeleteFile(folder / "a/file"));
}

// Levels are made from the deepest existing folder down: through a link to
// a folder, but never through a file or a link to nothing.
TEST(FileUtils, ForceDirectoriesMakesLevelsBelowTheDeepestExistingFolder) {
  ScratchFolder folder;
  ASSERT_TRUE(ForceDirectories(folder / "real"));
  ASSERT_EQ(symlink((folder / "real").c_str(), (folder / "link").c_str()), 0);
  EXPECT_TRUE(ForceDirectories(folder / "link/new/deep"));
  EXPECT_TRUE(DirectoryExists(folder / "real/new/deep"));
  EXPECT_TRUE(ForceDirectories(folder / "link/new"));

  WriteFileAtomically(folder / "file", "x");
  EXPECT_FALSE(ForceDirectories(folder / "file"));
  EXPECT_FALSE(ForceDirectories(folder / "file/sub/deeper"));
  ASSERT_EQ(symlink((folder / "nothing").c_str(), (folder / "dangling").c_str()), 0);
  EXPECT_FALSE(ForceDirectories(folder / "dangling/sub"));
  EXPECT_FALSE(DirectoryExists(folder / "nothing"));
  EXPECT_EQ(Contents(folder / "file"), "x");
}

// What the program writes goes to the user's folders, never beside the program.
TEST(FileUtils, UserFoldersComeFromTheEnvironment) {
  ::setenv("HOME", "/home/someone", 1);
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(UserDataFolder(), "/home/someone/.local/share/harvella/");
  EXPECT_EQ(DefaultDownloadFolder(), "/home/someone/Downloads/Harvella/");
  ::setenv("XDG_DATA_HOME", "/data/user", 1);
  EXPECT_EQ(UserDataFolder(), "/data/user/harvella/");
  ::setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored
  EXPECT_EQ(UserDataFolder(), "/home/someone/.local/share/harvella/");
  ::setenv("HOME", "", 1);  // the password database's home instead
  EXPECT_TRUE(StartsStr("/", UserHomeFolder()) && EndsStr("/", UserHomeFolder()));
}

TEST(FileUtils, ResolvePathReusesNamesDifferingOnlyInCase) {
  ScratchFolder folder;
  ASSERT_TRUE(ForceDirectories(folder / "Site/Images"));
  WriteFileAtomically(folder / "Site/Index.HTML", "home");
  EXPECT_EQ(ResolvePath(folder / "site/index.html"), folder / "Site/Index.HTML");
  EXPECT_EQ(ResolvePath(folder / "SITE/images/new/x.gif"), folder / "Site/Images/new/x.gif");
  EXPECT_TRUE(FileExists(folder / "site/INDEX.html"));
  EXPECT_EQ(Contents(folder / "site/index.html"), "home");
  // Writing through a lower-cased path replaces the existing file.
  WriteFileAtomically(folder / "site/index.html", "new");
  EXPECT_EQ(FindFiles(folder / "Site", "*"), (std::vector<AnsiString>{"Index.HTML"}));
  EXPECT_EQ(Contents(folder / "Site/Index.HTML"), "new");
  // An exact name wins over a case variant; of several variants the
  // smallest by bytes is taken.
  std::ofstream(folder / "Site/index.html") << "exact";
  EXPECT_EQ(Contents(folder / "Site/index.html"), "exact");
  EXPECT_EQ(Contents(folder / "Site/Index.HTML"), "new");
  EXPECT_EQ(Contents(folder / "Site/INDEX.html"), "new");
  ASSERT_TRUE(ForceDirectories(folder / "site/images/sub"));
  EXPECT_TRUE(DirectoryExists(folder / "Site/Images/sub"));
  EXPECT_FALSE(DirectoryExists(folder / "site/images/sub/x"));
  // A folder large enough to keep its names finds the folders made in it
  // since, whatever their case.
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(ForceDirectories(folder / ("Big/D" + std::to_string(i))));
  ASSERT_TRUE(ForceDirectories(folder / "big/New"));
  EXPECT_EQ(ResolvePath(folder / "BIG/NEW/x"), folder / "Big/New/x");
  EXPECT_EQ(ResolvePath(folder / "big/d299"), folder / "Big/D299");
  EXPECT_FALSE(DirectoryExists(folder / "big/d300"));
}

// A path missing a folder or two is resolved below its deepest existing
// folder; below a folder found in another case an exact name still wins
// over its twins, and the look-up tells when nothing stands at the end.
TEST(FileUtils, ResolvePathBelowTheDeepestExistingFolderTellsWhatIsMissing) {
  ScratchFolder folder;
  ASSERT_TRUE(ForceDirectories(folder / "Site/Docs"));
  WriteFileAtomically(folder / "Site/Docs/page.htm", "exact");
  std::ofstream(folder / "Site/Docs/PAGE.htm") << "twin";  // a twin no writer of ours would make
  WriteFileAtomically(folder / "Site/file", "x");
  const struct {
    const char* Asked;
    const char* Found;
    bool Missing;
  } cases[] = {
      {"site/docs/page.htm", "Site/Docs/page.htm", false},
      {"site/docs/Page.htm", "Site/Docs/PAGE.htm", false},
      {"site/DOCS/", "Site/Docs/", false},
      {"Site/Docs/new.htm", "Site/Docs/new.htm", true},
      {"SITE/new/deeper/x.htm", "Site/new/deeper/x.htm", true},
      {"site/file/x", "Site/file/x", true},
  };
  for (const auto& c : cases) {
    bool missing = !c.Missing;
    EXPECT_EQ(ResolvePath(folder / c.Asked, missing), folder / c.Found) << c.Asked;
    EXPECT_EQ(missing, c.Missing) << c.Asked;
  }
}

// A path whose folder is missing is told apart from a missing name in a
// folder that is there (found in another case, too) and from a name below
// a file.
TEST(FileUtils, ResolvePathTellsAMissingFolderFromAMissingName) {
  ScratchFolder folder;
  ASSERT_TRUE(ForceDirectories(folder / "Site/Docs"));
  WriteFileAtomically(folder / "Site/file", "x");
  const struct {
    const char* Asked;
    bool Missing, FolderMissing;
  } cases[] = {
      {"Site/Docs", false, false},
      {"Site/Docs/new.htm", true, false},
      {"site/DOCS/new.htm", true, false},
      {"Site/new/x.htm", true, true},
      {"site/new/deeper/x.htm", true, true},
      {"Site/file/x", true, false},
  };
  for (const auto& c : cases) {
    bool missing = !c.Missing, folderMissing = !c.FolderMissing;
    bool missingAlone = !c.Missing;
    EXPECT_EQ(ResolvePath(folder / c.Asked, missing, folderMissing), ResolvePath(folder / c.Asked, missingAlone)) << c.Asked;
    EXPECT_EQ(missing, c.Missing) << c.Asked;
    EXPECT_EQ(missingAlone, c.Missing) << c.Asked;
    EXPECT_EQ(folderMissing, c.FolderMissing) << c.Asked;
  }
}

// A missing name in a folder that exists is looked up there alone, in a
// small folder and in a large one whose names are kept; threads making the
// same and other folders in a large folder at once all succeed, and every
// folder made is found again in any case.
TEST(FileUtils, NewNamesInExistingAndLargeFoldersAndFoldersMadeTogether) {
  ScratchFolder folder;
  ASSERT_TRUE(ForceDirectories(folder / "Site"));
  WriteFileAtomically(folder / "Site/Index.HTML", "home");
  EXPECT_EQ(ResolvePath(folder / "Site/INDEX.html"), folder / "Site/Index.HTML");
  EXPECT_EQ(ResolvePath(folder / "Site/new.html"), folder / "Site/new.html");
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(ForceDirectories(folder / ("Big/D" + std::to_string(i))));
  WriteFileAtomically(folder / "Big/Page.htm", "changes the folder");
  EXPECT_EQ(ResolvePath(folder / "Big/PAGE.HTM"), folder / "Big/Page.htm");
  EXPECT_EQ(ResolvePath(folder / "Big/d7/x"), folder / "Big/D7/x");

  constexpr int Threads = 8, Folders = 40;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < Threads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < Folders; ++i) {
        const std::string own = "Big/T" + std::to_string(t) + "N" + std::to_string(i);
        if (!ForceDirectories(folder / ("Big/Shared" + std::to_string(i) + "/x")) || !ForceDirectories(folder / own) ||
            ResolvePath(folder / LowerCase(own)) != folder / own)
          ++failures;
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  for (int t = 0; t < Threads; ++t)
    for (int i = 0; i < Folders; ++i) {
      const std::string own = "Big/T" + std::to_string(t) + "N" + std::to_string(i);
      EXPECT_EQ(ResolvePath(folder / UpperCase(own)), folder / own);
    }
}

// A folder another program filled is read once for its names, also while
// this process keeps changing other folders during the read, and the names
// of a folder of many entries stay kept while thousands of small folders
// are made after it.
TEST(FileUtils, AFolderIsReadOnceWhileOtherFoldersChange) {
  ScratchFolder folder;
  ASSERT_TRUE(ForceDirectories(folder / "Busy"));
  ASSERT_EQ(mkdir((folder / "Outside").c_str(), 0755), 0);
  for (int i = 0; i < 20000; ++i) std::ofstream(folder / ("Outside/Page" + std::to_string(i) + ".htm")) << "x";
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; !done; ++i) WriteFileAtomically(folder / ("Busy/f" + std::to_string(i % 50)), "x");
  });
  const unsigned long before = FolderScansForCase();
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(ResolvePath(folder / ("outside/PAGE" + std::to_string(i * 997) + ".HTM")),
              folder / ("Outside/Page" + std::to_string(i * 997) + ".htm"));
  done = true;
  writer.join();
  EXPECT_LE(FolderScansForCase() - before, 2u) << "the scratch folder once, then Outside once";

  ASSERT_TRUE(ForceDirectories(folder / "Site"));
  for (int i = 0; i < 6000; ++i) ASSERT_TRUE(ForceDirectories(folder / ("Site/D" + std::to_string(i))));
  const unsigned long made = FolderScansForCase();
  for (int i = 0; i < 6000; i += 7) ASSERT_EQ(ResolvePath(folder / ("site/d" + std::to_string(i))), folder / ("Site/D" + std::to_string(i)));
  EXPECT_EQ(FolderScansForCase(), made);
}

// The names a folder keeps follow the files this process writes, renames
// and removes in it, also while threads fill one folder at once; a change
// made by another program (here a file made directly, the folder's time
// then set apart) makes the folder be looked at again.
TEST(FileUtils, KeptNamesFollowFilesWrittenRenamedAndRemoved) {
  ScratchFolder folder;
  ASSERT_TRUE(ForceDirectories(folder / "Site"));
  for (int i = 0; i < 20; ++i) {
    const std::string page = "Page" + std::to_string(i) + ".htm";
    WriteFileAtomically(folder / ("Site/" + page), "x");
    EXPECT_EQ(ResolvePath(folder / ("site/" + UpperCase(page))), folder / ("Site/" + page));
  }
  EXPECT_EQ(FindFiles(folder / "Site", ".*"), std::vector<AnsiString>());
  ASSERT_TRUE(RenameFile(folder / "Site/Page3.htm", folder / "Site/pAGE3.htm"));
  EXPECT_EQ(ResolvePath(folder / "Site/page3.htm"), folder / "Site/pAGE3.htm");
  ASSERT_TRUE(DeleteFile(folder / "Site/PAGE4.HTM"));
  EXPECT_EQ(ResolvePath(folder / "Site/page4.htm"), folder / "Site/page4.htm");
  // Of two variants the smallest by bytes; once it is removed, the other.
  WriteFileAtomically(folder / "Site/a.txt", "small");
  WriteFileAtomically(folder / "Site/moved", "capital");
  ASSERT_TRUE(RenameFile(folder / "Site/moved", folder / "Site/A.TXT"));
  EXPECT_EQ(ResolvePath(folder / "Site/a.Txt"), folder / "Site/A.TXT");
  ASSERT_TRUE(DeleteFile(folder / "Site/A.TXT"));
  EXPECT_EQ(ResolvePath(folder / "Site/a.Txt"), folder / "Site/a.txt");

  std::ofstream(folder / "Site/Other.htm") << "another program";
  struct timespec apart[2] = {{0, UTIME_OMIT}, {1000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (folder / "Site").c_str(), apart, 0), 0);
  EXPECT_EQ(ResolvePath(folder / "Site/OTHER.HTM"), folder / "Site/Other.htm");

  constexpr int Threads = 8, Files = 30;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < Threads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < Files; ++i) {
        const std::string own = "Shared/T" + std::to_string(t) + "F" + std::to_string(i);
        if (!ForceDirectories(folder / "Shared")) ++failures;
        WriteFileAtomically(folder / own, "x");
        if (ResolvePath(folder / UpperCase(own)) != folder / own) ++failures;
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(FindFiles(folder / "Shared", "*").size(), size_t{Threads * Files});
}

// A folder whose names are kept answers for them first: a name there is
// there, a name missing from it and from its twins is missing (a folder of
// it as well), and a name there only in another case is resolved to that
// entry. What another program makes in the folder (here made directly, the
// folder's time then set apart) is still seen, an exact name still winning
// over its twins.
TEST(FileUtils, KeptNamesAnswerFirstAndStillSeeWhatAnotherProgramMade) {
  ScratchFolder folder;
  ASSERT_TRUE(ForceDirectories(folder / "Site"));
  WriteFileAtomically(folder / "Site/Page.htm", "ours");
  const auto setApart = [&](int seconds) {
    struct timespec apart[2] = {{0, UTIME_OMIT}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (folder / "Site").c_str(), apart, 0), 0);
  };
  const auto expect = [&](const char* asked, const char* found, bool missing, bool folderMissing) {
    bool isMissing = !missing, isFolderMissing = !folderMissing;
    EXPECT_EQ(ResolvePath(folder / asked, isMissing, isFolderMissing), folder / found) << asked;
    EXPECT_EQ(isMissing, missing) << asked;
    EXPECT_EQ(isFolderMissing, folderMissing) << asked;
  };
  expect("Site/Page.htm", "Site/Page.htm", false, false);
  expect("Site/PAGE.HTM", "Site/Page.htm", false, false);
  expect("Site/new.htm", "Site/new.htm", true, false);
  expect("Site/new/x.htm", "Site/new/x.htm", true, true);
  expect("Site/./Page.htm", "Site/./Page.htm", false, false);

  std::ofstream(folder / "Site/Other.htm") << "another program";
  ASSERT_EQ(mkdir((folder / "Site/Made").c_str(), 0755), 0);
  ASSERT_EQ(symlink("nowhere", (folder / "Site/Link").c_str()), 0);
  setApart(1000);
  expect("Site/Other.htm", "Site/Other.htm", false, false);
  expect("Site/OTHER.htm", "Site/Other.htm", false, false);
  expect("Site/made/x.htm", "Site/Made/x.htm", true, false);
  expect("Site/Link", "Site/Link", false, false);
  expect("Site/LINK/x", "Site/Link/x", true, false);

  std::ofstream(folder / "Site/page.htm") << "exact";
  setApart(2000);
  EXPECT_EQ(Contents(folder / "Site/page.htm"), "exact");
  EXPECT_EQ(Contents(folder / "Site/PAGE.htm"), "ours") << "the smallest twin by bytes";
  WriteFileAtomically(folder / "Site/Later.htm", "ours");
  EXPECT_EQ(Contents(folder / "Site/page.htm"), "exact");
  EXPECT_EQ(ResolvePath(folder / "Site/pAGE.htm"), folder / "Site/Page.htm");
  ASSERT_TRUE(DeleteFile(folder / "Site/Page.htm"));
  expect("Site/PAGE.htm", "Site/page.htm", false, false);
  expect("Site/Page.htm", "Site/page.htm", false, false);
}

// Once more folders are made than names are kept for, the names given up
// for a new folder's are those of a folder of few names, not those of the
// folders filled last: a folder being filled is not read again because
// others were made beside it.
TEST(FileUtils, FoldersFilledLastKeepTheirNamesWhenMoreFoldersAreMade) {
  ScratchFolder folder;
  for (int i = 0; i < 4200; ++i) ASSERT_TRUE(ForceDirectories(folder / ("Fill/D" + std::to_string(i))));
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(ForceDirectories(folder / ("Busy" + std::to_string(i))));
    for (const char* name : {"/a", "/b"}) WriteFileAtomically(folder / ("Busy" + std::to_string(i) + name), "x");
  }
  ASSERT_TRUE(ForceDirectories(folder / "Site"));
  WriteFileAtomically(folder / "Site/Index.htm", "x");
  ASSERT_EQ(ResolvePath(folder / "Site/INDEX.HTM"), folder / "Site/Index.htm");
  const unsigned long before = FolderScansForCase();
  ASSERT_TRUE(ForceDirectories(folder / "Other"));
  EXPECT_EQ(ResolvePath(folder / "Site/index.HTM"), folder / "Site/Index.htm");
  EXPECT_EQ(FolderScansForCase(), before);
}

// Renames between two folders go both ways from several threads at once,
// while other threads write and look up names in each: every one ends, and
// both folders' kept names follow every move.
TEST(FileUtils, RenamesBetweenFoldersBothWaysWhileOthersWriteAndLookUp) {
  ScratchFolder folder;
  ASSERT_TRUE(ForceDirectories(folder / "Left") && ForceDirectories(folder / "Right"));
  constexpr int Files = 40, Moves = 20;
  for (int i = 0; i < Files; ++i) {
    WriteFileAtomically(folder / ("Left/L" + std::to_string(i)), "l");
    WriteFileAtomically(folder / ("Right/R" + std::to_string(i)), "r");
  }
  // Both folders' names are kept before the moves start.
  EXPECT_EQ(ResolvePath(folder / "left/l0"), folder / "Left/L0");
  EXPECT_EQ(ResolvePath(folder / "right/r0"), folder / "Right/R0");
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      const bool leftward = t % 2 == 0;
      const std::string from = leftward ? "Right/R" : "Left/L", to = leftward ? "Left/R" : "Right/L";
      for (int m = 0; m < Moves; ++m) {
        const std::string name = std::to_string((t / 2) * Moves + m);
        if (!RenameFile(folder / (from + name), folder / (to + name))) ++failures;
      }
    });
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&, t] {
      const std::string side = t == 0 ? "Left/" : "Right/";
      for (int i = 0; i < Files; ++i) {
        WriteFileAtomically(folder / (side + "New" + std::to_string(i)), "n");
        if (ResolvePath(folder / (LowerCase(side) + "new" + std::to_string(i))) != folder / (side + "New" + std::to_string(i)))
          ++failures;
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  for (int i = 0; i < Files; ++i) {
    const std::string name = std::to_string(i);
    EXPECT_EQ(ResolvePath(folder / ("LEFT/r" + name)), folder / ("Left/R" + name));
    EXPECT_EQ(ResolvePath(folder / ("right/L" + name)), folder / ("Right/L" + name));
    EXPECT_FALSE(FileExists(folder / ("Left/L" + name)) || FileExists(folder / ("Right/R" + name)));
  }
}

// Threads writing, replacing and removing files in one folder whose names
// are kept never make it be read again by their own changes alone; a
// look-up of a twin of a file another thread writes finds nothing or it.
TEST(FileUtils, AFolderFilledByManyThreadsAtOnceIsReadOnce) {
  ScratchFolder folder;
  ASSERT_TRUE(ForceDirectories(folder / "Site"));
  WriteFileAtomically(folder / "Site/Index.htm", "x");
  ASSERT_EQ(ResolvePath(folder / "Site/INDEX.HTM"), folder / "Site/Index.htm");
  const unsigned long before = FolderScansForCase();
  constexpr int Threads = 8, Files = 60;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < Threads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < Files; ++i) {
        const std::string own = "Site/T" + std::to_string(t) + "P" + std::to_string(i);
        WriteFileAtomically(folder / own, "first");
        WriteFileAtomically(folder / LowerCase(own), "replaced");
        if (ResolvePath(folder / UpperCase(own)) != folder / own) ++failures;
        const AnsiString twin = ResolvePath(folder / ("Site/t" + std::to_string((t + 1) % Threads) + "p" + std::to_string(i)));
        if (twin != folder / ("Site/t" + std::to_string((t + 1) % Threads) + "p" + std::to_string(i)) &&
            twin != folder / ("Site/T" + std::to_string((t + 1) % Threads) + "P" + std::to_string(i)))
          ++failures;
        if (i % 3 == 0 && !DeleteFile(folder / own)) ++failures;
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(FolderScansForCase(), before);
  EXPECT_EQ(FindFiles(folder / "Site", "*").size(), size_t{1 + Threads * (Files - Files / 3)});
  EXPECT_EQ(ResolvePath(folder / "Site/t0p1"), folder / "Site/T0P1");
  EXPECT_EQ(ResolvePath(folder / "Site/t0p3"), folder / "Site/t0p3");
}

// Name with the case of its first letters set by the bits of Variant.
std::string CaseVariant(std::string Name, unsigned Variant) {
  for (size_t i = 0; i < Name.size() && Variant != 0; ++i, Variant >>= 1)
    if (Variant & 1) Name[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(Name[i])));
  return Name;
}

// The entries of a folder, grouped by their names without regard to case.
std::map<AnsiString, std::vector<AnsiString>> TwinGroups(const AnsiString& Folder) {
  std::map<AnsiString, std::vector<AnsiString>> groups;
  for (const AnsiString& name : FindFiles(Folder, "*")) groups[LowerCase(name)].push_back(name);
  for (const AnsiString& name : FindFolders(Folder, "*")) groups[LowerCase(name)].push_back(name);
  return groups;
}

// Threads saving names that differ only in case in one folder at the same
// moment, as the download workers do (the path resolved, the file begun,
// then renamed into place, or the folder made and a file written in it),
// leave one entry for each name: every writer's file lands in it, the last
// one's bytes stay, whole, and the files written in folders made two
// levels deep are all in the one folder.
TEST(FileUtils, TwinsSavedAtOnceByManyThreadsShareOneName) {
  ScratchFolder folder;
  ASSERT_TRUE(ForceDirectories(folder / "Site"));
  ASSERT_EQ(ResolvePath(folder / "Site/none"), folder / "Site/none");
  constexpr unsigned Threads = 8;  // as many case variants as "pag" has
  constexpr int Names = 25;
  std::barrier together(Threads);
  std::atomic<int> failures{0};
  std::vector<std::vector<AnsiString>> landed(Threads, std::vector<AnsiString>(Names));
  const auto payload = [](unsigned t, int i) { return AnsiString(100 + t * 37 + i, static_cast<char>('a' + t)); };
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < Threads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < Names; ++i) {
        std::unique_ptr<AtomicFile> writer;
        try {
          bool missing = false;
          const AnsiString file = ResolvePath(folder / ("Site/" + CaseVariant("pag" + std::to_string(i) + ".htm", t)), missing);
          writer = std::make_unique<AtomicFile>(file, missing ? TTargetPath::ResolvedMissing : TTargetPath::Resolved);
          const AnsiString bytes = payload(t, i);
          writer->Write(bytes.data(), bytes.size());
        } catch (const EFWriteError&) {
          ++failures;
        }
        together.arrive_and_wait();
        try {
          if (writer) writer->CommitUnflushed();
          if (writer) landed[t][i] = writer->TargetPath();
        } catch (const EFWriteError&) {
          ++failures;
        }
        together.arrive_and_wait();
        const std::string dir = "Site/" + CaseVariant("dir" + std::to_string(i), t) + "/" + CaseVariant("in", t);
        try {
          if (!ForceDirectories(folder / dir)) ++failures;
          WriteFileAtomically(folder / (dir + "/t" + std::to_string(t)), payload(t, i));
        } catch (const EFWriteError&) {
          ++failures;
        }
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  const auto groups = TwinGroups(folder / "Site");
  EXPECT_EQ(groups.size(), size_t{2 * Names});
  for (const auto& [name, entries] : groups) {
    ASSERT_EQ(entries.size(), 1u) << entries[0] << " and " << entries[1];
    const AnsiString one = folder / ("Site/" + entries[0]);
    if (DirectoryExists(one)) {
      const auto inside = TwinGroups(one);
      ASSERT_EQ(inside.size(), 1u) << one;
      ASSERT_EQ(inside.begin()->second.size(), 1u) << one;
      EXPECT_EQ(FindFiles(one + "/" + inside.begin()->second[0], "*").size(), size_t{Threads}) << one;
      continue;
    }
    const int i = std::stoi(name.substr(3));
    std::vector<AnsiString> expected;
    for (unsigned t = 0; t < Threads; ++t) {
      EXPECT_EQ(landed[t][i], one) << "writer " << t;
      expected.push_back(payload(t, i));
    }
    EXPECT_NE(std::find(expected.begin(), expected.end(), Contents(one)), expected.end()) << one;
  }
  EXPECT_EQ(FindFiles(folder / "Site", ".*"), std::vector<AnsiString>()) << "no temporary file is left";
  WriteFileAtomically(folder / "Site/PAG0.HTM", "last");
  EXPECT_EQ(Contents(folder / "Site/pag0.htm"), "last");
  EXPECT_EQ(TwinGroups(folder / "Site").size(), size_t{2 * Names});
}

// Look-ups of a name while threads commit its twins into a folder whose
// names are kept, and remove other files there, see the one entry the
// name ends as or a miss, and never a miss after they saw the entry; the
// commits and removals in one folder never make it be read again.
TEST(FileUtils, LookUpsDuringCommitsOfTwinsSeeTheEntryOrAMiss) {
  ScratchFolder folder;
  ASSERT_TRUE(ForceDirectories(folder / "Site"));  // made here, its names are kept from the start
  const unsigned long before = FolderScansForCase();
  constexpr unsigned Writers = 8, Readers = 3;
  constexpr int Names = 20;
  std::barrier together(Writers);
  std::atomic<int> failures{0}, written{0};
  std::vector<std::vector<AnsiString>> seen(Readers, std::vector<AnsiString>(Names));
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < Writers; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < Names; ++i) {
        together.arrive_and_wait();
        try {
          WriteFileAtomically(folder / ("Site/" + CaseVariant("foo" + std::to_string(i), t)), "x");
          WriteFileAtomically(folder / ("Site/gone" + std::to_string(t)), "x");
          if (!DeleteFile(folder / ("Site/gone" + std::to_string(t)))) ++failures;
        } catch (const EFWriteError&) {
          ++failures;
        }
      }
      ++written;
    });
  for (unsigned r = 0; r < Readers; ++r)
    threads.emplace_back([&, r] {
      do {
        for (int i = 0; i < Names; ++i) {
          const AnsiString asked = folder / ("Site/FOO" + std::to_string(i));
          bool missing = false;
          const AnsiString found = ResolvePath(asked, missing);
          AnsiString& earlier = seen[r][i];
          if (missing && (found != asked || !earlier.empty())) ++failures;
          if (!missing && !earlier.empty() && found != earlier) ++failures;
          if (!missing) earlier = found;
        }
      } while (written.load() < int{Writers});
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(FolderScansForCase(), before);
  const auto groups = TwinGroups(folder / "Site");
  EXPECT_EQ(groups.size(), size_t{Names});
  for (int i = 0; i < Names; ++i) {
    const auto group = groups.find("foo" + std::to_string(i));
    ASSERT_NE(group, groups.end()) << i;
    ASSERT_EQ(group->second.size(), 1u) << group->second[0] << " and " << group->second[1];
    const AnsiString entry = folder / ("Site/" + group->second[0]);
    for (unsigned r = 0; r < Readers; ++r)
      if (!seen[r][i].empty()) {
        EXPECT_EQ(seen[r][i], entry) << "reader " << r;
      }
  }
}

TEST(FileUtils, AtomicWritesLeaveTheOldFileOnFailure) {
  ScratchFolder folder;
  AnsiString name = folder / "doc.htm";
  WriteFileAtomically(name, "old");
  chmod(name.c_str(), 0640);
  WriteFileAtomically(name, "newer");
  EXPECT_EQ(Contents(name), "newer");
  struct stat st {};
  stat(name.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  {
    FileSizeLimit limit(1000);
    try {
      WriteFileAtomically(name, AnsiString(5000, 'x'));
      ADD_FAILURE() << "no exception";
    } catch (const EFWriteError& e) {
      EXPECT_EQ(e.ErrorCode, EFBIG);
      EXPECT_NE(e.Message().find(name), AnsiString::npos) << e.Message();
    }
  }
  EXPECT_EQ(Contents(name), "newer");
  EXPECT_EQ(FindFiles(folder.path(), "*"), (std::vector<AnsiString>{"doc.htm"}));
  EXPECT_EQ(FindFiles(folder.path(), ".*"), std::vector<AnsiString>());

  EXPECT_THROW(WriteFileAtomically(folder.path(), "x"), EFCreateError);
  EXPECT_EQ(ReadProblem(folder.path()), SysErrorMessage(EISDIR));
  EXPECT_EQ(ReadProblem(name), "");
  EXPECT_EQ(ReadProblem(folder / "missing"), "");
  EXPECT_THROW(WriteFileAtomically(folder / "missing/doc.htm", "x"), EFCreateError);

  if (geteuid() != 0) {  // root may write into a read-only folder
    chmod(folder.path().c_str(), 0555);
    EXPECT_THROW(WriteFileAtomically(name, "blocked"), EFCreateError);
    chmod(folder.path().c_str(), 0755);
    EXPECT_EQ(Contents(name), "newer");
  }
}

// A file written again from its start keeps only the second bytes, even
// where they are fewer, and no temporary file is left beside it.
TEST(FileUtils, AnAtomicFileWrittenAgainFromItsStartKeepsOnlyTheNewBytes) {
  ScratchFolder folder;
  const AnsiString name = folder / "page.htm";
  {
    AtomicFile file(name);
    const AnsiString first(5000, 'a');
    file.Write(first.data(), first.size());
    file.Restart();
    file.Write("short", 5);
    file.CommitUnflushed();
  }
  EXPECT_EQ(Contents(name), "short");
  EXPECT_EQ(FindFiles(folder.path(), ".*"), std::vector<AnsiString>());
  {
    AtomicFile file(name);
    file.Write("gone", 4);
    file.Restart();
  }
  EXPECT_EQ(Contents(name), "short") << "a file never committed leaves the old one";
  EXPECT_EQ(FindFiles(folder.path(), "*"), (std::vector<AnsiString>{"page.htm"}));
}

// A writer told that nothing stood at its target does not look again: an
// entry that comes meanwhile is still replaced as by any other writer (a
// file's permission bits kept, a folder refused and left as it was).
TEST(FileUtils, AnAtomicFileForAMissingTargetReplacesWhatCameMeanwhile) {
  ScratchFolder folder;
  const auto write = [&](const std::string& Name, const std::function<void()>& Meanwhile) {
    AtomicFile file(folder / Name, TTargetPath::ResolvedMissing);
    file.Write("new", 3);
    Meanwhile();
    file.CommitUnflushed();
  };
  write("fresh.htm", [] {});
  EXPECT_EQ(Contents(folder / "fresh.htm"), "new");

  write("came.htm", [&] {
    WriteFileAtomically(folder / "came.htm", "old");
    ASSERT_EQ(chmod((folder / "came.htm").c_str(), 0600), 0);
  });
  EXPECT_EQ(Contents(folder / "came.htm"), "new");
  struct stat st {};
  ASSERT_EQ(stat((folder / "came.htm").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  try {
    write("dir.htm", [&] { ASSERT_TRUE(ForceDirectories(folder / "dir.htm/sub")); });
    ADD_FAILURE() << "a folder was replaced";
  } catch (const EFWriteError& failure) {
    EXPECT_EQ(failure.ErrorCode, EISDIR);
  }
  EXPECT_TRUE(DirectoryExists(folder / "dir.htm/sub"));
  EXPECT_EQ(FindFiles(folder.path(), ".*"), std::vector<AnsiString>());
}

// A new file has no entry in its folder until it is committed, so a reader
// of the folder sees neither half a file nor a temporary one, and a writer
// that ends without committing (or a process killed meanwhile) leaves
// nothing; its bytes can be read back meanwhile.
TEST(FileUtils, ANewFileHasNoEntryInItsFolderUntilItIsCommitted) {
  ScratchFolder folder;
  const mode_t mask = umask(022);
  umask(mask);
  {
    AtomicFile file(folder / "page.htm", TTargetPath::ResolvedMissing);
    file.Write("first", 5);
    file.Restart();
    file.Write("body", 4);
    EXPECT_EQ(FindFiles(folder.path(), "*"), std::vector<AnsiString>());
    EXPECT_EQ(FindFiles(folder.path(), ".*"), std::vector<AnsiString>());
    AnsiString readBack;
    ASSERT_TRUE(ReadFileToString(file.TemporaryPath(), readBack));
    EXPECT_EQ(readBack, "body");
    file.SetModificationTime({1000000000, 0});
    file.CommitUnflushed();
  }
  EXPECT_EQ(Contents(folder / "page.htm"), "body");
  struct stat st {};
  ASSERT_EQ(stat((folder / "page.htm").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1000000000);
  EXPECT_EQ(st.st_mode & 07777, 0666u & ~mask);
  {
    AtomicFile file(folder / "left.htm", TTargetPath::ResolvedMissing);
    file.Write("never", 5);
  }
  EXPECT_EQ(FindFiles(folder.path(), "*"), (std::vector<AnsiString>{"page.htm"}));
  EXPECT_EQ(FindFiles(folder.path(), ".*"), std::vector<AnsiString>());
}

TEST(FileUtils, RenameCopyAndDates) {
  ScratchFolder folder;
  WriteFileAtomically(folder / "a", "A");
  WriteFileAtomically(folder / "b", "B");
  EXPECT_FALSE(RenameFile(folder / "a", folder / "b"));
  EXPECT_EQ(Contents(folder / "b"), "B");
  EXPECT_TRUE(RenameFile(folder / "a", folder / "c"));
  EXPECT_FALSE(FileExists(folder / "a"));

  TDateTime stamp = EncodeDate(2020, 5, 17) + EncodeTime(10, 20, 30, 0);
  ASSERT_TRUE(FileSetDate(folder / "c", stamp));
  TDateTime age = 0;
  ASSERT_TRUE(FileAge(folder / "c", age));
  EXPECT_NEAR(age, stamp, 1.0 / MSecsPerDay);
  EXPECT_FALSE(FileAge(folder / "none", age));

  EXPECT_FALSE(CopyFile(folder / "c", folder / "b", true));
  EXPECT_EQ(Contents(folder / "b"), "B");
  EXPECT_TRUE(CopyFile(folder / "c", folder / "b", false));
  EXPECT_EQ(Contents(folder / "b"), "A");
  ASSERT_TRUE(FileAge(folder / "b", age));
  EXPECT_NEAR(age, stamp, 1.0 / MSecsPerDay);
  EXPECT_FALSE(CopyFile(folder / "none", folder / "d", false));
  EXPECT_FALSE(FileExists(folder / "d"));
}

TEST(FileUtils, FindFilesMatchesMasksWithoutCase) {
  ScratchFolder folder;
  for (const char* name : {"a.htm", "B.HTM", "c.html", "x.txt", "xy.txt", "noext"})
    WriteFileAtomically(folder / name, "");
  ASSERT_TRUE(ForceDirectories(folder / "dir.htm"));
  EXPECT_EQ(FindFiles(folder.path(), "*.htm"), (std::vector<AnsiString>{"B.HTM", "a.htm"}));
  EXPECT_EQ(FindFiles(folder.path(), "?.TXT"), (std::vector<AnsiString>{"x.txt"}));
  EXPECT_EQ(FindFiles(folder.path(), "*.*").size(), 6u);
  EXPECT_EQ(FindFiles(folder.path(), "*t*t"), (std::vector<AnsiString>{"x.txt", "xy.txt"}));
  EXPECT_TRUE(FindFiles(folder / "missing", "*").empty());
  EXPECT_TRUE(MatchesMask("abc", "a*c*"));
  EXPECT_FALSE(MatchesMask("abc", "a?"));
  EXPECT_FALSE(MatchesMask(AnsiString(200, 'a'), AnsiString(20, '*') + "b*"));
}

// A child made by fork names its temporary files with its own process id,
// even after the parent has named some: the parent's stale-file sweep must
// not take a live child's file for its own, nor the other way round.
TEST(FileUtils, TemporaryNamesCarryTheWritingProcessAfterFork) {
  ScratchFolder folder;
  AtomicFile parentFile(folder / "parent.htm");
  const pid_t child = fork();
  if (child == 0) {
    bool own = false;
    try {
      AtomicFile childFile(folder / "child.htm");
      own = AtomicFile::TemporaryFileOwner(childFile.TemporaryPath()) == getpid();
    } catch (...) {
    }
    _exit(own ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(AtomicFile::TemporaryFileOwner(parentFile.TemporaryPath()), getpid());
}

// Only temporary files of whole-file writers whose process has ended go,
// in every subfolder but none reached through a link; the live writer's
// file and look-alike names stay.
TEST(FileUtils, StaleTemporaryFilesOfEndedWritersAreRemoved) {
  ScratchFolder folder;
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  const std::string dead = std::to_string(ended);
  const std::vector<std::string> stale{".~a.htm~" + dead + "~0.harvella-tmp", "sub/deep/.~x.y~" + dead + "~7.harvella-tmp"};
  const std::vector<std::string> kept{
      "a.htm", ".~a.htm~" + dead + "~0.tmp", "a.htm~" + dead + "~0.harvella-tmp", ".~~" + dead + "~0.harvella-tmp",
      ".~a~x~0.harvella-tmp", ".~a.htm." + dead + ".0.harvella-tmp"};
  ASSERT_TRUE(ForceDirectories(folder / "sub/deep"));
  for (const std::string& name : stale) WriteFileAtomically(folder / name, "part");
  for (const std::string& name : kept) WriteFileAtomically(folder / name, "keep");
  ScratchFolder outside;
  WriteFileAtomically(outside / stale[0], "keep");
  symlink(outside.path().c_str(), (folder / "sub/link").c_str());
  ASSERT_TRUE(ForceDirectories(folder / (".~d~" + dead + "~2.harvella-tmp")));

  AtomicFile live(folder / "sub/live.htm");
  live.Write("x", 1);
  const std::vector<AnsiString> liveNames = FindFiles(folder / "sub", ".~live.htm~*");
  ASSERT_EQ(liveNames.size(), 1u);
  EXPECT_EQ(AtomicFile::TemporaryFileOwner(liveNames[0]), getpid());
  EXPECT_EQ(AtomicFile::TemporaryFileOwner(stale[1]), ended);

  EXPECT_EQ(RemoveStaleTemporaryFiles(folder.path(), false), 1);
  EXPECT_TRUE(FileExists(folder / stale[1]));
  EXPECT_EQ(RemoveStaleTemporaryFiles(folder.path(), true), 1);
  for (const std::string& name : stale) EXPECT_FALSE(FileExists(folder / name)) << name;
  for (const std::string& name : kept) EXPECT_EQ(Contents(folder / name), "keep") << name;
  EXPECT_TRUE(DirectoryExists(folder / (".~d~" + dead + "~2.harvella-tmp")));
  EXPECT_TRUE(FileExists(outside / stale[0]));
  EXPECT_TRUE(FileExists(folder / ("sub/" + liveNames[0])));
  live.Commit();
  EXPECT_EQ(Contents(folder / "sub/live.htm"), "x");
}
