// TQuereObj: the download queue of a site tree. Nodes wait in buckets, one
// bucket per link level, visited in ascending numeric level order; a bucket
// keeps its nodes in the order they were added (AddFirst puts a node in
// front). The queue refers to nodes, it does not own them. Membership is kept
// on the nodes themselves, so adding, finding and removing a node never scans
// a bucket. A node is queued in one queue at most (its tree's), and must be
// taken out before it is freed; TListObj does this for the nodes of its tree.
//
// SiteTreeMutex is the lock that guards every site tree and its queue: a
// recursive lock of this process (other running copies of the program do not
// share it). The queue has no lock of its own.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "project/SiteTree.h"
#include "project/SiteTreeNode.h"

class TQuereObj {
public:
  TQuereObj() = default;
  ~TQuereObj();
  TQuereObj(const TQuereObj&) = delete;
  TQuereObj& operator=(const TQuereObj&) = delete;

  // Drops every bucket; the nodes stay (and are no longer marked queued here).
  void Clear();
  // Appends the node to the bucket of its current Level unless it is there.
  bool Add(TDataObj* node);
  // As Add, but a node not yet in the bucket goes to its front.
  bool AddFirst(TDataObj* node);
  // Takes the node out of the bucket of its current Level; when there is no
  // such bucket, out of the lowest-level bucket that holds it. Empty buckets stay.
  void Remove(TDataObj* node);
  // Takes the node out of every bucket.
  void RemoveAll(TDataObj* node);
  // The first pending or aborted node in level order; failing that, the failed
  // node with the fewest retries (CountRetry 0, or below limit when limit >= 1),
  // the first one met on a tie; nullptr when there is none. The node stays queued.
  TDataObj* PickNext(int limit) const;

  int Count() const { return int(FBuckets.size()); }   // buckets, empty ones included
  int NodeCount() const;                                // entries in all buckets
  bool Contains(const TDataObj* node) const;           // in some bucket of this queue
  int BucketLevel(int index) const;
  std::vector<TDataObj*> BucketNodes(int index) const;

private:
  struct TBucket {
    std::vector<TDataObj*> Items;   // nullptr where a node was removed
    size_t Head = 0;                // no node before this position
    size_t Live = 0;
  };
  struct TEntry {
    int32_t Level;
    uint32_t Pos;
  };

  bool Holds(int32_t level, uint32_t pos, const TDataObj* node) const;
  bool Find(const TDataObj* node, int32_t level, uint32_t& pos) const;
  void Record(TDataObj* node, int32_t level, uint32_t pos);
  void Unrecord(TDataObj* node, int32_t level);
  void Move(TDataObj* node, int32_t level, uint32_t pos);
  void RemoveAt(TBucket& bucket, int32_t level, uint32_t pos);
  void Repack(TBucket& bucket, int32_t level, size_t frontGap);
  std::map<int32_t, TBucket>::const_iterator BucketAt(int index) const;

  std::map<int32_t, TBucket> FBuckets;
  // Entries beyond a node's first one (a node re-added after its level changed).
  std::unordered_map<const TDataObj*, std::vector<TEntry>> FExtra;
};

// The site-tree lock. Each LockSiteTree needs its own UnlockSiteTree; the
// lock may be taken again by the thread that holds it. std::lock_guard works
// on SiteTreeMutex directly.
extern std::recursive_mutex SiteTreeMutex;
void LockSiteTree();
void UnlockSiteTree();
