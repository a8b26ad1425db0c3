#include "project/uQuere.h"

#include <algorithm>

std::recursive_mutex SiteTreeMutex;

void LockSiteTree() { SiteTreeMutex.lock(); }

void UnlockSiteTree() { SiteTreeMutex.unlock(); }

namespace {
constexpr size_t MinRepackSize = 32;
constexpr size_t MinFrontGap = 8;
}  // namespace

TQuereObj::~TQuereObj() {
  // The nodes may already be gone; only the queue's own storage is released.
  FBuckets.clear();
  FExtra.clear();
}

void TQuereObj::Clear() {
  for (auto& [level, bucket] : FBuckets)
    for (size_t i = bucket.Head; i < bucket.Items.size(); ++i)
      if (TDataObj* node = bucket.Items[i]) node->FQueueRefs = 0;
  FBuckets.clear();
  FExtra.clear();
}

bool TQuereObj::Holds(int32_t level, uint32_t pos, const TDataObj* node) const {
  auto bucket = FBuckets.find(level);
  return bucket != FBuckets.end() && pos < bucket->second.Items.size() && bucket->second.Items[pos] == node;
}

bool TQuereObj::Find(const TDataObj* node, int32_t level, uint32_t& pos) const {
  if (node->FQueueRefs == 0) return false;
  if (node->FQueueLevel == level) {
    pos = node->FQueuePos;
    return Holds(level, pos, node);
  }
  if (node->FQueueRefs == 1) return false;
  auto extra = FExtra.find(node);
  if (extra == FExtra.end()) return false;
  for (const TEntry& e : extra->second)
    if (e.Level == level) {
      pos = e.Pos;
      return Holds(level, pos, node);
    }
  return false;
}

void TQuereObj::Record(TDataObj* node, int32_t level, uint32_t pos) {
  if (node->FQueueRefs == UINT16_MAX) throw EIntOverflow("A site-tree node is in too many queue buckets");
  if (node->FQueueRefs == 0) {
    node->FQueueLevel = level;
    node->FQueuePos = pos;
  } else {
    FExtra[node].push_back({level, pos});
  }
  ++node->FQueueRefs;
}

void TQuereObj::Unrecord(TDataObj* node, int32_t level) {
  --node->FQueueRefs;
  if (node->FQueueRefs == 0) return;
  auto extra = FExtra.find(node);
  std::vector<TEntry>& entries = extra->second;
  if (node->FQueueLevel == level) {
    node->FQueueLevel = entries.back().Level;
    node->FQueuePos = entries.back().Pos;
    entries.pop_back();
  } else {
    entries.erase(std::find_if(entries.begin(), entries.end(), [&](const TEntry& e) { return e.Level == level; }));
  }
  if (entries.empty()) FExtra.erase(extra);
}

void TQuereObj::Move(TDataObj* node, int32_t level, uint32_t pos) {
  if (node->FQueueLevel == level) {
    node->FQueuePos = pos;
    return;
  }
  for (TEntry& e : FExtra[node])
    if (e.Level == level) e.Pos = pos;
}

// Rebuilds a bucket without holes, with frontGap free places before its nodes.
void TQuereObj::Repack(TBucket& bucket, int32_t level, size_t frontGap) {
  std::vector<TDataObj*> items(frontGap);
  items.reserve(frontGap + bucket.Live + bucket.Live / 2);
  for (size_t i = bucket.Head; i < bucket.Items.size(); ++i)
    if (TDataObj* node = bucket.Items[i]) {
      Move(node, level, uint32_t(items.size()));
      items.push_back(node);
    }
  bucket.Items.swap(items);
  bucket.Head = frontGap;
}

bool TQuereObj::Add(TDataObj* node) {
  uint32_t pos;
  TBucket& bucket = FBuckets[node->Level];
  if (Find(node, node->Level, pos)) return true;
  if (bucket.Items.size() >= UINT32_MAX) Repack(bucket, node->Level, 0);
  Record(node, node->Level, uint32_t(bucket.Items.size()));
  bucket.Items.push_back(node);
  ++bucket.Live;
  return true;
}

