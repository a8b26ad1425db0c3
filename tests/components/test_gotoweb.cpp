// The link opener: finding the browser command and starting it without a
// shell, the address as one argument. Fake browsers are scripts in a
// temporary folder that record their arguments one per line.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "components/GoToWeb.h"
#include "platform/rtl/FileUtils.h"
#include "platform/shell/Shell.h"

namespace {

const char* const kVariables[] = {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS",
                                  "XDG_CURRENT_DESKTOP", "BROWSER", "PATH"};
// Their values during a test: everything inside the test's own folder.
const char* const kValues[] = {"config", "none", "data", "none", "", "", "bin"};

// An address that a shell would split, expand and run commands from.
const char* const kTrickyUrl = "http://example.org/a b;touch ${HOME}pwned?q='1'&r=\"2\"|$(touch pwned)`touch pwned`";

class GoToWeb : public ::testing::Test {
 protected:
  void SetUp() override {
    for (size_t i = 0; i < std::size(kVariables); ++i) {
      saved.push_back(GetEnvironmentVariable(kVariables[i]));
      SetEnvironmentVariable(kVariables[i], *kValues[i] ? folder + kValues[i] : AnsiString());
    }
    SetEnvironmentVariable("XDG_CURRENT_DESKTOP", "Test");
    ForceDirectories(folder + "bin");
  }
  void TearDown() override {
    for (size_t i = 0; i < saved.size(); ++i) SetEnvironmentVariable(kVariables[i], saved[i]);
    std::filesystem::remove_all(folder);
  }

