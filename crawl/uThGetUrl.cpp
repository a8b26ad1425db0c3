#include "crawl/uThGetUrl.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <utility>

#include "crawl/AcceptRules.h"
#include "crawl/LinkLevels.h"
#include "crawl/LinkResolve.h"
#include "crawl/ReadyWorkers.h"
#include "crawl/SavePaths.h"
#include "crawl/WorkerMessages.h"
#include "net/HttpProt.h"
#include "platform/rtl/AtomicFile.h"
#include "platform/rtl/FileUtils.h"
#include "project/SiteTreeNode.h"
#include "project/TextHelpers.h"
#include "project/uQuere.h"

namespace {

constexpr int MaxRedirects = 5;
constexpr int64_t ReadBlockSize = 4096;
constexpr size_t WriteBlockSize = 65536;
constexpr uint16_t sfKeptByStart = sfAbort | sfTimedOut;
// Found links handed to the main window in one message.
constexpr int LinksPerReport = 1024;
// A page at the page limit fits the page memory alone, so a worker that waits
// for room always gets it once the others are done.
static_assert(PageMemoryCost(PageLimit) <= PageMemoryBudget);

bool EndsWithSlashOrEmpty(const AnsiString& Path) { return Path.empty() || Path == "/" || EndsStr("/", Path); }

// Appends the number right-aligned in 10 columns, as "%10d" writes it.
void AppendCount(AnsiString& Text, int64_t Count) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, Count).ptr;
  const size_t length = static_cast<size_t>(end - digits);
  if (length < 10) Text.append(10 - length, ' ');
  Text.append(digits, length);
}

// The progress text of a body, written over Text: "%10d " of the bytes
// received, or "%10d <%10d>" with the length expected. It is made for every
// block, so without the general formatter, in a text whose room serves the
// next block.
void BodyProgress(AnsiString& Text, int64_t Received, int64_t Expected) {
  Text.clear();
  AppendCount(Text, Received);
  if (Expected < 1) {
    Text.append(1, ' ');
    return;
  }
  Text.append(" <");
  AppendCount(Text, Expected);
  Text.append(1, '>');
}

// The download folder absolute and ending with "/", "" for none. The
// window makes every worker with the same folder, so the last one expanded
// on this thread is kept: an absolute name expands alike whatever the
// current folder.
AnsiString DownloadFolder(const AnsiString& Folder) {
  if (Folder.empty()) return Folder;
  if (!Folder.starts_with(PathDelim)) return IncludeTrailingPathDelimiter(ExpandFileName(Folder));
  thread_local AnsiString lastFolder, lastExpanded;
  if (Folder != lastFolder) {
    lastExpanded = IncludeTrailingPathDelimiter(ExpandFileName(Folder));
    lastFolder = Folder;
  }
  return lastExpanded;
}

// A worker's read-only copy of the settings. The window makes a worker per
// download, nearly always with unchanged settings, so the copy the last one
// made on this thread serves while the settings still equal it.
std::shared_ptr<const TParamProObj> SettingsCopy(const TParamProObj* Params) {
  thread_local std::shared_ptr<const TParamProObj> last;
  if (Params != nullptr && last && last->SameSettings(*Params)) return last;
  auto copy = std::make_shared<TParamProObj>("", false);
  if (Params == nullptr) {
    copy->SetDefaults();
    return copy;
  }
  copy->Assign(*Params);
  last = copy;
  return copy;
}

AnsiString LowerExtOf(const AnsiString& Name) {
  const AnsiString ext = ExtractFileExt(Name);
  return LowerCase(ext.empty() ? ext : ext.substr(1));
}

// Makes a document's missing folder; raises when it cannot, the system's
// error number in SaveError when it has one.
void MakeDocumentFolder(const AnsiString& Dir, int& SaveError) {
  try {
    if (ForceDirectories(Dir)) return;
    SaveError = errno;
    MakeDirPath(Dir);
  } catch (const Exception&) {
    // Reported below as a folder that does not exist.
  }
  if (!DirectoryExists(Dir)) throw EFCreateError("Cannot create folder \"" + Dir + "\"");
}

} // namespace

// ---------------------------------------------------------------------------
// Life cycle

thGetUrl::thGetUrl(bool CreateSuspended, const TParamProObj* Params, TrcHttp ARec)
    : Rec(std::move(ARec)), FSettings(SettingsCopy(Params)), FParams(*FSettings) {
  FFolder = DownloadFolder(FParams.Project.Folder);
  Rec.Flags.Store(sfCreated);
  if (Rec.Node != nullptr) {
    FNode.State = Rec.Node->State;
    FNode.Size = Rec.Node->Size;
    FNode.SizeOrig = Rec.Node->SizeOrig;
  }
  SetFreeOnTerminate(true);
  if (!CreateSuspended) Start();
}

thGetUrl::~thGetUrl() = default;

