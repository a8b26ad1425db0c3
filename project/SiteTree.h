// TListObj: the site tree of one project: the root node, a depth-first cursor
// that exposes the cursor node's URL, file line and fields, the download
// queue, and the site-tree file (".wmt").
//
// File format: one line per node except the root, depth first, each ended by
// CR LF: (depth - 1) TABs, the node's name, then eight fields each preceded by
// "|": queued ("1" or empty), state, start marks of set 0, server date
// ("dd.mm.yyyy" or empty), link level, local name, original size, size.
// Names never hold "|" or control bytes (AddPath encodes them). A local name
// is written with its control bytes percent-encoded, and one holding "|" is
// read back whole, since it is the one free-text field.
//
// Guarantees: a node freed by DeleteNode, Clear or LoadFromFile is no longer
// reachable from the queue or the cursor; saving writes a temporary file and
// renames it, so a failed or aborted save keeps the old file (and Modified);
// a tree whose load stopped early (Abort, a file that cannot be read) is
// never written over the file it came from. Loading costs time linear in the
// file's size (and the final sort), whatever the file holds; a line whose URL
// (its path from the host) would pass MaxUrlLength or MaxPathComponents is
// refused with the lines below it, as AddUrl refuses such a URL.
//
// Thread rule: the tree's structure changes on the user-interface thread
// only, under SiteTreeMutex (LockSiteTree). Download workers read their node
// and write its data fields; they never insert or free nodes (the default
// document of a folder is inserted when the worker's report is handled on the
// user-interface thread).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "project/SiteTreeNode.h"

class TQuereObj;

class TListObj {
public:
  explicit TListObj(const AnsiString& fileName = AnsiString());
  ~TListObj();
  TListObj(const TListObj&) = delete;
  TListObj& operator=(const TListObj&) = delete;

  bool Modified = false;
  bool WwwAlias = false;          // a host and "www." + host are one host
  TDataObj* Cursor = nullptr;     // nullptr at the end of the walk
  TDataObj* Root;                 // owned
  uint8_t CursorQueued = 0;
  bool Eof = false;
  TQuereObj* Queue;               // owned
  AnsiString FileName;
  bool Abort = false;             // stops a running load or save
  AnsiString CursorUrl;           // the cursor's URL, with a final "/" for a folder
  AnsiString CursorFields;        // the file line's fields, without the first "|"
  AnsiString CursorLine;          // (depth - 1) TABs and the name
  int32_t CursorDepth = 0;
  int32_t CursorLevel = 0;
  // Run by LoadFromFile every LoadPumpInterval milliseconds while it reads
  // and sorts (the main window serves its messages here, so that it stays
  // alive and the user can set Abort). It must not change the tree. Abort
  // ends the reading; the lines read are sorted all the same, unless Abort
  // is set again, which ends the sort too.
  std::function<void()> OnLoadPump;
  int LoadPumpInterval = 10;
  // URLs AddUrl refused, and lines LoadFromFile refused, as longer than
  // MaxUrlLength or deeper than MaxPathComponents.
  int RefusedUrls = 0;
  // A save hands its lines to the file in chunks of about this many bytes.
  size_t SaveChunkBytes = size_t(1) << 20;
  // Why the last SaveToFile failed; empty after a successful save.
  AnsiString LastSaveError;
  // Why the last LoadFromFile could not read its file (or all of it); empty
  // when it read the whole file or there was none.
  AnsiString LastLoadError;

  // Inserts a URL, in its one form (OneFormUrl, so that "café/" and
  // "caf%C3%A9/" are one node, shown "café/"); a node created by this call, or a folder made on the way
  // (level 99), takes the given link level. nullptr for an empty URL and for
  // one refused as too long or too deep (counted in RefusedUrls).
  TDataObj* AddUrl(int32_t level, const AnsiString& url);
  void First();
  void Next();
  void LoadCursorFields();
  // Frees every node below the root, empties the queue, ends the walk; the
  // empty tree may be written over a file it was partly read from.
  void Clear();
  void SetCursorState(uint8_t state);
  uint8_t GetCursorState() const;
  int GetRootCount() const;
  // Frees the node with its subtree, takes them out of the queue and moves the
  // cursor, when it was on one of them, to the node after the subtree.
  // nullptr, the root and nodes of other trees are ignored.
  void DeleteNode(TDataObj* node);
  TDataObj* PickNext(int limit) const;
  // Moves the cursor past a subtree and returns it (nullptr at the end): the
  // subtree of the cursor, of its parent when the cursor is a leaf below a
  // host, or of the first host when there is no cursor; a childless host
  // simply moves on to the next node.
  TDataObj* NextAfterSubtree();
  bool IsHostMarked(const AnsiString& url, bool subDomain, int markSet) const;
  bool IsPathMarked(const AnsiString& url, int markSet) const;
  // The node reached from the root by following child indexes (top first), as
  // a view that mirrors the tree addresses its nodes; nullptr when an index
  // is out of range.
  TDataObj* NodeFromTreeNode(const std::vector<int>& indexPath) const;
  void GetNodeText(const std::vector<int>& indexPath, AnsiString& s) const;