bool TQuereObj::AddFirst(TDataObj* node) {
  uint32_t pos;
  TBucket& bucket = FBuckets[node->Level];
  if (Find(node, node->Level, pos)) return true;
  if (bucket.Head == 0) Repack(bucket, node->Level, std::max(MinFrontGap, bucket.Live));
  Record(node, node->Level, uint32_t(bucket.Head - 1));
  --bucket.Head;
  bucket.Items[bucket.Head] = node;
  ++bucket.Live;
  return true;
}

void TQuereObj::RemoveAt(TBucket& bucket, int32_t level, uint32_t pos) {
  TDataObj* node = bucket.Items[pos];
  bucket.Items[pos] = nullptr;
  --bucket.Live;
  Unrecord(node, level);
  if (bucket.Live == 0) {
    bucket.Items.clear();
    bucket.Head = 0;
    return;
  }
  while (bucket.Items[bucket.Head] == nullptr) ++bucket.Head;
  while (bucket.Items.back() == nullptr) bucket.Items.pop_back();
  if (bucket.Items.size() >= MinRepackSize && bucket.Live * 4 < bucket.Items.size() - bucket.Head)
    Repack(bucket, level, 0);
}

void TQuereObj::Remove(TDataObj* node) {
  if (node->FQueueRefs == 0) return;
  uint32_t pos;
  auto own = FBuckets.find(node->Level);
  if (own != FBuckets.end()) {
    if (Find(node, node->Level, pos)) RemoveAt(own->second, node->Level, pos);
    return;
  }
  for (auto& [level, bucket] : FBuckets)
    if (Find(node, level, pos)) {
      RemoveAt(bucket, level, pos);
      return;
    }
}

void TQuereObj::RemoveAll(TDataObj* node) {
  while (node->FQueueRefs > 0 && Holds(node->FQueueLevel, node->FQueuePos, node)) {
    int32_t level = node->FQueueLevel;
    RemoveAt(FBuckets[level], level, node->FQueuePos);
  }
}

TDataObj* TQuereObj::PickNext(int limit) const {
  TDataObj* retry = nullptr;
  for (const auto& [level, bucket] : FBuckets)
    for (size_t i = bucket.Head; i < bucket.Items.size(); ++i) {
      TDataObj* node = bucket.Items[i];
      if (!node) continue;
      if (node->State & (snPending | snAborted)) return node;
      bool candidate = (node->State & snFailed) &&
                       (node->CountRetry == 0 || (limit >= 1 && node->CountRetry < limit));
      if (candidate && (!retry || node->CountRetry < retry->CountRetry)) retry = node;
    }
  return retry;
}

bool TQuereObj::Contains(const TDataObj* node) const {
  return node->FQueueRefs > 0 && Holds(node->FQueueLevel, node->FQueuePos, node);
}

int TQuereObj::NodeCount() const {
  size_t n = 0;
  for (const auto& [level, bucket] : FBuckets) n += bucket.Live;
  return int(n);
}

std::map<int32_t, TQuereObj::TBucket>::const_iterator TQuereObj::BucketAt(int index) const {
  if (index < 0 || index >= Count()) throw ERangeError("Queue bucket index out of range (" + IntToStr(index) + ")");
  return std::next(FBuckets.begin(), index);
}

int TQuereObj::BucketLevel(int index) const { return BucketAt(index)->first; }

std::vector<TDataObj*> TQuereObj::BucketNodes(int index) const {
  const TBucket& bucket = BucketAt(index)->second;
  std::vector<TDataObj*> nodes;
  for (size_t i = bucket.Head; i < bucket.Items.size(); ++i)
    if (bucket.Items[i]) nodes.push_back(bucket.Items[i]);
  return nodes;
}