// The abort is posted to the client and runs on the worker's thread, so it is
// safe in every client state; a connected request is not left waiting for its
// next data block.
void thGetUrl::SetState(uint16_t Value) {
  Rec.Flags.Store(Value);
  if ((Value & sfAbort) == 0 || Rec.Mode != 1) return;
  std::lock_guard<std::mutex> guard(FClientLock);
  if (FAbortHandle && FAbortHandle->State() != httpAborting) FAbortHandle->Abort();
}

void thGetUrl::Execute() {
  Content.clear();
  Redirects = 0;
  try {
    if (Rec.Mode == 1)
      Download();
    else
      ReadLocal();
  } catch (...) {
    // A failure of the worker's own steps ends as a failed download.
    Rec.Flags.Set(sfFailed);
    if (FNode.Mark == TNodeMark::None) FNode.Mark = TNodeMark::Failed;
    FSuccess = false;
  }
  Rec.Flags.Set(sfReporting);
  try {
    Synchronize([this] { ReportResult(); });
  } catch (...) {
    // The receiver's failure stays on its side; the worker ends normally.
  }
  Rec.Flags.Clear(sfReporting);
  FreeClient();
  FFile.reset();
  FParse.reset();
  FPendingLinks.Clear();
  AnsiString().swap(Content);
  FMemory.Release();
  Results.Clear();
}

bool thGetUrl::Stopped() const { return Rec.Flags.Has(sfAbort) || Terminated(); }

bool thGetUrl::HasOption(int32_t Option) const { return (FParams.Project.Options & Option) != 0; }

int32_t thGetUrl::ClampedSize(int64_t Size) const {
  return static_cast<int32_t>(std::clamp<int64_t>(Size, 0, MaxDocumentSize));
}

// ---------------------------------------------------------------------------
// Mode 1: download

void thGetUrl::CreateClient() {
  Http = std::make_unique<THttpCli>(nullptr);
  std::lock_guard<std::mutex> guard(FClientLock);
  FAbortHandle = Http->AbortHandle();
}

void thGetUrl::FreeClient() {
  {
    std::lock_guard<std::mutex> guard(FClientLock);
    FAbortHandle.reset();
  }
  if (!Http) return;
  // The client's last events must not reach a worker whose client is going.
  Http->OnStateChange = nullptr;
  Http->OnDocData = nullptr;
  Http->OnHeaderEnd = nullptr;
  Http->OnCookie = nullptr;
  Http.reset();
}

// The request's texts go over to the client: the worker reads them nowhere
// else. The agent is copied into the buffer the client keeps for it.
void thGetUrl::ConfigureClient() {
  Http->URL = EncodeSpaces(Rec.Url);
  Http->Agent = Rec.Agent;
  Http->Sender = std::move(Rec.Sender);
  Http->Reference = std::move(Rec.Reference);
  if (Rec.UseProxy) {
    Http->Proxy = std::move(Rec.Proxy);
    Http->ProxyUsername = std::move(Rec.ProxyUsername);
    Http->ProxyPassword = std::move(Rec.ProxyPassword);
    Http->ProxyPort = std::move(Rec.ProxyPort);
  }
  if (Rec.UseAuth) {
    Http->Username = std::move(Rec.Username);
    Http->Password = std::move(Rec.Password);
  }
  Http->OnDocData = [this](TObject*, const void* Buffer, int Len) { HttpDocData(Buffer, Len); };
  Http->OnStateChange = [this](TObject*) { HttpStateChange(); };
  Http->OnHeaderEnd = [this](TObject*) { HttpHeaderEnd(); };
  Http->OnCookie = [this](TObject*, const AnsiString& Data, bool&) { HttpCookie(Data); };
  Http->Socket().SetLingerTimeout(1);
}

void thGetUrl::Download() {
  Rec.DefaultDocSaved = false;
  CreateClient();
  ConfigureClient();
  Rec.Flags.StoreKeeping(sfWorking, sfKeptByStart);
  bool fetched = false;
  if (!HasValidHost(Http->URL)) {
    // Refused like a filtered document: no request, and not tried again.
    NoSave = FRefused = true;
  } else if (!Rec.Flags.Has(sfAbort)) {
    try {
      Http->Get();
      fetched = true;
    } catch (...) {
      // Failures, refusals and aborts all end here; the state word tells them apart.
      Rec.Failure = Http->FailureReason();
    }
  }
  ReportTransferEnd();
  FSuccess = fetched;
  if (!fetched && !Rec.Flags.Has(sfLocalKept)) {
    Rec.Flags.Set(sfFailed);
  } else {
    FSuccess = true;
    Rec.Flags.Store(Rec.Flags.Has(sfRedirected) ? sfFinished | sfRedirected : sfFinished);
    if (Rec.Flags.Has(sfRedirected)) FRedirectTarget = Http->Location();
    if (FNode.SizeOrig == 0) FNode.SizeOrig = ClampedSize(FReceived);
    if (FSpilled) ReloadSpilledPage();
    if (HasOption(poExtractLocal) || HasOption(poExternalOnly)) ParseIfPage();
    if (FNode.Size == 0) FNode.Size = ClampedSize(FReceived);
  }
  SaveDocument();
}

