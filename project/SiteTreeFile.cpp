#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/rtl/AtomicFile.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/DurableWrites.h"
#include "platform/rtl/FileUtils.h"
#include "project/SiteTree.h"
#include "project/SiteTreeFields.h"
#include "project/uQuere.h"

namespace {

constexpr int FieldCount = 8;
// 1.1.10000: later dates cannot be written as "dd.mm.yyyy".
constexpr TDateTime DateLimit = 2958466;

void AppendInt(AnsiString& out, int64_t value) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

void AppendTwoDigits(AnsiString& out, int value) {
  out += char('0' + value / 10);
  out += char('0' + value % 10);
}

void AppendDate(AnsiString& out, TDateTime date) {
  if (!(date > 0 && date < DateLimit)) return;
  int year, month, day;
  DecodeDate(date, year, month, day);
  AppendTwoDigits(out, day);
  out += '.';
  AppendTwoDigits(out, month);
  out += '.';
  AppendTwoDigits(out, year / 100);
  AppendTwoDigits(out, year % 100);
}

// A local name is free text; control bytes would end the line, so they are
// written percent-encoded.
void AppendLocalName(AnsiString& out, std::string_view name) {
  AppendPercentEncoded(out, name, [](unsigned char c) { return c < 0x20; });
}

std::string_view TrimmedField(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20) s.remove_suffix(1);
  return s;
}

// Plain decimal numbers are read here; anything else goes through the
// platform's integer reader (signs, hexadecimal), and 0 when that fails too.
int FieldInt(std::string_view text) {
  text = TrimmedField(text);
  if (!text.empty() && text.size() <= 9 &&
      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    int value = 0;
    for (char c : text) value = value * 10 + (c - '0');
    return value;
  }
  int value = 0;
  return TryStrToInt(AnsiString(text), value) ? value : 0;
}

TDateTime FieldDate(std::string_view text) {
  text = TrimmedField(text);
  if (text.size() != 10) return 0;
  AnsiString s(text);
  int day, month, year;
  TDateTime date;
  if (!TryStrToInt(s.substr(0, 2), day) || !TryStrToInt(s.substr(3, 2), month) ||
      !TryStrToInt(s.substr(6, 4), year) || !TryEncodeDate(year, month, day, date))
    return 0;
  return date;
}

// The fields after a name; more than eight only when a local name holds "|".
size_t SplitFields(std::string_view text, std::vector<std::string_view>& fields) {
  fields.clear();
  for (;;) {
    size_t bar = text.find('|');
    fields.push_back(text.substr(0, bar));
    if (bar == std::string_view::npos) return fields.size();
    text.remove_prefix(bar + 1);
  }
}

}  // namespace

void AppendNodeLineStart(AnsiString& out, const TDataObj& node) {
  if (node.Depth > 1) out.append(size_t(node.Depth - 1), '\t');
  out += node.Name();
}

void AppendNodeFields(AnsiString& out, const TDataObj& node) {
  if (node.Queued == 1) out += '1';
  out += '|';
  AppendInt(out, node.State);
  out += '|';
  AppendInt(out, node.DirIn & (dmStartHost | dmStartDir));
  out += '|';
  AppendDate(out, node.ServerDate);
  out += '|';
  AppendInt(out, node.Level);
  out += '|';
  AppendLocalName(out, node.LocalName);
  out += '|';
  AppendInt(out, node.SizeOrig);
  out += '|';
  AppendInt(out, node.Size);
}

