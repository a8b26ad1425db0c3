// The link opener: splitting browser commands, finding the browser and
// starting it without a shell, the address as one argument. Fake browsers
// are scripts in a temporary folder that record their arguments one per line.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "components/GoToWeb.h"
#include "platform/rtl/FileUtils.h"

namespace {

// The variables the browser lookup reads, and their values during a test:
// folders inside the test's own folder, or nothing.
const std::pair<const char*, const char*> kEnvironment[] = {
    {"XDG_CONFIG_HOME", "config"}, {"XDG_CONFIG_DIRS", "none"}, {"XDG_DATA_HOME", "data"}, {"XDG_DATA_DIRS", "none"},
    {"XDG_CURRENT_DESKTOP", nullptr}, {"BROWSER", nullptr}, {"PATH", "bin"}};

// An address that a shell would split, expand and run commands from.
const char* const kTrickyUrl = "http://example.org/a b;touch ${HOME}pwned?q='1'&r=\"2\"|$(touch pwned)`touch pwned`";

class GoToWeb : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto [name, value] : kEnvironment) {
      saved.push_back(GetEnvironmentVariable(name));
      SetEnvironmentVariable(name, value ? folder + value : AnsiString());
    }
    SetEnvironmentVariable("XDG_CURRENT_DESKTOP", "Test");
    for (const char* sub : {"bin", "config", "data/applications"}) ForceDirectories(folder + sub);
  }
  void TearDown() override {
    for (size_t i = 0; i < saved.size(); ++i) SetEnvironmentVariable(kEnvironment[i].first, saved[i]);
    std::filesystem::remove_all(folder);
  }

  // A script that writes its arguments to <path>.args, then marks <path>.done.
  AnsiString FakeBrowser(const AnsiString& path) {
    ForceDirectories(ExtractFilePath(path));
    WriteFileAtomically(path, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n: > \"$0.done\"\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
  }
  // The desktop's list of default applications, and a desktop entry.
  void Associate(const AnsiString& listFile, const AnsiString& ids, const AnsiString& id, const AnsiString& exec) {
    WriteFileAtomically(listFile, "[Default Applications]\ntext/html=" + ids + "\n");
    WriteFileAtomically(folder + "data/applications/" + id, "[Desktop Entry]\nType=Application\nName=Fake\nExec=" +
                                                                exec + "\n\n[Desktop Action private]\nExec=wrong %u\n");
  }
  // The arguments the fake browser received, one per line, once it is done
  // (it runs on its own; its marker file is awaited for at most a minute,
  // which a loaded machine never needs but a browser that never ran does).
  AnsiString ArgumentsOf(const AnsiString& browser) {
    for (int i = 0; i < 2400 && !FileExists(browser + ".done"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    AnsiString args;
    ReadFileToString(browser + ".args", args);
    return args;
  }
  bool Open(const AnsiString& url) {
    TGoToWeb link(nullptr);
    link.SetUrl(url);
    return link.Execute();
  }

  AnsiString folder = MakeTempFolder("gotoweb");
  std::vector<AnsiString> saved;
};

}  // namespace

// A program ending in .exe, .bat or .com ends there, blanks in its path and
// all; other commands follow the desktop's rules. Placeholders go.
TEST(GoToWebSplit, ProgramAndArgumentsWithoutPlaceholders) {
  const char* const cases[][3] = {  // command, program, arguments joined by '|'
      {"\"/opt/my browser/run\" -nohome \"%1\"", "/opt/my browser/run", "-nohome"},
      {"  run  \"say \\\"hi\\\" \\$HOME\" 100%% --url=%U %F ", "run", "say \"hi\" $HOME|100%|--url="},
      {"   ", "", ""},
      {"\"C:\\Prog\\browser.exe\" -nohome \"%1\"", "C:\\Prog\\browser.exe", "-nohome"},
      {"C:\\Program Files\\B\\b.EXE -x  -y", "C:\\Program Files\\B\\b.EXE", "-x|-y"},
      {"C:\\a.com.exe", "C:\\a.com.exe", ""},
      {"run.command --x", "run.command", "--x"}};
  for (const auto& [command, program, arguments] : cases) {
    const TProgramCall call = SplitBrowserCommand(command);
    AnsiString joined;
    for (const AnsiString& argument : call.Arguments) joined += (joined.empty() ? "" : "|") + argument;
    EXPECT_EQ(call.Program + " / " + joined, AnsiString(program) + " / " + arguments) << command;
  }
}

TEST_F(GoToWeb, StartsTheDesktopsBrowserElseTheBrowserVariableElseXdgOpen) {
  const AnsiString browser = FakeBrowser(folder + "my apps/fake browser");
  Associate(folder + "config/mimeapps.list", "uninstalled.desktop;fake.desktop;", "fake.desktop",
            "\"" + browser + "\" --new-window %u");
  ASSERT_TRUE(Open(AnsiString("  ") + kTrickyUrl + " "));
  EXPECT_EQ(ArgumentsOf(browser), AnsiString("--new-window\n") + kTrickyUrl + "\n");
  EXPECT_FALSE(FileExists(folder + "bin/pwned"));
  EXPECT_FALSE(FileExists(GetCurrentDir() + "/pwned"));

  // The current desktop's own list comes first; when its browser cannot be
  // started, the entries of $BROWSER follow.
  Associate(folder + "config/test-mimeapps.list", "other.desktop", "other.desktop", folder + "not-there %u");
  EXPECT_EQ(FindBrowserCommand(), folder + "not-there %u");
  const AnsiString second = FakeBrowser(folder + "my apps/fake browser.bat");
  SetEnvironmentVariable("BROWSER", folder + "missing:" + second + " -x %s");
  ASSERT_TRUE(Open("http://example.org/x"));
  EXPECT_EQ(ArgumentsOf(second), "-x\nhttp://example.org/x\n");

  // Then xdg-open, also for the shell module's own opener (the help page).
  const AnsiString opener = FakeBrowser(folder + "bin/xdg-open");
  SetEnvironmentVariable("BROWSER", "");
  std::filesystem::remove_all(folder + "data/applications");
  ASSERT_TRUE(OpenUrl("https://example.org/?a=1&b=2"));
  EXPECT_EQ(ArgumentsOf(opener), "https://example.org/?a=1&b=2\n");
  std::filesystem::remove(opener);
  EXPECT_FALSE(OpenUrl("http://example.org/"));
}

TEST_F(GoToWeb, RefusesAddressesABrowserCouldTakeForOptionsOrCommands) {
  const AnsiString opener = FakeBrowser(folder + "bin/xdg-open");
  for (const char* url : {"", "   ", "-remote openURL(file:///etc/passwd)", " --new-tab", "http://a/\nb",
                          "http://a/\tb", "http://a/\x7f"})
    EXPECT_FALSE(Open(url)) << url;
  EXPECT_FALSE(FileExists(opener + ".args"));
  EXPECT_FALSE(StartProgram(opener, {AnsiString("a\0b", 3)}));
}