void thGetUrl::HttpStateChange() {
  const int state = Http->State();
  if (state >= httpReady && state <= httpAborting) StateCode = state + scClientState;
  SendState(StateCode);
  // An abort posted before this request began belonged to no request: post it again.
  if (Rec.Flags.Has(sfAbort) && state != httpReady && state != httpAborting) Http->AbortHandle()->Abort();
}

// The bytes are counted as they come, whatever the reply's Content-Length
// said: past the size rule of the type the reply is refused, past the most
// the worker takes the download fails.
void thGetUrl::HttpDocData(const void* Buffer, int Len) {
  if (FIgnoreBody || Len < 1) return;
  if (Stopped()) {
    RefuseReply();
    return;
  }
  FReceived += Len;
  if (FReceived > FBodyLimit) {
    NoSave = FRefused = FBodyLimitIsRule;
    RefuseReply();
    return;
  }
  // The last byte the reply announced: the connection is of no more use,
  // whatever the client still does to close it, and the block still to be
  // written needs none.
  const int64_t expected = Http->ContentLength();
  if (expected > 0 && FReceived >= expected && !Rec.Flags.Has(sfAbort)) ReportTransferEnd();
  TakeBody(static_cast<const char*>(Buffer), static_cast<size_t>(Len));
  BodyProgress(FBodyProgress, FReceived, expected);
  SendProgress(FBodyProgress);
  if (Rec.Flags.Has(sfAbort)) RefuseReply();
}

// A page to parse is held in memory up to the page limit; past it, and for
// every other document, the body streams into the document's file.
void thGetUrl::TakeBody(const char* Data, size_t Len) {
  if (FKeepInMemory) {
    const size_t need = Content.size() + Len;
    if (need > static_cast<size_t>(FPageLimit)) {
      FNotParsed = true;
    } else if (need > Content.capacity()) {
      // The page grows within this worker's share of the page memory, or
      // goes on into the file to be read back when there is room.
      const size_t capacity = std::min(static_cast<size_t>(FPageLimit), std::max(need, 2 * Content.capacity()));
      if (TryTakePageMemory(static_cast<int64_t>(capacity)))
        Content.reserve(capacity);
      else
        FSpilled = true;
    }
    if (!FNotParsed && !FSpilled) {
      Content.append(Data, Len);
      return;
    }
    FKeepInMemory = false;
    StreamToFile(Content.data(), Content.size());
    AnsiString().swap(Content);
    FMemory.Release();
  }
  if (FNotParsed && !FNotParsedSent) {
    FNotParsedSent = true;
    SendState(scNotParsed);
  }
  StreamToFile(Data, Len);
}

// A body that cannot be saved still comes in to its end: the download
// succeeds and the node fails.
void thGetUrl::StreamToFile(const char* Data, size_t Len) {
  if (NoSave || LocalDir.empty() || FSaveFailed || Len == 0) return;
  try {
    if (!FFile) OpenDocumentFile();
    FFile->Write(Data, Len);
    FWritten += static_cast<int64_t>(Len);
  } catch (const Exception& failure) {
    NoteSaveFailure(failure);
  }
}

// A failed save: the document is not saved.
void thGetUrl::NoteSaveFailure(const Exception& Failure) {
  RecordSaveError(Failure);
  FSaveFailed = true;
  FFile.reset();
}

// The one place where a failed write hands its system error number to the
// run control (Rec.SaveError).
void thGetUrl::RecordSaveError(const Exception& Failure) {
  if (const auto* write = dynamic_cast<const EFWriteError*>(&Failure)) Rec.SaveError = write->ErrorCode;
}

void thGetUrl::HttpCookie(const AnsiString& Data) { Http->Cookie += Data; }

void thGetUrl::RefuseReply() {
  FIgnoreBody = true;
  Http->Abort();
}

// ---------------------------------------------------------------------------
// Acceptance at the end of a response header

void thGetUrl::HttpHeaderEnd() {
  if (Stopped()) return;
  NoSave = false;
  FRefused = false;
  FIgnoreBody = false;
  FBodyLimit = MaxDocumentSize;
  FBodyLimitIsRule = false;
  FReceived = FWritten = 0;
  FFile.reset();
  FSaveFailed = FKeepInMemory = FParseWanted = FNotParsed = FSpilled = FBodyInFile = false;
  AnsiString().swap(Content);
  FMemory.Release();
  const int status = Http->StatusCode();
  if (status < 300)
    AcceptDocument();
  else
    AcceptRedirect(status);
}

