#include "platform/shell/Shell.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/rtl/FileUtils.h"
#include "platform/rtl/IniFiles.h"

extern char** environ;

namespace {

const char* const kHtmlTypes[] = {"text/html", "application/xhtml+xml"};

// The non-empty parts of s between separators.
std::vector<AnsiString> SplitAt(const AnsiString& s, char separator) {
  std::vector<AnsiString> parts;
  AnsiString part;
  for (char c : s + separator) {
    if (c != separator) {
      part += c;
    } else if (!Trim(part).empty()) {
      parts.push_back(Trim(part));
      part.clear();
    }
  }
  return parts;
}

AnsiString EnvironmentOr(const AnsiString& name, const AnsiString& fallback) {
  AnsiString value = GetEnvironmentVariable(name);
  return value.empty() ? fallback : value;
}

AnsiString Home() { return GetEnvironmentVariable("HOME"); }

std::vector<AnsiString> DataFolders() {
  std::vector<AnsiString> folders{EnvironmentOr("XDG_DATA_HOME", Home() + "/.local/share")};
  for (const AnsiString& f : SplitAt(EnvironmentOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share"), ':'))
    folders.push_back(f);
  return folders;
}

// The mimeapps.list files, most important first: per folder the lists of
// the current desktops before the general one.
std::vector<AnsiString> MimeListFiles() {
  std::vector<AnsiString> folders{EnvironmentOr("XDG_CONFIG_HOME", Home() + "/.config")};
  for (const AnsiString& f : SplitAt(EnvironmentOr("XDG_CONFIG_DIRS", "/etc/xdg"), ':')) folders.push_back(f);
  for (const AnsiString& f : DataFolders()) folders.push_back(IncludeTrailingPathDelimiter(f) + "applications");
  std::vector<AnsiString> desktops = SplitAt(LowerCase(GetEnvironmentVariable("XDG_CURRENT_DESKTOP")), ':');
  std::vector<AnsiString> files;
  for (const AnsiString& folder : folders) {
    AnsiString dir = IncludeTrailingPathDelimiter(folder);
    for (const AnsiString& desktop : desktops) files.push_back(dir + desktop + "-mimeapps.list");
    files.push_back(dir + "mimeapps.list");
  }
  return files;
}

// Undoes the escapes of a desktop-entry string value (\s \n \t \r \\); the
// quoting of the command line is SplitCommand's.
AnsiString UnescapeEntryValue(const AnsiString& value) {
  AnsiString out;
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c != '\\' || i + 1 == value.size()) {
      out += c;
      continue;
    }
    char next = value[++i];
    switch (next) {
      case 's': out += ' '; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case '\\': out += '\\'; break;
      default: out += '\\'; out += next;
    }
  }
  return out;
}

// The Exec line of the first desktop entry with this id, or "".
AnsiString DesktopEntryCommand(const AnsiString& id) {
  if (id.empty() || id.find('/') != AnsiString::npos) return "";
  for (const AnsiString& folder : DataFolders()) {
    AnsiString file = IncludeTrailingPathDelimiter(folder) + "applications/" + id;
    if (!FileExists(file)) continue;
    TIniFile entry(file);
    return UnescapeEntryValue(entry.ReadString("Desktop Entry", "Exec", ""));
  }
  return "";
}

AnsiString AssociatedCommand() {
  std::vector<AnsiString> lists = MimeListFiles();
  for (const char* type : kHtmlTypes) {
    for (const AnsiString& list : lists) {
      if (!FileExists(list)) continue;
      TIniFile ini(list);
      for (const AnsiString& id : SplitAt(ini.ReadString("Default Applications", type, ""), ';')) {
        AnsiString command = DesktopEntryCommand(id);
        if (!command.empty()) return command;
      }
    }
  }
  return "";
}

// A word of a command line with its placeholders taken out ("%%" is '%').
// Returns false when the word was nothing but placeholders.
bool RemovePlaceholders(const AnsiString& word, AnsiString& out) {
  out.clear();
  bool removed = false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (word[i] != '%') {
      out += word[i];
    } else if (i + 1 < word.size() && word[i + 1] == '%') {
      out += '%';
      ++i;
    } else {
      while (i + 1 < word.size() && word[i + 1] != ' ') ++i;
      removed = true;
    }
  }
  return !(removed && Trim(out).empty());
}