  // Replaces the tree with the file's (empty argument: FileName). A missing
  // file gives an empty tree; one that cannot be read (a folder, no
  // permission) an empty tree with LastLoadError. The queue is emptied, the
  // walk ended. Abort stops the reading; the lines read so far stay, sorted
  // unless Abort came again during the sort.
  void LoadFromFile(const AnsiString& fileName = AnsiString());
  // Writes the tree, its lines going to the temporary file a chunk at a time
  // as the walk takes them; false (with LastSaveError) when the folder or
  // file cannot be written or Abort stopped it; the old file then stays and
  // Modified too.
  bool SaveToFile(const AnsiString& fileName);
  bool SaveIfModified();
  // SaveIfModified in two steps, for a caller that holds the tree's lock
  // only while the tree is read: BeginSave copies the lines into memory and
  // clears Modified (false as SaveToFile fails); EndSave, without reading
  // the tree, writes them to a temporary file beside FileName, makes the
  // mirrored files written so far durable (MakeWrittenFilesDurable), flushes
  // the file and renames it over FileName (false, with LastSaveError and
  // Modified set again, when that fails). An unmodified tree has nothing to
  // save. EndSaveInBackground does EndSave's work on a thread of its own;
  // TakeTreeWriteOutcome then gives false, once, when that write has ended
  // and failed (with LastSaveError and Modified set again), else true. A
  // save, a load and the destructor wait for such a write to end first.
  bool BeginSave();
  bool EndSave();
  // BeginSave in steps, for a caller that serves its messages between them:
  // BeginSaveInSteps starts (and clears Modified); each SaveStep, under the
  // tree's lock, takes lines for about budgetMs milliseconds, then tells
  // whether all are taken (EndSave or EndSaveInBackground then writes the
  // rest) or the steps failed (LastSaveError, Modified set again). The lines
  // go, a chunk at a time, to a temporary file written on a thread of its
  // own; a step takes none while two chunks wait for that thread. A walk
  // that starts again, a failure and any other save drop that file. A node freed
  // on the way to the walk's place starts the walk again; a node added or
  // moved between steps before that place is left to the next save, and one
  // moved after it may be written twice, which a load takes as one node.
  // Any other save ends the steps; SaveIfModified then saves.
  enum class TSaveStep { Going, Taken, Failed };
  static constexpr int SaveStepMs = 8;  // a step that a worker waiting for the lock hardly notices
  void BeginSaveInSteps();
  TSaveStep SaveStep(int budgetMs);
  bool SavingInSteps() const { return FSavingInSteps; }
  void EndSaveInBackground();
  bool TreeWriteRunning() const;
  bool TakeTreeWriteOutcome();

  void LockSiteTree();
  void UnlockSiteTree();

private:
  friend class TDataObj;
  void NodeFreed(TDataObj* node);
  void EndWalk();
  bool Owns(const TDataObj* node) const;
  void ApplyLine(const char* line, size_t length);
  bool ReadTreeLines(const AnsiString& name, const std::function<void()>& tick);
  bool Serialize(AnsiString& out, size_t chunkBytes = SIZE_MAX,
                 const std::function<void(const AnsiString&)>& write = {});
  AnsiString AbortedSaveError() const;
  AnsiString PartialFileRefusal() const;
  bool TakeSaveSnapshot();
  void RestartSaveSteps();
  bool WaitForTreeWrite();
  bool TakeWriteOutcome();
  void EndSteps();
  bool HandOnFullChunk();
  TSaveStep FailSteps(const AnsiString& reason);
  class TTreeWrite;

  AnsiString FPartialFile;  // the file the last load read only in part
  // While loading: the TABs of the last refused line, whose lines below go with it.
  size_t FRefusedTabs = 0;
  bool FRefusing = false;
  AnsiString FPendingSave;    // the lines taken and not yet handed to a write
  bool FSavePending = false;
  std::shared_ptr<TTreeWrite> FTreeWrite;  // the write going on after its last lines, if any
  std::shared_ptr<TTreeWrite> FStepWrite;  // the write the steps hand their lines to, if any
  bool FSavingInSteps = false;
  std::vector<AnsiString> FStepPath;  // the names down to the next node of the steps
};