void thGetUrl::AcceptDocument() {
  bool ok = true;
  try {
    ok = AcceptAndName(Http->Location());
  } catch (...) {
    // A document that cannot be judged is taken.
    ok = true;
  }
  NoSave = !ok;
  FRefused = !ok;
  const AnsiString ext = LowerExtOf(LocalName);
  const int64_t length = Http->ContentLength();
  if (length > MaxDocumentSize) {
    RefuseReply();
    return;
  }
  if (ok && length > 0 && !ext.empty() && !SizeRulesAllow(FParams, ext, length)) {
    ok = false;
    NoSave = true;
    FRefused = true;
  }
  if (length > 0 && !ext.empty()) {
    FBodyLimit = MaxBodySize(FParams, ext);
    FBodyLimitIsRule = FBodyLimit < MaxDocumentSize;
  }
  ServerDate = Http->LastModified();
  PlanBody(length);
  if (ok && FParams.Project.UpdateMode != umDownloadAll) ok = !KeepLocalCopy(length);
  if (length > 0) FNode.SizeOrig = FNode.Size = ClampedSize(length);
  if (!ok) RefuseReply();
}

void thGetUrl::AcceptRedirect(int Status) {
  bool ok = Status < 400;
  if (Status == 301 || Status == 302) {
    ok = Redirects < MaxRedirects && !GetLocation(Http->RcvdHeader()).empty();
    if (ok) ++Redirects;
  }
  if (ok) {
    Rec.Flags.Set(sfRedirected);
    PlanBody(Http->ContentLength());
  } else {
    // Past the cap the target is not fetched here but reported, so that the
    // chain goes on as a download of its own.
    if (Status == 301 || Status == 302) FRedirectTarget = Http->Location();
    RefuseReply();
  }
}

bool thGetUrl::WantsParse() const {
  return (HasOption(poExtractLocal) || HasOption(poExternalOnly)) &&
         IsParsablePage(Http->StatusCode(), true, false, Http->Location(), LocalName, Http->ContentType(), Rec.MaxLevel,
                        Rec.Level);
}

// Where the body goes: a page to parse into memory unless its length is
// already above the page limit; anything else into the document's file.
void thGetUrl::PlanBody(int64_t ContentLength) {
  FPageLimit = PageLimitFor(FParams, LowerExtOf(LocalName));
  FParseWanted = WantsParse();
  FKeepInMemory = FParseWanted && ContentLength <= FPageLimit;
  FNotParsed = FParseWanted && !FKeepInMemory;
  if (FKeepInMemory && ContentLength > 0) {
    if (TryTakePageMemory(ContentLength)) {
      Content.reserve(static_cast<size_t>(ContentLength));
    } else {
      FKeepInMemory = false;
      FSpilled = true;
    }
  }
}

bool thGetUrl::AcceptAndName(const AnsiString& Url) {
  LocalDir.clear();
  LocalName.clear();
  NamePart.clear();
  FRequest = MirrorRequestForUrl(Url, Http->ContentType());
  FRequest.Host = Http->TargetHost();
  if (!Http->DocName().empty()) FRequest.DocName = Http->DocName();
  FRequest.Redirected = Rec.Flags.Has(sfRedirected);
  if (!IsValidHostName(FRequest.Host)) return false;

  AnsiString docName = FRequest.DocName;
  const TNameExt nameExt = SplitNameExt(docName, FRequest.Path, FRequest.ContentType);
  TAcceptSubject subject{FRequest.Host, FRequest.Path, nameExt.Name, nameExt.Ext};
  if (!FRequest.Query.empty() && subject.Path == "/" + FRequest.Query) subject.Path = "/";
  if (!AcceptByFilters(FParams, subject)) return false;

  TMirrorName name = MirrorNameFor(FRequest, HasOption(poCopyDirectories), FFolder);
  LocalDir = std::move(name.LocalDir);
  NamePart = std::move(name.NamePart);
  LocalName = std::move(name.LocalName);
  return true;
}

