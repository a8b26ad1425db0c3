// TParamProObj: defaults, copying and the project's companion files (see
// Settings.h). Reading and writing the settings file: SettingsFile.cpp.
#include "project/Settings.h"

#include <memory>

#include "platform/rtl/FileUtils.h"

namespace {

const AnsiString CompanionExts[] = {".url", ".wmt"};

TProject DefaultProject() {
  TProject project;
  project.BottomHeight = 60;
  project.LeftWidth = 380;
  project.UrlBoxHeight = 93;
  project.ViewBits = 31;
  project.Options = DefaultProjectOptions;
  project.Agent = "Trovanel - www.harvella.example/crawler.html";
  project.AutoSave = 5;
  project.Connections = 3;
  project.LinkLevel = 3;
  project.TimeOut = 100;
  project.Retries = 5;
  project.Layout = 1;
  return project;
}

// The size rules of two items are the same as Assign copies them: an item
// without one has the defaults.
bool SameSizer(const TObject* A, const TObject* B) {
  const TSizerObj none;
  const auto* a = dynamic_cast<const TSizerObj*>(A);
  const auto* b = dynamic_cast<const TSizerObj*>(B);
  if (!a) a = &none;
  if (!b) b = &none;
  return a->CheckSize == b->CheckSize && a->Load == b->Load && a->MinSize == b->MinSize && a->MaxSize == b->MaxSize;
}

// Same items in the same order; with Objects, the same objects too.
bool SameItems(const TStrings& A, const TStrings& B, bool Objects) {
  if (A.Count() != B.Count()) return false;
  for (int i = 0; i < A.Count(); ++i)
    if (A.Strings(i) != B.Strings(i) || (Objects && A.Objects(i) != B.Objects(i))) return false;
  return true;
}

// The name the file system will use, so that two spellings of one file compare equal.
AnsiString SameFileKey(const AnsiString& fileName) { return ResolvePath(ExpandFileName(fileName)); }

}  // namespace

void TSizerObj::Assign(const TSizerObj& Source) {
  CheckSize = Source.CheckSize;
  Load = Source.Load;
  MinSize = Source.MinSize;
  MaxSize = Source.MaxSize;
}

TParamProObj::TParamProObj(const AnsiString& AFileName, bool AIsDefault)
    : IsDefault(AIsDefault), Folder(ExtractFilePath(AFileName)), FileName(AFileName) {
  for (TStringList& list : FileTypes) list.SetOwnsObjects(true);
}

void TParamProObj::ClearLists() {
  Deleted = false;
  for (TStringList& list : FileTypes) list.Clear();
  for (TStringList& list : IncludeMasks) list.Clear();
  for (TStringList& list : ExcludeMasks) list.Clear();
  Domain.Names.Clear();
  Domain.Codes.Clear();
}

void TParamProObj::SetDefaults() {
  ClearLists();
  Project = DefaultProject();
  LoadAllSizes = true;
  AllOthers = false;
  MinSize = 0;
  MaxSize = 0;
  Domain.Flags = {};
  Domain.Joined = {};
  Schedule.Clear();
}

void TParamProObj::Assign(const TParamProObj& Source) {
  if (&Source == this) return;
  // Every other setting is overwritten below.
  ClearLists();
  Project = Source.Project;
  Schedule.Assign(Source.Schedule);
  for (int k = 0; k < FileTypeCategories; ++k) {
    const TStringList& from = Source.FileTypes.at(k);
    for (int i = 0; i < from.Count(); ++i) {
      auto sizer = std::make_unique<TSizerObj>();
      if (const auto* sourceSizer = dynamic_cast<const TSizerObj*>(from.Objects(i)))
        sizer->Assign(*sourceSizer);
      FileTypes.at(k).AddObject(from[i], sizer.get());
      sizer.release();
    }
  }
  LoadAllSizes = Source.LoadAllSizes;
  AllOthers = Source.AllOthers;
  MinSize = Source.MinSize;
  MaxSize = Source.MaxSize;
  for (int k = 0; k < MaskKinds; ++k) {
    IncludeMasks.at(k).AddStrings(Source.IncludeMasks.at(k));
    ExcludeMasks.at(k).AddStrings(Source.ExcludeMasks.at(k));
  }
  Domain.Names.AddStrings(Source.Domain.Names);
  Domain.Codes.AddStrings(Source.Domain.Codes);
  Domain.Flags = Source.Domain.Flags;
  Domain.Joined = Source.Domain.Joined;
  FileName = Source.FileName;
}

bool TParamProObj::SameSettings(const TParamProObj& Source) const {
  if (!(Project == Source.Project) || !(Schedule == Source.Schedule) || LoadAllSizes != Source.LoadAllSizes ||
      AllOthers != Source.AllOthers || MinSize != Source.MinSize || MaxSize != Source.MaxSize ||
      FileName != Source.FileName || Domain.Flags != Source.Domain.Flags || Domain.Joined != Source.Domain.Joined)
    return false;
  for (int k = 0; k < FileTypeCategories; ++k) {
    const TStringList& own = FileTypes.at(k);
    const TStringList& from = Source.FileTypes.at(k);
    if (!SameItems(own, from, false)) return false;
    for (int i = 0; i < own.Count(); ++i)
      if (!SameSizer(own.Objects(i), from.Objects(i))) return false;
  }
  for (int k = 0; k < MaskKinds; ++k)
    if (!SameItems(IncludeMasks.at(k), Source.IncludeMasks.at(k), true) ||
        !SameItems(ExcludeMasks.at(k), Source.ExcludeMasks.at(k), true))
      return false;
  return SameItems(Domain.Names, Source.Domain.Names, true) && SameItems(Domain.Codes, Source.Domain.Codes, true);
}

void TParamProObj::SaveAs(const AnsiString& NewName) const {
  const AnsiString newFolder = ExtractFilePath(NewName);
  if (!newFolder.empty() && !DirectoryExists(newFolder) && !ForceDirectories(newFolder))
    throw EFCreateError(Format("Cannot create folder \"%s\"", newFolder));
  for (const AnsiString& ext : CompanionExts) {
    const AnsiString newCompanion = ChangeFileExt(NewName, ext);
    const AnsiString oldCompanion = FileName.empty() ? AnsiString() : ChangeFileExt(FileName, ext);
    const bool sameFile = !oldCompanion.empty() && SameFileKey(oldCompanion) == SameFileKey(newCompanion);
    if (sameFile) {
      if (!FileExists(newCompanion)) WriteFileAtomically(newCompanion, AnsiString());
    } else if (!oldCompanion.empty() && FileExists(oldCompanion)) {
      if (!CopyFile(oldCompanion, newCompanion, false))
        throw EFCreateError(Format("Cannot copy \"%s\" to \"%s\"", oldCompanion, newCompanion));
    } else {
      // Without an old companion the new one starts empty: a file left by the
      // project that was saved over must not become this project's.
      WriteFileAtomically(newCompanion, AnsiString());
    }
  }
}

void TParamProObj::DeleteFiles() {
  if (!FileName.empty()) {
    if (FileExists(FileName)) DeleteFile(FileName);
    for (const AnsiString& ext : CompanionExts) {
      const AnsiString companion = ChangeFileExt(FileName, ext);
      if (FileExists(companion)) DeleteFile(companion);
    }
  }
  Deleted = true;
}