void ApplyNodeFields(TDataObj& node, std::string_view text) {
  thread_local std::vector<std::string_view> fields;
  SplitFields(text, fields);
  if (fields.size() > FieldCount) {
    // Fields 1-5 from the left, 7-8 from the right; the local name keeps its "|".
    size_t nameStart = size_t(fields[5].data() - text.data());
    size_t nameEnd = size_t(fields[fields.size() - 3].data() - text.data()) + fields[fields.size() - 3].size();
    std::string_view last[2] = {fields[fields.size() - 2], fields.back()};
    fields.resize(FieldCount);
    fields[5] = text.substr(nameStart, nameEnd - nameStart);
    fields[6] = last[0];
    fields[7] = last[1];
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    std::string_view f = fields[i];
    switch (i) {
      case 0: node.Queued = TrimmedField(f) == "1" ? 1 : 0; break;
      case 1: node.State = uint8_t(FieldInt(f) & 0xFF); break;
      case 2: node.DirIn = uint8_t(FieldInt(f) & (dmStartHost | dmStartDir)); break;
      case 3: node.ServerDate = FieldDate(f); break;
      case 4: node.Level = FieldInt(f); break;
      case 5: node.LocalName = f; break;
      case 6: node.SizeOrig = FieldInt(f); break;
      case 7: node.Size = FieldInt(f); break;
    }
  }
}

// One line: n leading TABs attach the name below the nearest node on the
// cursor's path whose depth is at most n; no TABs (or a cleared cursor)
// attach it below the root. A line whose name gives no node clears the
// cursor. A line refused as too long or too deep (its URL counted from the
// node it goes below) is counted, and so are the lines with more TABs that
// follow it: they belong below it.
void TListObj::ApplyLine(const char* line, size_t length) {
  TDataObj*& cursor = Cursor;
  size_t tabs = 0;
  while (tabs < length && line[tabs] == '\t') ++tabs;
  if (FRefusing && tabs > FRefusedTabs) {
    ++RefusedUrls;
    return;
  }
  FRefusing = false;
  if (tabs == 0)
    cursor = nullptr;
  else
    while (cursor && size_t(cursor->Depth) > tabs) cursor = cursor->Parent;
  if (!cursor) cursor = Root;
  std::string_view rest(line + tabs, length - tabs);
  size_t bar = rest.find('|');
  // The walk up to the host is no longer than the line's TABs.
  const size_t above = cursor == Root ? 0 : cursor->UrlLength() + 1;
  bool refused = false;
  TDataObj* node = cursor->Insert(rest.substr(0, bar), WwwAlias, refused, above);
  if (refused) {
    ++RefusedUrls;
    FRefusing = true;
    FRefusedTabs = tabs;
    return;
  }
  cursor = node;
  if (cursor && bar != std::string_view::npos) ApplyNodeFields(*cursor, rest.substr(bar + 1));
}

namespace {

constexpr int64_t BlockSize = 65536;

// Runs the hook once interval has passed since it last returned.
class TLoadPump {
public:
  TLoadPump(std::function<void()> hook, int intervalMs)
      : FHook(std::move(hook)), FInterval(intervalMs), FDue(std::chrono::steady_clock::now() + FInterval) {}

  void Tick() {
    if (!FHook || std::chrono::steady_clock::now() < FDue) return;
    FHook();
    FDue = std::chrono::steady_clock::now() + FInterval;
  }

private:
  std::function<void()> FHook;
  std::chrono::milliseconds FInterval;
  std::chrono::steady_clock::time_point FDue;
};

}  // namespace

// Reads the file in blocks and applies each line that is not empty (lines end
// at CR or LF); false when the reading stopped before the end of the file.
bool TListObj::ReadTreeLines(const AnsiString& name, const std::function<void()>& tick) {
  const int64_t size = FileSizeOf(name);
  std::unique_ptr<TFileStream> stream;
  try {
    stream = std::make_unique<TFileStream>(name, fmOpenRead | fmShareDenyNone);
  } catch (const Exception& e) {
    LastLoadError = e.Message();
    return false;
  }
  std::vector<char> block(size_t(BlockSize), '\0');
  AnsiString carry;  // the start of a line that goes on in the next block
  int64_t total = 0;
  auto apply = [&](const char* line, size_t length) {
    if (length == 0) return;
    ApplyLine(line, length);
    tick();
  };
  for (int64_t got; (got = stream->Read(block.data(), BlockSize)) > 0;) {
    total += got;
    const char* p = block.data();
    const char* end = p + got;
    while (p < end) {
      if (Abort) return false;
      const char* stop = std::find_if(p, end, [](char c) { return c == '\r' || c == '\n'; });
      if (stop == end) {
        carry.append(p, end);
        break;
      }
      if (carry.empty()) {
        apply(p, size_t(stop - p));
      } else {
        carry.append(p, stop);
        apply(carry.data(), carry.size());
        carry.clear();
      }
      p = stop + 1;
    }
    tick();
  }
  if (Abort) return false;
  apply(carry.data(), carry.size());
  if (total < size) LastLoadError = "The file could not be read to its end";
  return total >= size;
}

