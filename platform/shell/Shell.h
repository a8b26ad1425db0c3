// Shell: the user's web browser and the starting of other programs.
//
// Contract
// - The browser is found from the desktop's association for HTML documents
//   (the default application of "text/html", then "application/xhtml+xml",
//   in the freedesktop mimeapps.list files and the Exec line of its desktop
//   entry), then from each entry of $BROWSER (separated by ':'), then
//   "xdg-open". BrowserCommands lists these command lines in that order.
// - A command line is split into words at blanks; double quotes group a word
//   (inside them a backslash escapes '"', '`', '$' and '\'). Placeholders (a
//   '%' and the characters after it up to the next blank, such as %u or %s)
//   are removed, "%%" stands for '%'. The first word is the program.
// - Programs are started without a shell: every argument reaches the program
//   as it stands, as one argument. Starting does not wait for the program.
// - OpenUrl starts the first browser command that can be started, with the
//   address appended as its last argument. An address that is empty, starts
//   with '-' (a browser would read it as an option) or holds control
//   characters is refused.
#pragma once

#include <vector>

#include "platform/rtl/SysUtils.h"

struct TProgramCall {
  AnsiString Program;
  std::vector<AnsiString> Arguments;
};

// The process environment; an unset variable reads as "". Setting an empty
// value removes the variable.
AnsiString GetEnvironmentVariable(const AnsiString& name);
void SetEnvironmentVariable(const AnsiString& name, const AnsiString& value);

// The command lines that can show a web page, best first (see above).
std::vector<AnsiString> BrowserCommands();
// The first of BrowserCommands.
AnsiString FindBrowserCommand();

TProgramCall SplitCommand(const AnsiString& command);

// Starts the program (looked up on PATH when the name has no '/') with its
// standard input from /dev/null; true when it was started.
bool StartProgram(const AnsiString& path, const std::vector<AnsiString>& args);

bool IsSafeUrl(const AnsiString& url);
// True when a browser was started on the address.
bool OpenUrl(const AnsiString& url);
