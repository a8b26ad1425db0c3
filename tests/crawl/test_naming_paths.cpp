// The file-system boundary of the mirror: components, escapes, names that
// cannot be created, case reuse and the fallback names.
#include <gtest/gtest.h>

#include "crawl/SavePaths.h"
#include "platform/rtl/AtomicFile.h"
#include "platform/rtl/FileUtils.h"
#include "test_worker_harness.h"

namespace {

TEST(WorkerNamingPaths, MapsInsideTheFolder) {
  const TMirrorPath p = MapMirrorPath("/f/", "/f/host/a/b", "/", "page.htm");
  ASSERT_TRUE(p.Ok());
  EXPECT_EQ(p.File, "/f/host/a/b/page.htm");
  EXPECT_EQ(MapMirrorPath("/f/", "/f/", "host_a_", "page.htm").File, "/f/host_a_page.htm");
  EXPECT_EQ(MapMirrorPath("/f/", "/f/host//a", "/", "x.htm").File, "/f/host/a/x.htm");
}

TEST(WorkerNamingPaths, RefusesFoldersAndNamesOutside) {
  EXPECT_EQ(MapMirrorPath("/f/", "/g/host", "/", "x.htm").Result, TMirrorPathResult::Outside);
  EXPECT_EQ(MapMirrorPath("f/", "f/host", "/", "x.htm").Result, TMirrorPathResult::Outside);
  EXPECT_EQ(MapMirrorPath("", "host", "/", "x.htm").Result, TMirrorPathResult::Outside);
  EXPECT_EQ(MapMirrorPath("/f/../", "/f/../host", "/", "x.htm").Result, TMirrorPathResult::Outside);
}

TEST(WorkerNamingPaths, EscapesDotsSeparatorsAndControlBytes) {
  EXPECT_EQ(MapMirrorPath("/f/", "/f/host/../..", "/", "..").File, "/f/host/%2E%2E/%2E%2E/%2E%2E");
  EXPECT_EQ(MapMirrorPath("/f/", "/f/host/.", "/", "x.htm").File, "/f/host/%2E/x.htm");
  EXPECT_EQ(MapMirrorPath("/f/", "/f/host", "/", "a\\..\\b.htm").File, "/f/host/a%5C..%5Cb.htm");
  EXPECT_EQ(MapMirrorPath("/f/", "/f/host", "/", std::string("a\x01\x1f\x7f.htm")).File, "/f/host/a%01%1F%7F.htm");
  // The folder part gets the file-name escapes; the download folder keeps its name.
  EXPECT_EQ(MapMirrorPath("/f&g/", "/f&g/host/a&b", "/", "x.htm").File, "/f&g/host/a%26b/x.htm");
}

// A site's file spelt as a temporary file of a writer that has ended is
// saved under another spelling, so the sweep of a project's opening keeps it.
TEST(WorkerNamingPaths, ANameSpeltAsAStaleTemporaryFileIsKeptFromTheSweep) {
  const AnsiString spelt = ".~p.htm~2147483646~1.harvella-tmp";
  TempFolder folder;
  const TMirrorPath p = MapMirrorPath(folder.Path(), folder.Path() + "host/.~d~2147483646~2.harvella-tmp", "/", spelt);
  ASSERT_TRUE(p.Ok());
  EXPECT_EQ(p.File, folder.Path() + "host/%2E~d~2147483646~2.harvella-tmp/%2E~p.htm~2147483646~1.harvella-tmp");
  ASSERT_TRUE(ForceDirectories(p.Dir));
  WriteFileAtomically(p.File, "the site's");
  EXPECT_EQ(RemoveStaleTemporaryFiles(folder.Path(), true), 0);
  EXPECT_TRUE(FileExists(p.File));
  EXPECT_EQ(MapMirrorPath("/f/", "/f/host", "/", ".~p.htm~1.harvella-tmp").File, "/f/host/.~p.htm~1.harvella-tmp");
}

TEST(WorkerNamingPaths, NamesWindowsCouldNotCreate) {
  for (const char* name : {"a:b.htm", "a*b", "a?", "q\"", "<x>", "p|q", "dot.", "blank ", ""}) {
    const TMirrorPath p = MapMirrorPath("/f/", "/f/host", "/", name);
    EXPECT_EQ(p.Result, TMirrorPathResult::NameNotCreatable) << name;
    EXPECT_EQ(p.Dir, "/f/host") << name;
  }
  EXPECT_EQ(MapMirrorPath("/f/", "/f/host", "/", std::string(256, 'n')).Result, TMirrorPathResult::NameNotCreatable);
  EXPECT_TRUE(MapMirrorPath("/f/", "/f/host", "/", std::string(255, 'n')).Ok());
  EXPECT_TRUE(MapMirrorPath("/f/", "/f/host", "/", "a#%&'()+,;=@[]^`{}~!\xC3\xA9.htm").Ok()) << "other punctuation";
  EXPECT_EQ(MapMirrorPath("/f/", "/f/host/a:b", "/", "x.htm").Result, TMirrorPathResult::DirNotCreatable);
  EXPECT_EQ(MapMirrorPath("/f/", "/f/host/dir.", "/", "x.htm").Result, TMirrorPathResult::DirNotCreatable);
}

TEST(WorkerNamingPaths, ReusesComponentsThatDifferOnlyInCase) {
  TempFolder folder;
  folder.Write("Host/Docs/Page.HTM", "x");
  const std::string root = folder.Path();
  const TMirrorPath p = MapMirrorPath(root, root + "host/docs", "/", "page.htm");
  ASSERT_TRUE(p.Ok());
  EXPECT_EQ(p.File, root + "Host/Docs/Page.HTM");
  EXPECT_EQ(MapMirrorPath(root, root + "host/new", "/", "p.htm").File, root + "Host/new/p.htm");
}

// The mapping tells a file whose folder is missing (the worker makes the
// folder before it tries the file) from a new file in a folder that is
// there, in any case.
TEST(WorkerNamingPaths, TellsWhetherTheFolderOfTheFileIsMissing) {
  TempFolder folder;
  folder.Write("Host/Docs/Page.htm", "x");
  const std::string root = folder.Path();
  const TMirrorPath there = MapMirrorPath(root, root + "host/docs", "/", "page.htm");
  EXPECT_FALSE(there.FileMissing || there.DirMissing);
  const TMirrorPath fresh = MapMirrorPath(root, root + "HOST/DOCS", "/", "new.htm");
  EXPECT_TRUE(fresh.FileMissing);
  EXPECT_FALSE(fresh.DirMissing);
  for (const char* dir : {"host/new", "new/deeper"}) {
    const TMirrorPath missing = MapMirrorPath(root, root + dir, "/", "p.htm");
    ASSERT_TRUE(missing.Ok()) << dir;
    EXPECT_TRUE(missing.FileMissing && missing.DirMissing) << dir;
  }
}

// The download folder itself may be named in another case than on disk: it
// is resolved like the folders below it and still counts as inside.
TEST(WorkerNamingPaths, ResolvesTheDownloadFolderItselfWithoutRegardToCase) {
  TempFolder folder;
  folder.Write("Mirror/Host/Page.htm", "x");
  const std::string root = folder.Path();
  const TMirrorPath found = MapMirrorPath(root + "mirror/", root + "mirror/host", "/", "page.htm");
  ASSERT_TRUE(found.Ok());
  EXPECT_EQ(found.Dir, root + "Mirror/Host");
  EXPECT_EQ(found.File, root + "Mirror/Host/Page.htm");
  const TMirrorPath fresh = MapMirrorPath(root + "mirror/", root + "mirror/", "host_new_", "p.htm");
  ASSERT_TRUE(fresh.Ok());
  EXPECT_EQ(fresh.File, root + "Mirror/host_new_p.htm");
  const TMirrorPath badName = MapMirrorPath(root + "MIRROR/", root + "MIRROR/new", "/", "a?");
  EXPECT_EQ(badName.Result, TMirrorPathResult::NameNotCreatable);
  EXPECT_EQ(badName.Dir, root + "Mirror/new");
}

TEST(WorkerNamingPaths, FallbackNames) {
  const auto base = [](const char* Name) {
    AnsiString found;
    return FallbackBase(Name, found) ? found : "(none)";
  };
  EXPECT_EQ(base("page.htm"), "page");
  EXPECT_EQ(base("a*b.htm"), "a");
  EXPECT_EQ(base("list=1"), "list");
  EXPECT_EQ(base(".hidden"), "");
  EXPECT_EQ(base("plain"), "(none)");
  EXPECT_EQ(FallbackName("page", 1000), "page-1000.htm");
}

} // namespace