  // A script that writes its arguments to <path>.args, then marks <path>.done.
  AnsiString FakeBrowser(const AnsiString& path) {
    ForceDirectories(ExtractFilePath(path));
    WriteFileAtomically(path, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n: > \"$0.done\"\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
  }
  void Associate(const AnsiString& listFile, const AnsiString& ids) {
    ForceDirectories(ExtractFilePath(listFile));
    WriteFileAtomically(listFile, "[Default Applications]\ntext/html=" + ids + "\n");
  }
  void DesktopEntry(const AnsiString& id, const AnsiString& exec) {
    ForceDirectories(folder + "data/applications");
    WriteFileAtomically(folder + "data/applications/" + id,
                        "[Desktop Entry]\nType=Application\nName=Fake\nExec=" + exec +
                            "\n\n[Desktop Action private]\nExec=wrong %u\n");
  }
  // The arguments the fake browser received, one per line.
  AnsiString ArgumentsOf(const AnsiString& browser) {
    for (int i = 0; i < 400 && !FileExists(browser + ".done"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    AnsiString args;
    ReadFileToString(browser + ".args", args);
    return args;
  }

  AnsiString folder = MakeTempFolder("gotoweb");
  std::vector<AnsiString> saved;
};

}  // namespace

TEST_F(GoToWeb, SplitsCommandsIntoProgramAndArgumentsWithoutPlaceholders) {
  TProgramCall call = SplitCommand("\"/opt/my browser/run\" -nohome \"%1\"");
  EXPECT_EQ(call.Program, "/opt/my browser/run");
  EXPECT_EQ(call.Arguments, std::vector<AnsiString>{"-nohome"});
  call = SplitCommand("  run  \"say \\\"hi\\\" \\$HOME\" 100%% --url=%U %F ");
  EXPECT_EQ(call.Program, "run");
  EXPECT_EQ(call.Arguments, (std::vector<AnsiString>{"say \"hi\" $HOME", "100%", "--url="}));
  EXPECT_TRUE(SplitCommand("   ").Program.empty());
}

// A program ending in .exe, .bat or .com ends there, blanks in its path and all.
TEST_F(GoToWeb, WindowsStyleCommandsSplitAfterTheProgramsExtension) {
  TProgramCall call = SplitBrowserCommand("\"C:\\Prog\\browser.exe\" -nohome \"%1\"");
  EXPECT_EQ(call.Program, "C:\\Prog\\browser.exe");
  EXPECT_EQ(call.Arguments, std::vector<AnsiString>{"-nohome"});
  call = SplitBrowserCommand("C:\\Program Files\\B\\b.EXE -x  -y");
  EXPECT_EQ(call.Program, "C:\\Program Files\\B\\b.EXE");
  EXPECT_EQ(call.Arguments, (std::vector<AnsiString>{"-x", "-y"}));
  EXPECT_TRUE(SplitBrowserCommand("C:\\a.com.exe").Arguments.empty());
  EXPECT_EQ(SplitBrowserCommand("run.command --x").Program, "run.command") << "no such program: desktop rules";

  const AnsiString browser = FakeBrowser(folder + "my apps/fake browser.bat");
  SetEnvironmentVariable("BROWSER", browser + " -x %s");
  TGoToWeb link(nullptr);
  link.SetUrl("http://example.org/");
  ASSERT_TRUE(link.Execute());
  EXPECT_EQ(ArgumentsOf(browser), "-x\nhttp://example.org/\n");
}

TEST_F(GoToWeb, TheDesktopAssociationStartsTheBrowserWithTheAddressAsOneArgument) {
  AnsiString browser = FakeBrowser(folder + "my apps/fake browser");
  Associate(folder + "config/mimeapps.list", "uninstalled.desktop;fake.desktop;");
  DesktopEntry("fake.desktop", "\"" + browser + "\" --new-window %u");
  EXPECT_EQ(FindBrowserCommand(), "\"" + browser + "\" --new-window %u");

  TGoToWeb link(nullptr);
  link.SetUrl(AnsiString("  ") + kTrickyUrl + " ");
  ASSERT_TRUE(link.Execute());
  EXPECT_EQ(ArgumentsOf(browser), AnsiString("--new-window\n") + kTrickyUrl + "\n");
  EXPECT_FALSE(FileExists(folder + "bin/pwned"));
  EXPECT_FALSE(FileExists(GetCurrentDir() + "/pwned"));

  // The current desktop's own list comes first.
  AnsiString other = FakeBrowser(folder + "other");
  Associate(folder + "config/test-mimeapps.list", "other.desktop");
  DesktopEntry("other.desktop", other);
  EXPECT_EQ(FindBrowserCommand(), other);
}

TEST_F(GoToWeb, FallsBackToBrowserVariableThenXdgOpen) {
  AnsiString second = FakeBrowser(folder + "second");
  Associate(folder + "config/mimeapps.list", "gone.desktop");
  DesktopEntry("gone.desktop", folder + "not-there %u");
  SetEnvironmentVariable("BROWSER", folder + "missing:" + second + " %s");
  ASSERT_TRUE(OpenUrl("http://example.org/x"));
  EXPECT_EQ(ArgumentsOf(second), "http://example.org/x\n");

  AnsiString opener = FakeBrowser(folder + "bin/xdg-open");
  SetEnvironmentVariable("BROWSER", "");
  std::filesystem::remove(folder + "data/applications/gone.desktop");
  ASSERT_TRUE(OpenUrl("https://example.org/?a=1&b=2"));
  EXPECT_EQ(ArgumentsOf(opener), "https://example.org/?a=1&b=2\n");

  std::filesystem::remove(opener);
  EXPECT_FALSE(OpenUrl("http://example.org/"));
}

TEST_F(GoToWeb, RefusesAddressesABrowserCouldTakeForOptionsOrCommands) {
  AnsiString opener = FakeBrowser(folder + "bin/xdg-open");
  TGoToWeb link(nullptr);
  for (const char* url : {"", "   ", "-remote openURL(file:///etc/passwd)", " --new-tab", "http://a/\nb",
                          "http://a/\tb", "http://a/\x7f"}) {
    link.SetUrl(url);
    EXPECT_FALSE(link.Execute()) << url;
  }
  EXPECT_FALSE(FileExists(opener + ".args"));
  EXPECT_FALSE(StartProgram(folder + "bin/xdg-open", {AnsiString("a\0b", 3)}));
  EXPECT_FALSE(StartProgram("", {}));
}
