// Files, folders and paths over POSIX calls. Every path that reaches the
// file system goes through ResolvePath first.
#include "platform/rtl/FileUtils.h"

#include "platform/rtl/AtomicFile.h"
#include "platform/rtl/FolderEntries.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <initializer_list>
#include <pwd.h>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <signal.h>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

char FoldByte(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool StatPath(const AnsiString& path, struct stat& st) {
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

// The '/' before the one at 'slash' in path; npos when there is none.
size_t Above(const AnsiString& path, size_t slash) {
  return slash == 0 || slash == AnsiString::npos ? AnsiString::npos : path.rfind(PathDelim, slash - 1);
}

// A component that names an entry of its folder.
bool IsName(std::string_view component) { return !component.empty() && component != "." && component != ".."; }

bool PathPresent(const AnsiString& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool RenameWithoutReplacing(const AnsiString& from, const AnsiString& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS)
    return false;
  // File systems without RENAME_NOREPLACE: check, then rename.
  if (PathPresent(to)) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

DirHandle OpenDir(const AnsiString& folder) {
  return DirHandle(::opendir(folder.empty() ? "." : folder.c_str()));
}

AnsiString Folded(std::string_view name) {
  AnsiString folded(name);
  for (char& c : folded) c = FoldByte(c);
  return folded;
}

// A folder of a path being resolved ("" is the current one).
bool StatFolder(const AnsiString& folder, struct stat& st) {
  return ::stat(folder.empty() ? "." : folder.c_str(), &st) == 0;
}

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// What a folder's kept names tell of an entry.
enum class TKept { Unknown, Present, Missing };

// The names of folders, folded, for the look-ups of case variants:
// scanning a folder for each name missing in it would make filling it cost
// the square of its size, and a system call or five for each new file of a
// small one. An index holds while the folder's identity and change times
// are those it had when the index was made; the entries that this process
// makes, renames and removes (folders, whole-file writes, deletions) are
// changed under the lock of their folder, which brings the folder's index
// up to date with the change and the folder's new times at once, so that
// threads filling one folder together never see it changed by their own
// entries alone. The folders' locks are stripes (a folder's is picked by
// its name), so that threads saving in different folders seldom wait for
// each other; a look-up that only reads an index shares its stripe with
// the other look-ups, and a change or a scan has it alone. The map of
// indexes has a lock of its own, held only to look an index up (shared)
// or to put one in or take one out (alone). A folder this process makes
// starts with an empty index. A new name (a folder made, a file renamed into place) is
// checked against the folder's index under the same lock as it is made:
// when an entry that differs from it only in case is there, that entry is
// taken instead, so that threads making "Foo" and "FOO" at once end with
// one of them. While a folder's index holds, a look-up in the folder asks
// it first: it tells that a name is there, or that neither the name nor a
// twin of it is, without a look at the name itself. A change that another
// program makes within the same clock step as one of ours goes unseen until
// the folder changes again (a variant that differs only in case is then
// missed, and a new entry is told missing, which a writer of a missing
// name meets at its commit and replaces as any other); any other change
// makes the next look-up scan the folder again.
class TCaseIndexes {
 public:
  static TCaseIndexes& Instance() {
    static TCaseIndexes indexes;
    return indexes;
  }

  // True when a held index answers; 'variant' is then the entry (or empty).
  // st is the folder as the caller saw it before; when a change made since
  // by this process brought the index up to date, the folder is looked at
  // again.
  bool Find(const AnsiString& folder, const struct stat& st, const AnsiString& name, AnsiString& variant) {
    const std::shared_lock<std::shared_mutex> lock(StripeOf(folder));
    const std::shared_ptr<TIndex> index = Held(folder);
    if (!index) return false;
    if (!Holds(*index, st)) {
      struct stat now;
      if (!StatFolder(folder, now) || !Holds(*index, now)) return false;
    }
    variant = Smallest(*index, name);
    return true;
  }

  // What the folder's kept names say of the entry 'name' while they hold,
  // the folder seen as *seen or else looked at now under its lock (into
  // 'now'; 'looked' tells whether it was, 'found' whether it is there):
  // Present when the entry is there, Missing when neither it nor an entry
  // that differs from it only in case is there, Unknown without kept names
  // that hold, or when such a twin is there (an exact name wins over its
  // twins, so the name itself is looked at then). No system call is made
  // for a folder whose names are not kept.
  TKept Look(const AnsiString& folder, const struct stat* seen, const AnsiString& name, struct stat& now, bool& looked,
             bool& found) {
    looked = found = false;
    const std::shared_lock<std::shared_mutex> lock(StripeOf(folder));
    const std::shared_ptr<TIndex> index = Held(folder);
    if (!index) return TKept::Unknown;
    if (!seen || !Holds(*index, *seen)) {
      looked = true;
      found = StatFolder(folder, now);
      if (!found || !Holds(*index, now)) return TKept::Unknown;
    }
    const auto entry = index->names.find(Folded(name));
    if (entry == index->names.end()) return TKept::Missing;
    const std::vector<AnsiString>& same = entry->second;
    return std::find(same.begin(), same.end(), name) != same.end() ? TKept::Present : TKept::Unknown;
  }

  // Scans the folder under its lock, so that no change of this process can
  // fall inside the scan, and keeps its names while the folder is as it was
  // when the scan began (another program may have changed it meanwhile).
  // The entry that equals name up to case, the smallest by bytes, in
  // 'variant'; false when the folder cannot be read.
  bool ScanAndKeep(const AnsiString& folder, const AnsiString& name, AnsiString& variant) {
    const std::lock_guard<std::shared_mutex> lock(StripeOf(folder));
    const std::shared_ptr<TIndex> index = Scan(folder);
    if (!index) return false;
    variant = Smallest(*index, name);
    return true;
  }

  unsigned long Scans() const { return scans_.load(); }

  // Makes the folder 'path' (errno tells why not), with an empty index,
  // unless its folder holds an entry that differs from it only in case: it
  // fails with EEXIST then. 'entry' is the entry that stands for path
  // afterwards: that one, else path. Kept names are looked at before the
  // mkdir; a folder whose names are not kept is read after a mkdir that
  // made something (under the same lock), and the new folder is taken away
  // again when a twin stands beside it, so that a path that is there costs
  // its failing mkdir alone.
  bool MakeDir(const AnsiString& path, AnsiString& entry) {
    const AnsiString parent(FolderOf(path)), folder = IncludeTrailingPathDelimiter(path);
    const TStripeLocks locks(*this, parent, folder);
    const std::shared_ptr<TIndex> kept = parent.empty() ? nullptr : Held(parent);
    entry = kept ? TwinIn(*kept, path, "") : AnsiString();
    if (!entry.empty()) {
      errno = EEXIST;
      return false;
    }
    entry = path;
    if (::mkdir(path.c_str(), 0777) != 0) return false;
    if (!kept && !parent.empty()) {
      const std::shared_ptr<TIndex> read = Scan(parent);
      const AnsiString twin = read ? TwinBeside(*read, path) : AnsiString();
      if (!twin.empty() && ::rmdir(path.c_str()) == 0) {
        Changed("", path);
        entry = twin;
        errno = EEXIST;
        return false;
      }
    }
    Changed(path, "");
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
      Store(folder, std::make_shared<TIndex>(TIndex{st.st_dev, st.st_ino, st.st_mtim, st.st_ctim, {}}));
    return true;
  }

  // A change of entries by this process: 'change' makes 'added' and
  // removes 'removed' (either may be empty) and returns whether it
  // succeeded, errno telling why not.
  template <class Change>
  bool Apply(const AnsiString& added, const AnsiString& removed, Change change) {
    const TStripeLocks locks = ChangeLocks(added, removed);
    return ApplyLocked(added, removed, change);
  }

  // Renames 'from' to 'to' unless an entry of the folder that differs from
  // 'to' only in case is there: a folder never holds two names that differ
  // only in case, whatever threads of this process create them at once.
  // Then 'to' becomes that entry, which 'replace' takes the place of and
  // without it the rename fails with EEXIST. Without 'replace' a folder
  // whose names are not kept is read for them; with it, 'to' has been seen
  // as there, or its folder's names have just been kept, as a rule.
  bool MoveOnto(const AnsiString& from, AnsiString& to, bool replace, std::optional<uint64_t>* device) {
    return EnterOnto(
        to, from, replace,
        [&] { return replace ? ::rename(from.c_str(), to.c_str()) == 0 : RenameWithoutReplacing(from, to); }, device);
  }

  // MoveOnto's rule for the entry 'enter' makes at 'to' (and that removes
  // 'from', when not empty). *device (when given) takes the file system of
  // the folder of 'to' when its kept names take the folder's new times;
  // else it is left as it was.
  template <class Enter>
  bool EnterOnto(AnsiString& to, const AnsiString& from, bool replace, Enter enter, std::optional<uint64_t>* device) {
    const TStripeLocks locks = ChangeLocks(to, from);
    const AnsiString twin = TwinOf(to, from, !replace);
    if (!twin.empty()) {
      to = twin;
      if (!replace) {
        errno = EEXIST;
        return false;
      }
    }
    return ApplyLocked(to, from, enter, device);
  }

 private:
  // Enough for the folders a crawl fills at once and the ones above them; a
  // full set gives up one index for each new one.
  static constexpr size_t MaximumIndexes = 4096;
  static constexpr size_t StripeCount = 64;
  struct TIndex {
    dev_t device;
    ino_t inode;
    timespec modified, changed;
    std::unordered_map<AnsiString, std::vector<AnsiString>> names;  // folded -> the entries
  };

  // The lock of one folder's stripe, or the locks of two folders' stripes
  // taken in the stripes' order (once when they are the same).
  class TStripeLocks {
   public:
    TStripeLocks(TCaseIndexes& indexes, std::string_view one, std::string_view other)
        : first_(&indexes.StripeOf(one)), second_(&indexes.StripeOf(other)) {
      if (second_ < first_) std::swap(first_, second_);
      first_->lock();
      if (second_ != first_) second_->lock();
    }
    TStripeLocks(TCaseIndexes& indexes, std::string_view folder) : first_(&indexes.StripeOf(folder)), second_(first_) {
      first_->lock();
    }
    ~TStripeLocks() {
      if (second_ != first_) second_->unlock();
      first_->unlock();
    }
    TStripeLocks(const TStripeLocks&) = delete;
    TStripeLocks& operator=(const TStripeLocks&) = delete;

   private:
    std::shared_mutex* first_;
    std::shared_mutex* second_;
  };

  // The stripe locks of a change of the entries 'one' and 'other': those
  // of their folders, or of the one folder alone when either is empty (no
  // entry), so that a change of a single entry does not also take the
  // stripe of "", which every such change would share.
  TStripeLocks ChangeLocks(std::string_view one, std::string_view other) {
    if (one.empty()) return TStripeLocks(*this, FolderOf(other));
    if (other.empty()) return TStripeLocks(*this, FolderOf(one));
    return TStripeLocks(*this, FolderOf(one), FolderOf(other));
  }

  template <class Change>
  bool ApplyLocked(const AnsiString& added, const AnsiString& removed, Change change,
                   std::optional<uint64_t>* device = nullptr) {
    if (!change()) return false;
    const int error = errno;
    Changed(added, removed, device);
    errno = error;
    return true;
  }

  // The entry of the folder of 'path' that differs from its name only in
  // case, as this process keeps the folder's names; empty when there is
  // none or when the name itself is there. Without kept names the folder is
  // read for them when 'read' says so, else none is found. The stripe is
  // locked.
  AnsiString TwinOf(const AnsiString& path, const AnsiString& leaving, bool read) {
    const std::string_view folder = FolderOf(path);
    if (folder.empty()) return AnsiString();
    std::shared_ptr<TIndex> index = Held(folder);
    if (!index && read) index = Scan(AnsiString(folder));
    return index ? TwinIn(*index, path, leaving) : AnsiString();
  }

  // The entry of the folder's index that differs from the name of 'path'
  // only in case (the smallest by bytes, as ResolvePath finds it), other
  // than 'leaving' (an entry a rename takes away); empty when there is
  // none or when the name itself is there.
  static AnsiString TwinIn(const TIndex& index, std::string_view path, std::string_view leaving) {
    const std::string_view name = NameOf(path);
    const auto entry = index.names.find(Folded(name));
    if (entry == index.names.end()) return AnsiString();
    const std::vector<AnsiString>& same = entry->second;
    if (std::find(same.begin(), same.end(), name) != same.end()) return AnsiString();
    const std::string_view folder = FolderOf(path);
    return SmallestOther(same, folder, FolderOf(leaving) == folder ? NameOf(leaving) : std::string_view());
  }

  // The entry of the folder's index that differs from the name of 'path',
  // which is there, only in case; empty when there is none.
  static AnsiString TwinBeside(const TIndex& index, std::string_view path) {
    const auto entry = index.names.find(Folded(NameOf(path)));
    return entry == index.names.end() ? AnsiString() : SmallestOther(entry->second, FolderOf(path), NameOf(path));
  }

  // folder + the smallest of 'same' by bytes that is not 'other'; empty when none.
  static AnsiString SmallestOther(const std::vector<AnsiString>& same, std::string_view folder, std::string_view other) {
    const AnsiString* smallest = nullptr;
    for (const AnsiString& name : same)
      if (name != other && (!smallest || name < *smallest)) smallest = &name;
    return smallest ? AnsiString(folder).append(*smallest) : AnsiString();
  }

  // Reads the folder's names under its lock (held by the caller), so that
  // no change of this process can fall inside the read, and keeps them
  // while the folder is as it was when the read began (another program may
  // have changed it meanwhile). Null when the folder cannot be read.
  std::shared_ptr<TIndex> Scan(const AnsiString& folder) {
    struct stat before;
    if (!StatFolder(folder, before)) return nullptr;
    DirHandle dir = OpenDir(folder);
    if (!dir) return nullptr;
    ++scans_;
    auto index = std::make_shared<TIndex>(TIndex{before.st_dev, before.st_ino, before.st_mtim, before.st_ctim, {}});
    while (dirent* entry = ::readdir(dir.get())) {
      const std::string_view candidate = entry->d_name;
      if (candidate != "." && candidate != "..") Add(*index, AnsiString(candidate));
    }
    struct stat now;
    if (StatFolder(folder, now) && Holds(*index, now)) Store(folder, index);
    return index;
  }

  std::shared_mutex& StripeOf(std::string_view folder) { return stripes_[std::hash<std::string_view>{}(folder) % StripeCount]; }

  // The folder's index, or null; its stripe is locked. The index stays the
  // caller's to use while the stripe is held, even if the map gives it up.
  std::shared_ptr<TIndex> Held(std::string_view folder) {
    const std::shared_lock<std::shared_mutex> lock(mapMutex_);
    const auto found = indexes_.find(folder);
    return found == indexes_.end() ? nullptr : found->second;
  }

  // This process made 'added' and removed 'removed'; the stripes of their
  // folders are locked. A rename within one folder looks at the folder once.
  // 'device', when given, takes the file system of the folder of 'added'
  // if that folder was looked at.
  void Changed(const AnsiString& added, const AnsiString& removed, std::optional<uint64_t>* device = nullptr) {
    if (!removed.empty() && !added.empty() && FolderOf(removed) == FolderOf(added)) {
      Update(FolderOf(added), {{NameOf(removed), false}, {NameOf(added), true}}, device);
      return;
    }
    if (!removed.empty()) Update(FolderOf(removed), {{NameOf(removed), false}});
    if (!added.empty()) Update(FolderOf(added), {{NameOf(added), true}}, device);
  }

  // The folder of a path, with its '/'; empty for a bare name or none.
  static std::string_view FolderOf(std::string_view path) {
    const size_t slash = path.rfind(PathDelim);
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
  }

  static std::string_view NameOf(std::string_view path) { return path.substr(path.rfind(PathDelim) + 1); }

  // Brings the folder's index up to date with its entries that were removed
  // (false) or added (true), in that order; the folder's stripe is locked.
  // The folder's file system goes to 'device' when the index is brought up
  // to date, the folder being then the one it was made of.
  void Update(std::string_view folder, std::initializer_list<std::pair<std::string_view, bool>> entries,
              std::optional<uint64_t>* device = nullptr) {
    if (folder.empty()) return;
    const std::shared_ptr<TIndex> index = Held(folder);
    if (!index) return;
    struct stat st;
    if (::stat(AnsiString(folder).c_str(), &st) != 0 || st.st_dev != index->device || st.st_ino != index->inode) {
      const std::lock_guard<std::shared_mutex> lock(mapMutex_);
      if (const auto found = indexes_.find(folder); found != indexes_.end() && found->second == index)
        indexes_.erase(found);
      return;
    }
    for (const auto& [name, added] : entries) {
      if (added)
        Add(*index, name);
      else
        Remove(*index, name);
    }
    index->modified = st.st_mtim;
    index->changed = st.st_ctim;
    if (device) *device = st.st_dev;
  }

  // The folder's stripe is locked.
  void Store(const AnsiString& folder, std::shared_ptr<TIndex> stored) {
    const std::lock_guard<std::shared_mutex> lock(mapMutex_);
    if (indexes_.size() >= MaximumIndexes && indexes_.find(folder) == indexes_.end()) indexes_.erase(SmallOne());
    indexes_[folder] = std::move(stored);
  }

  // The folder of an index to give up for a new one: the one of fewest
  // names among a few, since the index of a large folder (a site's folder
  // of thousands of folders) costs the most to make again and is looked at
  // the most. The few are taken going round the map's buckets from where
  // the last look ended, not from the map's start, which lists the indexes
  // put in last (the folders being filled) first. mapMutex_ is held and
  // the map is not empty.
  AnsiString SmallOne() {
    const size_t buckets = indexes_.bucket_count();
    const AnsiString* smallest = nullptr;
    size_t fewest = 0;
    for (size_t seen = 0, looked = 0; seen < buckets && looked < 8; ++seen) {
      const size_t bucket = nextBucket_++ % buckets;
      for (auto it = indexes_.begin(bucket); it != indexes_.end(bucket); ++it, ++looked)
        if (!smallest || it->second->names.size() < fewest) {
          smallest = &it->first;
          fewest = it->second->names.size();
        }
    }
    return *smallest;
  }

  static bool Holds(const TIndex& index, const struct stat& st) {
    return st.st_dev == index.device && st.st_ino == index.inode && SameTime(st.st_mtim, index.modified) &&
           SameTime(st.st_ctim, index.changed);
  }

  static void Add(TIndex& index, std::string_view name) {
    std::vector<AnsiString>& same = index.names[Folded(name)];
    if (std::find(same.begin(), same.end(), name) == same.end()) same.emplace_back(name);
  }

  static void Remove(TIndex& index, std::string_view name) {
    const auto entry = index.names.find(Folded(name));
    if (entry == index.names.end()) return;
    std::vector<AnsiString>& same = entry->second;
    const auto found = std::find(same.begin(), same.end(), name);
    if (found != same.end()) same.erase(found);
    if (same.empty()) index.names.erase(entry);
  }

  // The smallest entry by bytes that equals name up to case; empty when none.
  static AnsiString Smallest(const TIndex& index, const AnsiString& name) {
    const auto entry = index.names.find(Folded(name));
    if (entry == index.names.end()) return AnsiString();
    return *std::min_element(entry->second.begin(), entry->second.end());
  }

  std::array<std::shared_mutex, StripeCount> stripes_;
  std::shared_mutex mapMutex_;  // guards indexes_ itself, not the indexes in it; shared to look one up
  std::atomic<unsigned long> scans_{0};
  size_t nextBucket_ = 0;  // guarded by mapMutex_
  // Looked up by views of the paths being changed, which need no copy.
  struct TTextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  std::unordered_map<AnsiString, std::shared_ptr<TIndex>, TTextHash, std::equal_to<>> indexes_;
};

// The entry of 'folder' (seen as st) that equals 'name' up to ASCII case;
// the smallest by bytes when there are several, empty when there is none.
AnsiString FindCaseVariantIn(const AnsiString& folder, const struct stat& st, const AnsiString& name) {
  AnsiString variant;
  if (!TCaseIndexes::Instance().Find(folder, st, name, variant)) TCaseIndexes::Instance().ScanAndKeep(folder, name, variant);
  return variant;
}

AnsiString FindCaseVariant(const AnsiString& folder, const AnsiString& name) {
  struct stat st;
  if (!StatFolder(folder, st)) return AnsiString();
  return FindCaseVariantIn(folder, st, name);
}

// Names in 'folder' matching 'mask' whose kind (folder or not) is 'wantFolders'.
std::vector<AnsiString> ListEntries(const AnsiString& folder, const AnsiString& mask,
                                    bool wantFolders) {
  std::vector<AnsiString> names;
  AnsiString resolved = ResolvePath(folder);
  DirHandle dir = OpenDir(resolved);
  if (!dir)
    return names;
  AnsiString prefix = resolved.empty() ? AnsiString() : IncludeTrailingPathDelimiter(resolved);
  while (dirent* entry = ::readdir(dir.get())) {
    AnsiString name = entry->d_name;
    if (name == "." || name == ".." || !MatchesMask(name, mask))
      continue;
    struct stat st;
    if (StatPath(prefix + name, st) && S_ISDIR(st.st_mode) == wantFolders)
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool IsFolder(const AnsiString& path) {
  struct stat st;
  return StatPath(path, st) && S_ISDIR(st.st_mode);
}

// Makes the folder path and the missing folders above it, from the deepest
// one that exists down, so that a new folder in an existing one costs one
// mkdir and nothing above it is looked at. A level that another thread made
// meanwhile under a name that differs only in case is that level: 'made' is
// the folder as it stands. errno tells why it failed.
bool MakeFolderLevels(const AnsiString& path, AnsiString& made) {
  if (TCaseIndexes::Instance().MakeDir(path, made))
    return true;
  if (errno == EEXIST)
    return IsFolder(made);
  const size_t slash = path.rfind(PathDelim);
  AnsiString above;
  if (errno != ENOENT || slash == AnsiString::npos || slash == 0 || !MakeFolderLevels(path.substr(0, slash), above))
    return false;
  const AnsiString below = above + path.substr(slash);
  return TCaseIndexes::Instance().MakeDir(below, made) || (errno == EEXIST && IsFolder(made));
}

std::mutex& ProgramFolderMutex() {
  static std::mutex mutex;
  return mutex;
}

AnsiString& ProgramFolderSetting() {
  static AnsiString folder;
  return folder;
}

AnsiString& UserDataFolderSetting() {
  static AnsiString folder;
  return folder;
}

AnsiString& UserHomeFolderSetting() {
  static AnsiString folder;
  return folder;
}

// A folder setting (empty: not set), read and written under one lock and
// kept with a trailing '/'.
AnsiString ReadFolderSetting(const AnsiString& setting) {
  std::lock_guard lock(ProgramFolderMutex());
  return setting;
}

void WriteFolderSetting(AnsiString& setting, const AnsiString& folder) {
  std::lock_guard lock(ProgramFolderMutex());
  setting = folder.empty() ? folder : IncludeTrailingPathDelimiter(folder);
}

// The value of an environment variable when it is an absolute path, else "".
AnsiString AbsolutePathVariable(const char* name) {
  const char* value = std::getenv(name);
  return value && value[0] == '/' ? AnsiString(value) : AnsiString();
}

AnsiString ExecutableFolder() {
  char buffer[4096];
  ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0)
    return IncludeTrailingPathDelimiter(GetCurrentDir());
  return ExtractFilePath(AnsiString(buffer, static_cast<size_t>(length)));
}

}  // namespace

unsigned long FolderScansForCase() { return TCaseIndexes::Instance().Scans(); }

// ---------------------------------------------------------------------------

int CreateEntryFile(const AnsiString& path, int flags, int mode) {
  int fd = -1;
  TCaseIndexes::Instance().Apply(path, "", [&] {
    fd = ::open(path.c_str(), flags | O_CREAT, mode);
    return fd >= 0;
  });
  return fd;
}

bool MoveEntry(const AnsiString& from, AnsiString& to, std::optional<uint64_t>* device) {
  return TCaseIndexes::Instance().MoveOnto(from, to, true, device);
}

bool MoveEntryIfFree(const AnsiString& from, AnsiString& to, std::optional<uint64_t>* device) {
  return TCaseIndexes::Instance().MoveOnto(from, to, false, device);
}

bool RemoveEntry(const AnsiString& path) {
  return TCaseIndexes::Instance().Apply("", path, [&] { return ::unlink(path.c_str()) == 0; });
}

bool NameUnnamedFileIfFree(int fd, AnsiString& to, std::optional<uint64_t>* device) {
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  return TCaseIndexes::Instance().EnterOnto(
      to, "", false, [&] { return ::linkat(AT_FDCWD, link.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0; },
      device);
}

AnsiString ResolvePath(const AnsiString& path) {
  bool missing;
  return ResolvePath(path, missing);
}

AnsiString ResolvePath(const AnsiString& path, bool& missing) {
  bool folderMissing;
  return ResolvePath(path, missing, folderMissing);
}

AnsiString ResolvePath(const AnsiString& path, bool& missing, bool& folderMissing) {
  missing = false;
  folderMissing = false;
  if (path.empty())
    return path;
  // The kept names of the path's folder are asked first: most paths name a
  // new file in a folder being filled, which they tell missing at the cost
  // of the folder's look alone.
  TCaseIndexes& indexes = TCaseIndexes::Instance();
  struct stat st;
  bool looked = false, found = false;
  size_t slash = path.rfind(PathDelim);
  if (slash != AnsiString::npos && IsName(std::string_view(path).substr(slash + 1))) {
    switch (indexes.Look(path.substr(0, slash + 1), nullptr, path.substr(slash + 1), st, looked, found)) {
      case TKept::Present:
        return path;
      case TKept::Missing:
        missing = true;
        return path;
      case TKept::Unknown:
        break;
    }
  }
  if (PathPresent(path))
    return path;
  // The deepest folder of the path that exists as named is found going up
  // (from the path's folder when it was seen there): most missing paths
  // name a new entry of an existing folder, some a new folder or two. Only
  // the components below it can have case variants. A folder whose own
  // folder keeps names that tell it missing is not looked at.
  AnsiString result;
  size_t i = 0;
  if (looked) {
    result = path.substr(0, slash + 1);
    i = slash + 1;
    slash = found ? AnsiString::npos : Above(path, slash);
  }
  for (; slash != AnsiString::npos && !found; slash = Above(path, slash)) {
    const size_t above = Above(path, slash);
    const AnsiString folder = above == AnsiString::npos ? AnsiString() : path.substr(above + 1, slash - above - 1);
    bool folderLooked, folderFound;
    if (IsName(folder) && indexes.Look(path.substr(0, above + 1), nullptr, folder, st, folderLooked, folderFound) ==
                              TKept::Missing) {
      result = path.substr(0, above + 1);
      i = above + 1;
      found = true;
      break;
    }
    result = path.substr(0, slash + 1);
    found = ::stat(result.c_str(), &st) == 0;
    i = slash + 1;
  }
  if (!found) {
    result.clear();
    i = 0;
  }
  bool first = found;  // the first component below the folder seen as st
  while (i < path.size()) {
    size_t end = path.find(PathDelim, i);
    if (end == AnsiString::npos)
      end = path.size();
    AnsiString component = path.substr(i, end - i);
    // Once a component is absent (missing), the rest cannot exist. The last
    // one, right below the folder seen, is known to be absent; a folder
    // right below it is asked of its kept names first.
    bool lookedAgain, foundAgain;
    const TKept kept = !missing && first && end < path.size() && IsName(component)
                           ? indexes.Look(result, &st, component, st, lookedAgain, foundAgain)
                           : TKept::Unknown;
    if (kept == TKept::Missing) {
      missing = folderMissing = true;
    } else if (kept == TKept::Unknown && !missing && IsName(component) &&
               ((first && end == path.size()) || !PathPresent(result + component))) {
      AnsiString variant = first ? FindCaseVariantIn(result, st, component) : FindCaseVariant(result, component);
      missing = variant.empty();
      folderMissing = missing && end < path.size();
      if (!missing)
        component = variant;
    }
    first = false;
    result += component;
    if (end < path.size())
      result += PathDelim;
    i = end + 1;
  }
  return result;
}

bool FileExists(const AnsiString& fileName) {
  struct stat st;
  return StatPath(ResolvePath(fileName), st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const AnsiString& dir, bool pathResolved) { return IsFolder(pathResolved ? dir : ResolvePath(dir)); }

bool ForceDirectories(const AnsiString& dir) {
  if (dir.empty())
    return false;
  // "." and ".." are resolved first so that "a/../b" does not create "a".
  // A folder that the look-up found there is not made again.
  bool missing;
  const AnsiString path = ExcludeTrailingPathDelimiter(ResolvePath(ExpandFileName(dir), missing));
  AnsiString made;
  return (!missing && IsFolder(path)) || MakeFolderLevels(path, made);
}

bool CreateDir(const AnsiString& dir) {
  AnsiString path = ResolvePath(dir);
  AnsiString entry;
  return !path.empty() && TCaseIndexes::Instance().MakeDir(ExcludeTrailingPathDelimiter(path), entry);
}

bool RemoveDir(const AnsiString& dir) {
  AnsiString path = ResolvePath(dir);
  return !path.empty() &&
         TCaseIndexes::Instance().Apply("", ExcludeTrailingPathDelimiter(path), [&] { return ::rmdir(path.c_str()) == 0; });
}

bool DeleteFile(const AnsiString& fileName) {
  AnsiString path = ResolvePath(fileName);
  struct stat st;
  if (path.empty() || ::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
    return false;
  return RemoveEntry(path);
}

bool RenameFile(const AnsiString& oldName, const AnsiString& newName) {
  AnsiString from = ResolvePath(oldName);
  // The new name is used as given (only its folder is resolved), so that a
  // rename may change the case of a name.
  AnsiString folder = ExtractFilePath(newName);
  AnsiString to = (folder.empty() ? folder : ResolvePath(folder)) + ExtractFileName(newName);
  if (from.empty() || to.empty())
    return false;
  return TCaseIndexes::Instance().Apply(to, from, [&] { return RenameWithoutReplacing(from, to); });
}

bool CopyFile(const AnsiString& source, const AnsiString& dest, bool failIfExists) {
  AnsiString from = ResolvePath(source);
  int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode) && !(failIfExists && FileExists(dest));
  try {
    if (ok) {
      AtomicFile copy(dest);
      char buffer[65536];
      ssize_t got;
      while ((got = ::read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))
        if (got > 0)
          copy.Write(buffer, static_cast<size_t>(got));
      ok = got == 0;
      if (ok) {
        copy.SetModificationTime(st.st_mtim);
        copy.Commit();
      }
    }
  } catch (const EStreamError&) {
    ok = false;
  }
  ::close(fd);
  return ok;
}

int64_t FileSizeOf(const AnsiString& fileName) {
  struct stat st;
  if (!StatPath(ResolvePath(fileName), st) || S_ISDIR(st.st_mode))
    return -1;
  return static_cast<int64_t>(st.st_size);
}

bool FileAge(const AnsiString& fileName, TDateTime& age) {
  struct stat st;
  if (!StatPath(ResolvePath(fileName), st))
    return false;
  age = UnixToDateTime(st.st_mtim.tv_sec) + (st.st_mtim.tv_nsec / 1000000) / MSecsPerDay;
  return true;
}

bool FileSetDate(const AnsiString& fileName, TDateTime age) {
  int year, month, day, hour, min, sec, msec;
  DecodeDateTime(age, year, month, day, hour, min, sec, msec);
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(DateTimeToUnix(age));
  times[1].tv_nsec = msec * 1000000L;
  AnsiString path = ResolvePath(fileName);
  return !path.empty() && ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

AnsiString GetCurrentDir() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE)
      return AnsiString();
    buffer.resize(buffer.size() * 2);
  }
  return AnsiString(buffer.data());
}

// ---------------------------------------------------------------------------

AnsiString ExtractFilePath(const AnsiString& fileName) {
  size_t slash = fileName.rfind(PathDelim);
  return slash == AnsiString::npos ? AnsiString() : fileName.substr(0, slash + 1);
}

AnsiString ExtractFileDir(const AnsiString& fileName) {
  size_t slash = fileName.rfind(PathDelim);
  if (slash == AnsiString::npos)
    return AnsiString();
  return fileName.substr(0, slash == 0 ? 1 : slash);
}

AnsiString ExtractFileName(const AnsiString& fileName) {
  return fileName.substr(fileName.rfind(PathDelim) + 1);  // npos + 1 == 0
}

AnsiString ExtractFileExt(const AnsiString& fileName) {
  size_t at = fileName.find_last_of("./");
  return at != AnsiString::npos && fileName[at] == '.' ? fileName.substr(at) : AnsiString();
}

AnsiString ChangeFileExt(const AnsiString& fileName, const AnsiString& ext) {
  AnsiString current = ExtractFileExt(fileName);
  return fileName.substr(0, fileName.size() - current.size()) + ext;
}

AnsiString IncludeTrailingPathDelimiter(const AnsiString& path) {
  return path.ends_with(PathDelim) ? path : path + PathDelim;
}

AnsiString ExcludeTrailingPathDelimiter(const AnsiString& path) {
  return path.size() > 1 && path.ends_with(PathDelim) ? path.substr(0, path.size() - 1) : path;
}

// One pass over the components: each one is appended with its '/', a ".."
// takes the last one off again.
AnsiString ExpandFileName(const AnsiString& fileName) {
  const bool absolute = fileName.starts_with(PathDelim);
  const AnsiString relativeFull = absolute ? AnsiString() : IncludeTrailingPathDelimiter(GetCurrentDir()) + fileName;
  const std::string_view full = absolute ? std::string_view(fileName) : std::string_view(relativeFull);
  AnsiString result;
  result.reserve(full.size() + 1);
  for (size_t i = 0; i <= full.size();) {
    const size_t end = std::min(full.find(PathDelim, i), full.size());
    const std::string_view part = full.substr(i, end - i);
    if (part == "..")
      result.resize(std::min(result.size(), result.rfind(PathDelim)));
    else if (!part.empty() && part != ".")
      result.append(1, PathDelim).append(part);
    i = end + 1;
  }
  const bool trailing = fileName.ends_with(PathDelim) || fileName.ends_with("/.") || fileName.ends_with("/..") ||
                        fileName == "." || fileName == "..";
  if (result.empty() || trailing)
    result.push_back(PathDelim);
  return result;
}

bool IsPathDelimiter(const AnsiString& s, int index) {
  return index >= 1 && static_cast<size_t>(index) <= s.size() &&
         s[static_cast<size_t>(index) - 1] == PathDelim;
}

// ---------------------------------------------------------------------------

void WriteFileAtomically(const AnsiString& path, const AnsiString& bytes) {
  AtomicFile file(path);
  file.Write(bytes.data(), bytes.size());
  file.Commit();
}

bool ReadFileToString(const AnsiString& path, AnsiString& bytes) {
  bytes.clear();
  AnsiString resolved = ResolvePath(path);
  if (resolved.empty()) {
    errno = ENOENT;
    return false;
  }
  int fd = ::open(resolved.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  struct stat st;
  if (::fstat(fd, &st) == 0 && st.st_size > 0)
    bytes.reserve(static_cast<size_t>(st.st_size));
  char buffer[65536];
  ssize_t got;
  while ((got = ::read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))
    if (got > 0)
      bytes.append(buffer, static_cast<size_t>(got));
  int error = errno;
  ::close(fd);
  if (got == 0)
    return true;
  bytes.clear();
  errno = error;
  return false;
}

AnsiString ReadProblem(const AnsiString& fileName) {
  AnsiString path = ResolvePath(fileName);
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0)
    return (path.empty() || errno == ENOENT || errno == ENOTDIR) ? AnsiString() : SysErrorMessage(errno);
  if (S_ISDIR(st.st_mode))
    return SysErrorMessage(EISDIR);
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return SysErrorMessage(errno);
  char byte;
  int error = ::read(fd, &byte, 1) < 0 ? errno : 0;
  ::close(fd);
  return error != 0 ? SysErrorMessage(error) : AnsiString();
}

bool IsStorageError(int errorCode) {
  return errorCode == ENOSPC || errorCode == EDQUOT || errorCode == EROFS || errorCode == EACCES;
}

int RemoveStaleTemporaryFiles(const AnsiString& folder, bool recursive, const std::function<bool()>& stopped) {
  int removed = 0;
  if (folder.empty())
    return removed;
  std::vector<AnsiString> todo{IncludeTrailingPathDelimiter(ResolvePath(folder))};
  while (!todo.empty()) {
    const AnsiString dirPath = todo.back();
    todo.pop_back();
    DirHandle dir = OpenDir(dirPath);
    if (!dir)
      continue;
    while (dirent* entry = ::readdir(dir.get())) {
      if (stopped && stopped())
        return removed;
      const AnsiString name = entry->d_name;
      if (name == "." || name == "..")
        continue;
      const AnsiString path = dirPath + name;
      unsigned char type = entry->d_type;
      struct stat st;
      if (type == DT_UNKNOWN && ::lstat(path.c_str(), &st) == 0)
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
      if (type == DT_DIR && recursive) {
        todo.push_back(path + PathDelim);
        continue;
      }
      const int owner = AtomicFile::TemporaryFileOwner(name);
      // A process that runs (or that we may not signal) may still be writing.
      if (type == DT_REG && owner != 0 && ::kill(owner, 0) != 0 && errno == ESRCH &&
          ::unlink(path.c_str()) == 0)
        ++removed;
    }
  }
  return removed;
}

// ---------------------------------------------------------------------------

bool MatchesMask(const AnsiString& name, const AnsiString& mask) {
  if (mask == "*.*")  // the customary "every file", dot or not
    return true;
  // Iterative wildcard match: on a mismatch, let the last '*' take one more byte.
  size_t n = 0, m = 0, starMask = AnsiString::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && (mask[m] == '?' || FoldByte(mask[m]) == FoldByte(name[n]))) {
      ++m;
      ++n;
    } else if (starMask != AnsiString::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*')
    ++m;
  return m == mask.size();
}

std::vector<AnsiString> FindFiles(const AnsiString& folder, const AnsiString& mask) {
  return ListEntries(folder, mask, false);
}

std::vector<AnsiString> FindFolders(const AnsiString& folder, const AnsiString& mask) {
  return ListEntries(folder, mask, true);
}

// ---------------------------------------------------------------------------

AnsiString ProgramFolder() {
  std::lock_guard lock(ProgramFolderMutex());
  AnsiString& folder = ProgramFolderSetting();
  if (folder.empty())
    folder = ExecutableFolder();
  return folder;
}

void SetProgramFolder(const AnsiString& folder) { WriteFolderSetting(ProgramFolderSetting(), folder); }

AnsiString UserHomeFolder() {
  if (AnsiString set = ReadFolderSetting(UserHomeFolderSetting()); !set.empty()) return set;
  AnsiString home = AbsolutePathVariable("HOME");
  if (home.empty()) {
    const long size = std::max(::sysconf(_SC_GETPW_R_SIZE_MAX), 16384L);
    std::vector<char> buffer(static_cast<size_t>(size));
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
      home = found->pw_dir;
  }
  return IncludeTrailingPathDelimiter(home.empty() ? AnsiString("/") : home);
}

void SetUserHomeFolder(const AnsiString& folder) { WriteFolderSetting(UserHomeFolderSetting(), folder); }

AnsiString UserDataFolder() {
  if (AnsiString set = ReadFolderSetting(UserDataFolderSetting()); !set.empty()) return set;
  const AnsiString data = AbsolutePathVariable("XDG_DATA_HOME");
  return (data.empty() ? UserHomeFolder() + ".local/share/" : IncludeTrailingPathDelimiter(data)) + "harvella/";
}

void SetUserDataFolder(const AnsiString& folder) { WriteFolderSetting(UserDataFolderSetting(), folder); }

AnsiString DefaultDownloadFolder() { return UserHomeFolder() + "Downloads/Harvella/"; }

AnsiString GetTempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  struct stat st;
  if (tmp && *tmp && StatPath(tmp, st) && S_ISDIR(st.st_mode))
    return IncludeTrailingPathDelimiter(tmp);
  return "/tmp/";
}

AnsiString MakeTempFolder(const AnsiString& prefix) {
  AnsiString pattern = GetTempFolder() + prefix + "XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!::mkdtemp(buffer.data()))
    throw EInOutError(Format("Cannot create a temporary folder \"%s\". %s", pattern,
                             SysErrorMessage(errno)));
  return IncludeTrailingPathDelimiter(buffer.data());
}