void TListObj::LoadFromFile(const AnsiString& fileName) {
  WaitForTreeWrite();
  AnsiString name = fileName.empty() ? FileName : fileName;
  Clear();
  Modified = false;
  LastLoadError = ReadProblem(name);
  FPartialFile.clear();
  FRefusing = false;
  if (!LastLoadError.empty()) {
    // Something that cannot be read stands there: it is never written over.
    FileName = FPartialFile = name;
    return;
  }
  if (!FileExists(name)) return;
  FileName = name;
  TLoadPump pump(OnLoadPump, LoadPumpInterval);
  const bool whole = ReadTreeLines(name, [&] { pump.Tick(); });
  Abort = false;
  Root->Sort([&] {
    pump.Tick();
    return !Abort;
  });
  EndWalk();
  Modified = false;
  if (!whole) FPartialFile = name;
}

namespace {

void AppendNodeLine(AnsiString& out, const TDataObj& node) {
  AppendNodeLineStart(out, node);
  out += '|';
  AppendNodeFields(out, node);
  out += "\r\n";
}

// The node after node in the file's order (depth first); nullptr after the last.
TDataObj* NextInWalk(TDataObj* node) {
  if (node->ChildCount() > 0) return node->Child(0);
  for (; node->Parent; node = node->Parent)
    if (TDataObj* next = node->NextSibling()) return next;
  return nullptr;
}

// The names from the host down to node.
void NamePath(const TDataObj* node, std::vector<AnsiString>& path) {
  path.clear();
  for (; node->Parent; node = node->Parent) path.emplace_back(node->Name());
  std::reverse(path.begin(), path.end());
}

// The node those names lead to from root; nullptr when one is gone.
TDataObj* NodeOnPath(TDataObj* root, const std::vector<AnsiString>& path) {
  TDataObj* node = root;
  for (size_t i = 0; node && i < path.size(); ++i) node = node->FindChild(path[i]);
  return node;
}

}  // namespace

// Depth first, from node to node without a list of them, into out (emptied
// first); whenever out holds chunkBytes or more, it is handed to write and
// emptied. False when Abort stopped it.
bool TListObj::Serialize(AnsiString& out, size_t chunkBytes, const std::function<void(const AnsiString&)>& write) {
  out.clear();
  for (TDataObj* node = Root->ChildCount() > 0 ? Root->Child(0) : nullptr; node; node = NextInWalk(node)) {
    if (Abort) return false;
    AppendNodeLine(out, *node);
    if (out.size() < chunkBytes || !write) continue;
    write(out);
    out.clear();
  }
  return true;
}

namespace {

// Writes the lines that writeLines gives to a temporary file beside
// fileName, makes the mirrored files written so far durable, flushes the
// file and renames it over fileName; the reason when it fails (a reason
// writeLines returns among them), else "".
AnsiString WriteTreeFile(const AnsiString& fileName, const std::function<AnsiString(AtomicFile&)>& writeLines) {
  const AnsiString folder = ExtractFilePath(fileName);
  if (!folder.empty() && !ForceDirectories(folder)) return "Cannot create the folder \"" + folder + "\"";
  AnsiString error;
  try {
    AtomicFile file(fileName);
    error = writeLines(file);
    if (!error.empty() || !MakeWrittenFilesDurable(error)) return error;
    file.Commit();
  } catch (const Exception& e) {
    error = e.Message();
  }
  return error;
}

}  // namespace

