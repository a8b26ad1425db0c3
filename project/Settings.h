// The settings of one project, or of the defaults new projects are seeded
// from: TParamProObj with its records (TProject, TProxyRec, TWebRec, TDomain),
// the per-extension size rule TSizerObj and the language choice tLang.
// The object resets itself, copies another, reads and writes its settings
// file (SettingsFile.cpp) and copies or deletes a project's companion files.
// Reading never fails; saving replaces the file only after a complete write.
// Written by the user-interface thread only; download threads read it.
#pragma once

#include <array>
#include <cstdint>

#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"
#include "project/Schedule.h"

// Bits of TProject::Options.
enum TProjectOption : int32_t {
  poUseProxy = 0x1,            // connect through Proxy
  poSiteLogin = 0x2,           // the site is password-protected: send Web
  poMaskProxyPassword = 0x4,   // show the proxy password masked
  poFollowNewLinks = 0x8,      // queue the links found
  poSameWww = 0x10,            // a host and "www." + host are one
  poUnused20 = 0x20,           // stored only
  poShowNewNodes = 0x40,       // expand the site map to show a node
  poAutoReferer = 0x80,        // the URL's own directory is the referring page
  poConvertLinks = 0x100,      // rewrite links in saved pages to local names
  poCopyDirectories = 0x200,   // copy the sites' directory structure
  poInDomainList = 0x400,      // stay within the initial domain list
  poInSubDomain = 0x800,       // stay within the initial sub-domain
  poInUrlDirectory = 0x1000,   // stay within the initial URL directory
  poExtractLocal = 0x2000,     // extract local links
  poExternalOnly = 0x4000,     // search and extract external links only
  poConfirmExit = 0x8000,      // ask before the program exits
  poResumeAll = 0x10000,       // resume every unfinished link
};
constexpr int32_t AllProjectOptions = 0x1FFFF;
constexpr int32_t DefaultProjectOptions = 0x27FC;

// TProject::UpdateMode.
constexpr uint8_t umDownloadAll = 0;
constexpr uint8_t umNewOrModified = 1;
constexpr uint8_t umNewModifiedOrResized = 2;
constexpr uint8_t umSkipExisting = 3;

// Number of file-type categories: Text, Image, Programs, Archive, Audio,
// Video, Other.
constexpr int FileTypeCategories = 7;
// Number of mask kinds: domain name, directory, file name.
constexpr int MaskKinds = 3;

struct TProxyRec {
  AnsiString Host;
  AnsiString Password;
  AnsiString Port;
  AnsiString UserName;

  bool operator==(const TProxyRec&) const = default;
};

struct TWebRec {
  AnsiString Password;
  AnsiString UserName;

  bool operator==(const TWebRec&) const = default;
};

struct TProject {
  int32_t BottomHeight = 0;
  int32_t LeftWidth = 0;
  int32_t UrlBoxHeight = 0;
  int32_t ViewBits = 0;
  int32_t Options = 0;  // TProjectOption bits 0 to 16
  AnsiString Agent;
  AnsiString Sender;
  AnsiString Reference;
  AnsiString Folder;  // download root, with a trailing "/"
  int32_t AutoSave = 0;
  int32_t Connections = 0;
  int32_t LinkLevel = 0;
  int32_t TimeOut = 0;
  int32_t Retries = 0;
  int32_t DiskLimit = 0;
  int32_t DomainDiskLimit = 0;
  int32_t Layout = 0;
  uint8_t UpdateMode = 0;
  TProxyRec Proxy;
  TWebRec Web;

  bool operator==(const TProject&) const = default;
};

// The size rule of one extension; held as the object of its extension in a
// file-type category list.
class TSizerObj : public TObject {
public:
  void Assign(const TSizerObj& Source);
  AnsiString ClassName() const override { return "TSizerObj"; }

  bool CheckSize = false;
  bool Load = false;
  int32_t MinSize = 0;  // KB
  int32_t MaxSize = 0;  // KB
};

// The domain list. Invariant: Names and Codes have the same number of rows
// and each Flags string has exactly one character ("+" or a blank) per row;
// Joined[c] holds the lower-cased codes of the rows ticked in Flags[c], each
// followed by ";".
struct TDomain {
  TStringList Names;
  TStringList Codes;
  std::array<AnsiString, 2> Flags;
  std::array<AnsiString, 2> Joined;
};

struct tLang {
  bool ApplyLanguage = false;
  bool WriteLanguage = false;
  AnsiString Name = "language";
};

class TParamProObj {
public:
  // Numbers stay 0 and flags false until SetDefaults or LoadFromFile.
  TParamProObj(const AnsiString& AFileName, bool AIsDefault);
  TParamProObj(const TParamProObj&) = delete;
  TParamProObj& operator=(const TParamProObj&) = delete;

  // Defaults of every setting; keeps IsDefault, FileName, Folder and IsNew.
  void SetDefaults();
  // Copies every setting and the file name of Source (not IsDefault, Folder
  // or IsNew).
  void Assign(const TParamProObj& Source);
  // True when Assign(Source) would change none of the settings it copies:
  // a copy made earlier from an equal object can stand for a new one.
  bool SameSettings(const TParamProObj& Source) const;
  // Replaces every setting by the file's; an empty AFileName rereads FileName.
  // Never throws: what cannot be read keeps its default.
  void LoadFromFile(const AnsiString& AFileName);
  // Writes every setting to FileName (nothing when it is empty); throws
  // EFCreateError and leaves the old file untouched when writing fails.
  void SaveToFile() const;
  // Copies the ".url" and ".wmt" companions to NewName's; a companion that
  // does not exist leaves NewName's empty. The settings file itself is saved
  // by the caller. Throws EFCreateError when a copy fails.
  void SaveAs(const AnsiString& NewName) const;
  // Deletes the settings file and its companions that exist; sets Deleted.
  void DeleteFiles();

  bool IsDefault;
  TProject Project;
  bool LoadAllSizes = false;
  bool AllOthers = false;  // download file types that stand in no category
  int32_t MinSize = 0;     // KB
  int32_t MaxSize = 0;     // KB
  // Item text: extension without dot; item object: its TSizerObj, owned by
  // the list (deleting an item frees it).
  std::array<TStringList, FileTypeCategories> FileTypes;
  // One mask per item; a leading "+" marks an enabled mask.
  std::array<TStringList, MaskKinds> IncludeMasks;
  std::array<TStringList, MaskKinds> ExcludeMasks;
  TDomain Domain;
  AnsiString Folder;  // folder of the settings file, with a trailing "/"
  AnsiString FileName;
  bool IsNew = true;
  bool Deleted = false;
  TScheduleObj Schedule;

private:
  // Empties every list setting and clears Deleted.
  void ClearLists();
};