// True when the update mode keeps the local file; its bytes then become the
// document. An unreadable or empty local file is not kept.
bool thGetUrl::KeepLocalCopy(int64_t ContentLength) {
  const TMirrorPath path = MapMirrorPath(FFolder, LocalDir, NamePart, LocalName);
  if (!path.Ok() || !FileExists(path.File)) return false;
  const uint8_t mode = FParams.Project.UpdateMode;
  bool fetch = false;
  if (mode == umNewOrModified || mode == umNewModifiedOrResized) {
    TDateTime localTime = 0;
    fetch = !FileAge(path.File, localTime) || ServerCopyIsNewer(ServerDate, localTime);
    if (mode == umNewModifiedOrResized && (ContentLength < 1 || ContentLength != FNode.SizeOrig)) fetch = true;
  }
  if (fetch) return false;
  int64_t size = FileSizeOf(path.File);
  FKeepInMemory = FParseWanted && size <= FPageLimit;
  FNotParsed = FParseWanted && !FKeepInMemory;
  if (size > 0 && FKeepInMemory &&
      (!WaitForPageMemory(size) || !ReadFileToString(path.File, Content) ||
       Content.empty()))
    size = 0;
  if (size > 0) {
    FReceived = size;
    NoSave = true;
    Rec.Flags.Set(sfLocalKept);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Parsing

void thGetUrl::ParseIfPage() {
  if (Rec.Flags.Has(sfAbort)) return;
  if (!IsParsablePage(Http->StatusCode(), !Content.empty(), NoSave, Http->Location(), LocalName, Http->ContentType(),
                      Rec.MaxLevel, Rec.Level))
    return;
  SendState(scExtraction);
  try {
    ParseDocument("");
  } catch (...) {
    // A page the parser cannot finish keeps what it had found.
  }
}

void thGetUrl::ParseDocument(const AnsiString& BaseOverride) {
  if (Terminated()) return;
  TParseSettings& settings = FParseSettings;
  settings.PageUrl = PageUrl();
  if (HasOption(poCopyDirectories) && StartsStr(FFolder, LocalDir)) settings.PageFolder = LocalDir.substr(FFolder.size());
  settings.BaseOverride = BaseOverride;
  settings.DownloadMode = Rec.Mode == 1;
  settings.TranslateLinks = HasOption(poConvertLinks);
  settings.ExternalOnly = HasOption(poExternalOnly);
  settings.Level = Rec.Level;
  settings.DomainFilter = FParams.Domain.Joined[0];
  settings.Rewrite.WwwAlias = HasOption(poSameWww);
  settings.Rewrite.DirStructure = HasOption(poCopyDirectories);
  settings.Rewrite.DomainCodes = FParams.Domain.Codes.Text();
  settings.Rewrite.Folder = FFolder;
  FScanHooks.Stopped = [this] { return Stopped(); };
  FScanHooks.Progress = [this](const AnsiString& Text) { SendProgress(Text); };
  FLinkSink = [this](TLinkBatch& Batch) { TakeLinkBatch(Batch); };
  FLinkRoom = [this](size_t BatchBytes) { return RoomForLinks(BatchBytes); };
  FParse = std::make_unique<TPageParse>(Content, settings, FLinkSink, FScanHooks, FLinkRoom);
}

const AnsiString& thGetUrl::PageUrl() const {
  if (Rec.Mode != 1) return Rec.Url;
  return Http->Location().empty() ? Http->URL : Http->Location();
}

// The longest URL a page's links can resolve against, before the page's
// own base tag: its URL or the base given for it.
int64_t thGetUrl::BaseBytes() const {
  return static_cast<int64_t>(std::max(PageUrl().size(), Rec.BaseHref.size()));
}

// The share for a page of PageBytes: the page, its candidates and a first
// room for its links, whose longest one depends on the page's URL and base.
bool thGetUrl::TryTakePageMemory(int64_t PageBytes) {
  if (!FMemory.TryGrow(PageMemoryCost(PageBytes, BaseBytes()))) return false;
  FPageMemory = PageBytes;
  return true;
}

bool thGetUrl::WaitForPageMemory(int64_t PageBytes) {
  if (!FMemory.Wait(PageMemoryCost(PageBytes, BaseBytes()), [this] { return Stopped(); })) return false;
  FPageMemory = PageBytes;
  return true;
}

// The links' room beside the page grows as the parser fills its batch,
// doubling while the budget has room. Where it has none the last batch goes
// to the window at once, and the parser hands on the batch under way; a
// batch of one link fits in the first room.
bool thGetUrl::RoomForLinks(size_t BatchBytes) {
  const int64_t page = 2 * FPageMemory;
  const int64_t need = page + static_cast<int64_t>(FPendingLinks.Bytes() + BatchBytes);
  if (need <= FMemory.Bytes() || FMemory.TryGrow(std::max(need, 2 * FMemory.Bytes() - page)) || FMemory.TryGrow(need))
    return true;
  SendPendingLinks();
  return page + static_cast<int64_t>(BatchBytes) <= FMemory.Bytes();
}

void thGetUrl::SendPendingLinks() {
  if (!FPendingLinks.Empty() && !Terminated() && !Rec.Flags.Has(sfAbort)) SendLinkBatch(FPendingLinks);
  FPendingLinks.Clear();
}

// A page whose body went into the file for want of page memory is read back
// once the body is complete, when room has been waited for; a stop ends the
// wait and leaves it unparsed.
void thGetUrl::ReloadSpilledPage() {
  if (FReceived > FPageLimit || !FFile || FSaveFailed) {
    FNotParsed = FParseWanted;
    return;
  }
  if (!WaitForPageMemory(FReceived)) return;
  if (!ReadFileToString(FFile->TemporaryPath(), Content) || static_cast<int64_t>(Content.size()) != FReceived) {
    AnsiString().swap(Content);
    FMemory.Release();
    FNotParsed = FParseWanted;
    return;
  }
  FKeepInMemory = FBodyInFile = true;
}

// The parser's batches: each one but the last goes to the window at once.
void thGetUrl::TakeLinkBatch(TLinkBatch& Batch) {
  SendPendingLinks();
  std::swap(FPendingLinks, Batch);
}

// The links go to the main window with the report, a part at a time.
void thGetUrl::CollectLinks(bool StopOnAbort) {
  FReportLinks = false;
  if (Terminated() || FPendingLinks.Empty()) return;
  SendState(scAdding);
  FReportLinks = !(StopOnAbort && Rec.Flags.Has(sfAbort));
}

// ---------------------------------------------------------------------------
// Saving

void thGetUrl::SaveDocument() {
  CollectLinks(true);
  if (Terminated()) {
    RecordOutcome(false);
    return;
  }
  // A refused reply and a kept local copy (NoSave) leave the node loaded.
  bool loaded = NoSave;
  if (!Rec.Flags.Has(sfAbort | sfFailed) && Http->StatusCode() < 400 && FReceived > 0 && !NoSave) {
    SendState(scDownLoad);
    loaded = CommitDocument();
  }
  FParse.reset();
  AnsiString().swap(Content);
  // What stays held until the report is the last batch of links.
  FMemory.ShrinkTo(static_cast<int64_t>(FPendingLinks.Bytes()));
  FPageMemory = 0;
  RecordOutcome(loaded);
}

// The document's file, or a fallback name when it cannot be created; the
// folders on the way are made. Raises when no file can be made.
void thGetUrl::OpenDocumentFile() {
  TMirrorPath path = MapMirrorPath(FFolder, LocalDir, NamePart, LocalName);
  if (path.Result == TMirrorPathResult::Outside || path.Result == TMirrorPathResult::DirNotCreatable)
    throw EFCreateError("No folder for \"" + LocalName + "\" in the download folder");
  Rec.SaveError = 0;
  // The folder is there as a rule: the file is tried at once, and the
  // folder looked at only when that fails (or was seen missing). The file
  // is tried again even when the folder is there by then, as another worker
  // may have made it since.
  if (path.Ok() && !path.DirMissing && TryOpenDocumentFile(path.File, path.FileMissing)) return;
  // path.Dir is resolved by MapMirrorPath.
  if (path.DirMissing || !DirectoryExists(path.Dir, true)) MakeDocumentFolder(path.Dir, Rec.SaveError);
  Rec.SaveError = 0;
  if (path.Ok() && TryOpenDocumentFile(path.File, path.FileMissing)) return;
  // Another worker may have made the folder at the same moment under a name
  // that differs only in case: that one is the folder, and the file goes in it.
  if (const TMirrorPath twin = MapMirrorPath(FFolder, LocalDir, NamePart, LocalName); twin.Ok() && twin.Dir != path.Dir) {
    Rec.SaveError = 0;
    if (TryOpenDocumentFile(twin.File, twin.FileMissing)) return;
  }
  AnsiString base;
  if (!FallbackBase(LocalName, base)) throw EFCreateError("Cannot create file \"" + LocalName + "\"");
  for (int n = 1; n <= MaxFallbackNames; ++n) {
    LocalName = FallbackName(base, n);
    path = MapMirrorPath(FFolder, LocalDir, NamePart, LocalName);
    if (path.Ok() && !FileExists(path.File) && !DirectoryExists(path.File) && TryOpenDocumentFile(path.File, true)) return;
  }
  throw EFCreateError("Cannot create file \"" + LocalName + "\"");
}

// Writes a page held in memory (with its links rewritten) and renames the
// document's file into place. False when it is not saved.
bool thGetUrl::CommitDocument() {
  try {
    // A body read back from its file already holds the page: it is written
    // anew, over the same temporary file, only when its rewriting changes it.
    const bool rewritten = FParse && (FBodyInFile ? FParse->ChangesPage() : FParse->Rewritten() > 0);
    if (FKeepInMemory && !FSaveFailed && (rewritten || !FBodyInFile)) {
      if (FBodyInFile) {
        FWritten = 0;
        if (FFile) FFile->Restart();
      }
      if (!FFile) OpenDocumentFile();
      // A rewritten page comes in many short pieces: they reach the file in
      // blocks, not with a system call each.
      AnsiString block;
      const auto flush = [&] {
        FFile->Write(block.data(), block.size());
        block.clear();
      };
      const auto write = [&](std::string_view Piece) {
        if (block.size() + Piece.size() > WriteBlockSize) flush();
        if (Piece.size() > WriteBlockSize)
          FFile->Write(Piece.data(), Piece.size());
        else
          block.append(Piece);
        FWritten += static_cast<int64_t>(Piece.size());
      };
      if (rewritten) {
        if (!FParse->WriteRewritten(write)) return false;
      } else {
        write(Content);
      }
      flush();
    }
    if (FSaveFailed || !FFile) return false;
    FFile->CommitUnflushed();  // made durable in batches before the tree records it
  } catch (const Exception& failure) {
    NoteSaveFailure(failure);
    return false;
  }
  FFile.reset();
  Rec.SaveError = 0;
  if (ServerDate != 0) FileSetDate(FFileName, ServerDate);
  FNode.Size = ClampedSize(FWritten);
  return true;
}

bool thGetUrl::TryOpenDocumentFile(const AnsiString& FileName, bool Missing) {
  try {
    // The name was resolved by MapMirrorPath, which saw whether a file stood there.
    FFile = std::make_unique<AtomicFile>(FileName, Missing ? TTargetPath::ResolvedMissing : TTargetPath::Resolved);
    FFileName = FileName;
    return true;
  } catch (const Exception& failure) {
    RecordSaveError(failure);
    return false;
  }
}

// Loaded: saved, kept or refused; otherwise the node fails.
void thGetUrl::RecordOutcome(bool Loaded) {
  if (!Loaded) {
    FNode.Mark = TNodeMark::Failed;
    return;
  }
  FNode.Mark = TNodeMark::Loaded;
  if (FRefused || LocalDir.empty() || TrimmedView(LocalName).empty()) return;
  const bool folder = (FNode.State & snFolder) != 0;
  Rec.DefaultDocSaved = (folder || EndsWithSlashOrEmpty(FRequest.Path)) && IsDefaultDocName(LocalName);
  FNode.SetNames = true;
  FNode.LocalName.clear();
  if ((FNode.State & NodeKeepsLocalName) != 0 || !SameText(LocalName, FRequest.DocName) || Rec.DefaultDocSaved)
    FNode.LocalName = LocalName;
  FNode.ServerDate = ServerDate;
  FNode.AddDefaultChild = Rec.DefaultDocSaved && folder;
  FNode.NotParsed = FNotParsed;
}

// ---------------------------------------------------------------------------
// Mode 0: re-reading a local file

void thGetUrl::ReadLocal() {
  const bool read = LoadLocalFile();
  if (read && !Rec.Flags.Has(sfAbort)) {
    Rec.Flags.Store(sfFinished);
    if (!Content.empty()) {
      SendState(scExtraction);
      try {
        ParseDocument(Rec.BaseHref);
      } catch (...) {
        // The links found so far stay.
      }
    }
  }
  if (Rec.Flags.Has(sfFailed))
    FNode.Mark = TNodeMark::Failed;
  else
    CollectLinks(false);
  FSuccess = read;
}

bool thGetUrl::LoadLocalFile() {
  try {
    if (!FileExists(Rec.Url)) throw EFOpenError("Cannot open file \"" + Rec.Url + "\"");
    TFileStream file(Rec.Url, fmOpenRead | fmShareDenyNone);
    Rec.Flags.StoreKeeping(sfWorking, sfKeptByStart);
    const int64_t size = file.Size();
    if (size > PageLimit) {
      FNotParsed = true;
      Rec.Flags.StoreKeeping(sfLocalRead, sfKeptByStart);
      return true;
    }
    if (!WaitForPageMemory(std::max<int64_t>(size, 0)))
      throw EFOpenError("Stopped before \"" + Rec.Url + "\" could be read");
    Content.assign(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
    int64_t done = 0;
    while (done < size) {
      const int64_t got = file.Read(Content.data() + done, std::min(ReadBlockSize, size - done));
      if (got <= 0) break;
      done += got;
    }
    Content.resize(static_cast<size_t>(done));
  } catch (const Exception&) {
    Content.clear();
    Rec.Flags.Set(sfFailed);
    return false;
  }
  Rec.Flags.StoreKeeping(sfLocalRead, sfKeptByStart);
  return true;
}

// ---------------------------------------------------------------------------
// Reporting

// With collected reports the worker's thread only keeps its row's state and
// progress for the window; a message to the window costs a wait for the
// user-interface thread each time.
bool thGetUrl::CollectsOnThisThread() const { return Rec.CollectedReports && !IsMainThread(); }

void thGetUrl::SendState(int Code) {
  StateCode = Code;
  if (CollectsOnThisThread()) {
    std::lock_guard<std::mutex> guard(FReportLock);
    FUntakenCode = Code;
    FStateUntaken = true;
    return;
  }
  SendUntakenReport();
  if (!Terminated() && Rec.Row != nullptr)
    SendMessage(Rec.Wnd, WM_THREADSTATE, reinterpret_cast<WPARAM>(Rec.Row), StateCode);
}

void thGetUrl::SendProgress(const AnsiString& Text) {
  if (CollectsOnThisThread()) {
    std::lock_guard<std::mutex> guard(FReportLock);
    FUntakenProgress = Text;
    FProgressUntaken = true;
    return;
  }
  SendUntakenReport();
  ProgressText = Text;
  if (!Terminated())
    SendMessage(Rec.Wnd, WM_THREADSIZE, reinterpret_cast<WPARAM>(Rec.Row), reinterpret_cast<LPARAM>(ProgressText.c_str()));
}

bool thGetUrl::TakeRowReport(int& Code, bool& HasCode, AnsiString& Progress, bool& HasProgress) {
  std::lock_guard<std::mutex> guard(FReportLock);
  HasCode = std::exchange(FStateUntaken, false);
  HasProgress = std::exchange(FProgressUntaken, false);
  if (HasCode) Code = FUntakenCode;
  if (HasProgress) Progress = FUntakenProgress;
  return HasCode || HasProgress;
}

// User-interface thread: what the window has not taken yet goes before the
// report's own states.
void thGetUrl::SendUntakenReport() {
  int code = 0;
  bool hasCode = false, hasProgress = false;
  AnsiString progress;
  if (!Rec.CollectedReports || !TakeRowReport(code, hasCode, progress, hasProgress) || Terminated()) return;
  if (hasProgress)
    SendMessage(Rec.Wnd, WM_THREADSIZE, reinterpret_cast<WPARAM>(Rec.Row), reinterpret_cast<LPARAM>(progress.c_str()));
  if (hasCode && Rec.Row != nullptr) SendMessage(Rec.Wnd, WM_THREADSTATE, reinterpret_cast<WPARAM>(Rec.Row), code);
}

// The successor starts after the call is queued, so the window hears of it
// before anything it sends; a call that can no longer be queued (the
// program ends) leaves the successor to the window.
void thGetUrl::ReportTransferEnd() {
  if (!OnTransferEnd || Terminated() || std::exchange(FTransferEnded, true)) return;
  FSuccessor = ReadyWorkers && !Rec.Flags.Has(sfAbort) ? ReadyWorkers->Take() : nullptr;
  if (QueueOnMainThread([this] { OnTransferEnd(this); })) {
    if (FSuccessor) FSuccessor->Start();
  } else if (FSuccessor) {
    ReadyWorkers->Add(std::exchange(FSuccessor, nullptr));
  }
}

// Runs on the user-interface thread while the worker waits.
void thGetUrl::ReportResult() {
  ApplyNodeOutcome();
  if (Terminated()) return;
  SendState(scAdding);
  SendLinks();
  // A stopped or timed-out download never shows "Ok".
  SendState(Rec.Flags.Has(sfFailed | sfAbort) ? scError : FNotParsed ? scNotParsed : scOk);
  if (OnReported) OnReported(this);
}

// The report's links: the last batch (the others went while the page was
// parsed), or the redirect target alone.
void thGetUrl::SendLinks() {
  // Links collected before the write began go whole, even when a stop came
  // in the write.
  if (FReportLinks)
    SendLinkBatch(FPendingLinks, false);
  else if (!FLinksSent && !FRedirectTarget.empty())
    SendLinkBatch(TLinkBatch());
  FPendingLinks.Clear();
}

// Each list starts with the cookie text at the page's level; the first one
// the worker sends then has the redirect target. With StopOnAbort a stop
// ends the sending between two lists.
void thGetUrl::SendLinkBatch(const TLinkBatch& Batch, bool StopOnAbort) {
  const AnsiString cookie = Http ? Http->Cookie : AnsiString();
  // One text serves every link on its way into the list, which copies it.
  AnsiString link;
  size_t next = 0;
  for (;;) {
    Results.Clear();
    Results.AddObject(cookie, LevelObject(Rec.Level));
    if (!FLinksSent && !FRedirectTarget.empty()) Results.AddObject(FRedirectTarget, LevelObject(Rec.Level));
    while (next < Batch.Count() && Results.Count() <= LinksPerReport) {
      link.assign(Batch[next++]);
      if (!TrimmedView(link).empty()) Results.AddObject(link, LevelObject(FoundLinkLevel(link, Rec.Level)));
    }
    if (Results.Count() == 1) break;
    FLinksSent = true;
    SendMessage(Rec.Wnd, WM_LINKSFOUND, Rec.Mode == 0 ? 1 : 0, reinterpret_cast<LPARAM>(&Results));
    if (next >= Batch.Count() || Terminated() || (StopOnAbort && Rec.Mode == 1 && Rec.Flags.Has(sfAbort))) break;
  }
  Results.Clear();
}

void thGetUrl::ApplyNodeOutcome() {
  TDataObj* node = Rec.Node;
  if (node == nullptr || FNode.Mark == TNodeMark::None) return;
  std::lock_guard<std::recursive_mutex> guard(SiteTreeMutex);
  node->Size = FNode.Size;
  node->SizeOrig = FNode.SizeOrig;
  if (FNode.Mark == TNodeMark::Failed) {
    node->State = static_cast<uint8_t>((node->State & ~snLoading) | snFailed);
    return;
  }
  if (FNode.SetNames) {
    node->LocalName = FNode.LocalName;
    node->ServerDate = FNode.ServerDate;
  }
  node->NotParsed = FNode.NotParsed;
  node->State = static_cast<uint8_t>((node->State & ~snLoading) | snLoaded);
  if (!FNode.AddDefaultChild) return;
  TDataObj* child = node->AddPath(node->LocalName, HasOption(poSameWww));
  if (child == nullptr || !child->New) return;
  for (TDataObj* up = node; up != nullptr; up = up->Parent) up->New = true;
}