// A tree file written on a thread of its own from chunks of lines handed
// to it as they are taken. It ends when told that no chunk comes after
// (the file is then made durable and renamed into place, WriteTreeFile) or
// when destroyed before that (the temporary file is then removed).
class TListObj::TTreeWrite {
public:
  explicit TTreeWrite(const AnsiString& fileName)
      : FOutcome(std::async(std::launch::async, [this, fileName] {
          return WriteTreeFile(fileName, [this](AtomicFile& file) { return WriteChunks(file); });
        })) {}
  ~TTreeWrite() {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FDropped = !FEnded;
    }
    FChanged.notify_all();
    if (FOutcome.valid()) FOutcome.wait();
  }
  TTreeWrite(const TTreeWrite&) = delete;
  TTreeWrite& operator=(const TTreeWrite&) = delete;

  // Whether enough chunks wait for the disk that no more lines should be taken yet.
  bool Busy() {
    std::lock_guard<std::mutex> lock(FMutex);
    return FChunks.size() >= MaxWaitingChunks;
  }
  void Add(AnsiString&& chunk) {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FChunks.push_back(std::move(chunk));
    }
    FChanged.notify_all();
  }
  void End() {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FEnded = true;
    }
    FChanged.notify_all();
  }
  // False once the file is renamed into place or the write has failed.
  bool Running() const { return FOutcome.wait_for(std::chrono::seconds(0)) != std::future_status::ready; }
  // Waits for the end; the reason the write failed, "" when it did not.
  AnsiString Outcome() { return FOutcome.get(); }

private:
  static constexpr size_t MaxWaitingChunks = 2;

  AnsiString WriteChunks(AtomicFile& file) {
    for (;;) {
      AnsiString chunk;
      {
        std::unique_lock<std::mutex> lock(FMutex);
        FChanged.wait(lock, [this] { return FDropped || FEnded || !FChunks.empty(); });
        if (FDropped) return "The save was ended before its last lines were taken";
        if (FChunks.empty()) return AnsiString();
        chunk = std::move(FChunks.front());
        FChunks.pop_front();
      }
      file.Write(chunk.data(), chunk.size());
    }
  }

  std::mutex FMutex;
  std::condition_variable FChanged;
  std::deque<AnsiString> FChunks;
  bool FEnded = false;
  bool FDropped = false;
  std::future<AnsiString> FOutcome;
};

// The lines go to the temporary file as the walk takes them, a chunk at a
// time, so that a tree of millions of nodes is never held as text whole.
bool TListObj::SaveToFile(const AnsiString& fileName) {
  FileName = fileName;
  WaitForTreeWrite();
  EndSteps();
  FSavePending = false;
  LastSaveError = PartialFileRefusal();
  if (!LastSaveError.empty()) return false;
  bool aborted = false;
  LastSaveError = WriteTreeFile(FileName, [&](AtomicFile& file) {
    auto write = [&file](const AnsiString& lines) { file.Write(lines.data(), lines.size()); };
    AnsiString chunk;
    chunk.reserve(SaveChunkBytes);
    aborted = !Serialize(chunk, SaveChunkBytes, write);
    if (aborted) return AbortedSaveError();
    write(chunk);
    return AnsiString();
  });
  EndWalk();
  if (aborted) return false;
  if (LastSaveError.empty()) Modified = false;
  return TakeWriteOutcome();
}

bool TListObj::SaveIfModified() { return Modified || FSavingInSteps ? SaveToFile(FileName) : true; }

bool TListObj::BeginSave() { return Modified ? TakeSaveSnapshot() : true; }

// The lines in memory, kept for EndSave. A write still going on ends first,
// so that the files are renamed in the order their lines were taken.
bool TListObj::TakeSaveSnapshot() {
  WaitForTreeWrite();
  EndSteps();
  FSavePending = false;
  LastSaveError = PartialFileRefusal();
  if (LastSaveError.empty()) {
    FSavePending = Serialize(FPendingSave);
    if (!FSavePending) LastSaveError = AbortedSaveError();
  }
  EndWalk();
  if (!FSavePending) return false;
  Modified = false;
  return true;
}

AnsiString TListObj::AbortedSaveError() const { return "Saving \"" + FileName + "\" was aborted"; }

// Why FileName must not be written: the tree was read from it only in part; else "".
AnsiString TListObj::PartialFileRefusal() const {
  if (FPartialFile.empty() || ExpandFileName(FPartialFile) != ExpandFileName(FileName)) return AnsiString();
  return "The site tree was read from \"" + FileName + "\" only in part; it is not written over it";
}

