// FileUtils: files, folders and paths. The directory separator is '/'.
// Every function that touches the file system maps its path through
// ResolvePath, so a path whose case differs from the name on disk still
// finds the existing file or folder. Files written as a whole go to a
// temporary file in the same folder, flushed to disk and renamed over the
// old one, so a failed write or a crash leaves the old file untouched.
// Nothing here changes the process's current directory.
#pragma once

#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

#include <functional>

#include <cstdint>
#include <vector>

constexpr char PathDelim = '/';

// Files and folders.
bool FileExists(const AnsiString& fileName);  // false for a folder
// pathResolved: dir has just been through ResolvePath (it is not again).
bool DirectoryExists(const AnsiString& dir, bool pathResolved = false);
// Creates every missing level; true when the folder exists afterwards. A
// level that another thread of this process makes at the same moment under
// a name that differs only in case is that level: a folder never holds both.
bool ForceDirectories(const AnsiString& dir);
bool CreateDir(const AnsiString& dir);
// Removes an empty folder.
bool RemoveDir(const AnsiString& dir);
// Removes a file (never a folder).
bool DeleteFile(const AnsiString& fileName);
// Fails when newName already exists.
bool RenameFile(const AnsiString& oldName, const AnsiString& newName);
// Copies the bytes and the modification time; the copy is written atomically.
bool CopyFile(const AnsiString& source, const AnsiString& dest, bool failIfExists);
// Size in bytes, -1 if there is no such file.
int64_t FileSizeOf(const AnsiString& fileName);
// Modification time in local time.
bool FileAge(const AnsiString& fileName, TDateTime& age);
bool FileSetDate(const AnsiString& fileName, TDateTime age);
AnsiString GetCurrentDir();

// Paths (pure text, no file-system access).
// "a/b/c.txt" -> "a/b/"
AnsiString ExtractFilePath(const AnsiString& fileName);
// "a/b/c.txt" -> "a/b"; "/x" -> "/"
AnsiString ExtractFileDir(const AnsiString& fileName);
// "a/b/c.txt" -> "c.txt"
AnsiString ExtractFileName(const AnsiString& fileName);
// "a/b/c.txt" -> ".txt"; "" without an extension
AnsiString ExtractFileExt(const AnsiString& fileName);
// Replaces or appends the extension (ext includes the dot, or is empty).
AnsiString ChangeFileExt(const AnsiString& fileName, const AnsiString& ext);
AnsiString IncludeTrailingPathDelimiter(const AnsiString& path);
AnsiString ExcludeTrailingPathDelimiter(const AnsiString& path);
// Absolute path with "." and ".." resolved, relative to the current directory.
AnsiString ExpandFileName(const AnsiString& fileName);
// True when the byte at 1-based index is '/'; false outside the string.
bool IsPathDelimiter(const AnsiString& s, int index);

// The one mapping of a path for the file system: when the exact name is
// missing, each component reuses an existing entry that differs only in
// (ASCII) case. Components that have no such entry stay as given.
AnsiString ResolvePath(const AnsiString& path);
// How many times ResolvePath has read a folder whole because it kept no
// names for it (for tests and benchmarks).
unsigned long FolderScansForCase();

// Whole files.
// Throws EFCreateError naming the file and the reason; the old file stays.
void WriteFileAtomically(const AnsiString& path, const AnsiString& bytes);
// False when the file cannot be read (bytes is then empty; errno tells why).
bool ReadFileToString(const AnsiString& path, AnsiString& bytes);
// Why what stands at fileName cannot be read as a file (a folder, no
// permission, ...); empty when it can, or when nothing is there.
AnsiString ReadProblem(const AnsiString& fileName);
// True for the reasons of a failed write that every further write to the
// same place will meet too: a full disk or quota, a read-only file system,
// a folder without write permission.
bool IsStorageError(int errorCode);
// Removes the temporary files of whole-file writes (see AtomicFile) whose
// writing process no longer runs, in folder and, with recursive, in its
// subfolders (symbolic links are not followed). Nothing else is touched.
// Returns the number of files removed. A stopped callback that returns
// true ends the walk at the next entry.
int RemoveStaleTemporaryFiles(const AnsiString& folder, bool recursive,
                              const std::function<bool()>& stopped = nullptr);

// Searching. Names only, sorted by bytes; mask wildcards "*" and "?",
// compared without regard to ASCII case.
bool MatchesMask(const AnsiString& name, const AnsiString& mask);
std::vector<AnsiString> FindFiles(const AnsiString& folder, const AnsiString& mask);
// Folders other than "." and "..".
std::vector<AnsiString> FindFolders(const AnsiString& folder, const AnsiString& mask);

// The program folder: the executable's folder with a trailing '/', unless a
// test has set another. It holds the read-only files shipped with the
// program; nothing is written there.
AnsiString ProgramFolder();
void SetProgramFolder(const AnsiString& folder);

// The user's folders, each with a trailing '/' and created by whoever writes
// into them. The data folder holds what the program writes for the user
// (projects, recent list, default settings, language files):
// $XDG_DATA_HOME/harvella/ when that variable holds an absolute path, else
// ~/.local/share/harvella/. The default download folder is
// ~/Downloads/Harvella/. The home is $HOME when it is an absolute path, else
// the user's entry in the password database. A test sets the data folder and
// the home; an empty value returns to the rules above.
AnsiString UserDataFolder();
void SetUserDataFolder(const AnsiString& folder);
AnsiString UserHomeFolder();
void SetUserHomeFolder(const AnsiString& folder);
AnsiString DefaultDownloadFolder();

// Both with a trailing '/'. MakeTempFolder creates a new, empty, private folder.
AnsiString GetTempFolder();
AnsiString MakeTempFolder(const AnsiString& prefix);