bool IsEscapableInQuotes(char c) { return c == '"' || c == '`' || c == '$' || c == '\\'; }

std::vector<AnsiString> SplitWords(const AnsiString& command) {
  std::vector<AnsiString> words;
  AnsiString word;
  bool inWord = false;
  bool quoted = false;
  auto finish = [&] {
    AnsiString kept;
    if (inWord && RemovePlaceholders(word, kept)) words.push_back(kept);
    word.clear();
    inWord = false;
  };
  for (size_t i = 0; i < command.size(); ++i) {
    char c = command[i];
    if (quoted) {
      if (c == '\\' && i + 1 < command.size() && IsEscapableInQuotes(command[i + 1]))
        word += command[++i];
      else if (c == '"')
        quoted = false;
      else
        word += c;
    } else if (c == '"') {
      quoted = true;
      inWord = true;
    } else if (c == ' ' || c == '\t') {
      finish();
    } else {
      word += c;
      inWord = true;
    }
  }
  finish();
  return words;
}

bool HasNulByte(const AnsiString& s) { return s.find('\0') != AnsiString::npos; }

void ReapWhenDone(pid_t pid) {
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

}  // namespace

AnsiString GetEnvironmentVariable(const AnsiString& name) {
  const char* value = std::getenv(name.c_str());
  return value ? AnsiString(value) : AnsiString();
}

void SetEnvironmentVariable(const AnsiString& name, const AnsiString& value) {
  if (value.empty())
    unsetenv(name.c_str());
  else
    setenv(name.c_str(), value.c_str(), 1);
}

std::vector<AnsiString> BrowserCommands() {
  std::vector<AnsiString> commands;
  AnsiString associated = AssociatedCommand();
  if (!associated.empty()) commands.push_back(associated);
  for (const AnsiString& entry : SplitAt(GetEnvironmentVariable("BROWSER"), ':')) commands.push_back(entry);
  commands.push_back("xdg-open");
  return commands;
}

AnsiString FindBrowserCommand() { return BrowserCommands().front(); }

TProgramCall SplitCommand(const AnsiString& command) {
  TProgramCall call;
  std::vector<AnsiString> words = SplitWords(command);
  if (words.empty()) return call;
  call.Program = words.front();
  call.Arguments.assign(words.begin() + 1, words.end());
  return call;
}

bool StartProgram(const AnsiString& path, const std::vector<AnsiString>& args) {
  if (path.empty() || HasNulByte(path)) return false;
  std::vector<char*> argv{const_cast<char*>(path.c_str())};
  for (const AnsiString& a : args) {
    if (HasNulByte(a)) return false;
    argv.push_back(const_cast<char*>(a.c_str()));
  }
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  // The program starts with no blocked signals and the default SIGPIPE,
  // whatever the calling thread had.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, pipe;
  sigemptyset(&none);
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &pipe);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  int rc = posix_spawnp(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  ReapWhenDone(pid);
  return true;
}

bool IsSafeUrl(const AnsiString& url) {
  if (url.empty() || url[0] == '-') return false;
  for (unsigned char c : url)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

bool OpenUrl(const AnsiString& url) {
  if (!IsSafeUrl(url)) return false;
  for (const AnsiString& command : BrowserCommands()) {
    TProgramCall call = SplitCommand(command);
    if (call.Program.empty()) continue;
    call.Arguments.push_back(url);
    if (StartProgram(call.Program, call.Arguments)) return true;
  }
  return false;
}