void TListObj::BeginSaveInSteps() {
  WaitForTreeWrite();
  FSavePending = false;
  LastSaveError.clear();
  FSavingInSteps = true;
  RestartSaveSteps();
}

// Any lines the steps have written are dropped with their temporary file.
void TListObj::EndSteps() {
  FSavingInSteps = false;
  FStepWrite.reset();
}

// The walk starts again at the first host, with the changes made so far.
void TListObj::RestartSaveSteps() {
  FStepWrite.reset();
  FPendingSave.clear();
  FStepPath.clear();
  if (Root->ChildCount() > 0) FStepPath.emplace_back(Root->Child(0)->Name());
  Modified = false;
}

// The walk goes on from the node its names lead to, which is looked up
// again, so that no node freed between two steps is ever touched.
TListObj::TSaveStep TListObj::SaveStep(int budgetMs) {
  if (!FSavingInSteps) return TSaveStep::Failed;
  if (const AnsiString refusal = PartialFileRefusal(); !refusal.empty()) return FailSteps(refusal);
  if (FStepWrite && !FStepWrite->Running()) return FailSteps(FStepWrite->Outcome());
  // Lines are taken no faster than the disk takes them.
  if (FStepWrite && FStepWrite->Busy()) return TSaveStep::Going;
  TDataObj* node = FStepPath.empty() ? nullptr : NodeOnPath(Root, FStepPath);
  if (!FStepPath.empty() && !node) {
    RestartSaveSteps();
    return TSaveStep::Going;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs);
  for (unsigned count = 1; node; ++count) {
    if (Abort) return FailSteps(AbortedSaveError());
    AppendNodeLine(FPendingSave, *node);
    node = NextInWalk(node);
    const bool writeBehind = HandOnFullChunk();
    if (node && (writeBehind || (count % 64 == 0 && std::chrono::steady_clock::now() >= deadline))) {
      NamePath(node, FStepPath);
      return TSaveStep::Going;
    }
  }
  FSavingInSteps = false;
  FSavePending = true;
  EndWalk();
  return TSaveStep::Taken;
}

// Hands the lines taken to the steps' write once they fill a chunk; whether
// that write has enough chunks waiting that the steps should pause.
bool TListObj::HandOnFullChunk() {
  if (FPendingSave.size() < SaveChunkBytes) return false;
  if (!FStepWrite) FStepWrite = std::make_shared<TTreeWrite>(FileName);
  FStepWrite->Add(std::move(FPendingSave));
  FPendingSave.clear();
  return FStepWrite->Busy();
}

// The files the snapshot records as loaded are made durable before it is
// renamed into place, so that after a crash the tree never names a file
// that did not reach the disk whole.
bool TListObj::EndSave() {
  if (!FSavePending) return true;
  EndSaveInBackground();
  return WaitForTreeWrite();
}

void TListObj::EndSaveInBackground() {
  if (!std::exchange(FSavePending, false)) return;
  FTreeWrite = FStepWrite ? std::move(FStepWrite) : std::make_shared<TTreeWrite>(FileName);
  FTreeWrite->Add(std::move(FPendingSave));
  FPendingSave.clear();
  FTreeWrite->End();
}

TListObj::TSaveStep TListObj::FailSteps(const AnsiString& reason) {
  EndSteps();
  Modified = true;
  LastSaveError = reason;
  return TSaveStep::Failed;
}

bool TListObj::TreeWriteRunning() const { return FTreeWrite && FTreeWrite->Running(); }

bool TListObj::TakeTreeWriteOutcome() {
  if (!FTreeWrite || TreeWriteRunning()) return true;
  return WaitForTreeWrite();
}

bool TListObj::WaitForTreeWrite() {
  if (!FTreeWrite) return true;
  LastSaveError = FTreeWrite->Outcome();
  FTreeWrite.reset();
  return TakeWriteOutcome();
}

bool TListObj::TakeWriteOutcome() {
  if (LastSaveError.empty()) return true;
  Modified = true;
  return false;
}
