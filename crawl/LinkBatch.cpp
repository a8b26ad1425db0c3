#include "crawl/LinkBatch.h"

#include <cstring>

#include "crawl/LinkText.h"

void TLinkBatch::Add(std::string_view Link) {
  if (Link.find('\0') != std::string_view::npos || FPool.size() + Link.size() > UINT32_MAX) return;
  TEntry entry{static_cast<uint32_t>(FPool.size()), static_cast<uint32_t>(Link.size()), NoKey,
               static_cast<uint32_t>(FLinks.size())};
  FPool.append(Link);
  if (HoldsUpperCase(Link)) {
    entry.Key = static_cast<uint32_t>(FFolded.size());
    for (const char c : Link) FFolded.push_back(static_cast<char>(FoldAsciiByte(c)));
  }
  FLinks.push_back(entry);
}

std::string_view TLinkBatch::KeyOf(const TEntry& Entry) const {
  // The entries' offsets lie within the pools by construction.
  return Entry.Key == NoKey ? std::string_view(FPool.data() + Entry.Offset, Entry.Length)
                            : std::string_view(FFolded.data() + Entry.Key, Entry.Length);
}

std::string_view TLinkBatch::operator[](size_t Index) const {
  return std::string_view(FPool).substr(FLinks[Index].Offset, FLinks[Index].Length);
}

std::vector<AnsiString> TLinkBatch::ToVector() const {
  std::vector<AnsiString> links;
  links.reserve(Count());
  for (size_t i = 0; i < Count(); ++i) links.emplace_back((*this)[i]);
  return links;
}

bool TLinkBatch::Less(const TEntry& A, const TEntry& B) const {
  const int order = KeyOf(A).compare(KeyOf(B));
  return order != 0 ? order < 0 : A.Order < B.Order;
}

void TLinkBatch::DropDuplicates() {
  FLinks.erase(std::unique(FLinks.begin(), FLinks.end(),
                           [this](const TEntry& A, const TEntry& B) { return KeyOf(A) == KeyOf(B); }),
               FLinks.end());
}

bool TLinkBatch::SortUnique(const std::function<bool()>& Stopped) {
  if (!SortUnlessStopped(FLinks.begin(), FLinks.end(), [this](const TEntry& A, const TEntry& B) { return Less(A, B); },
                         Stopped)) {
    Clear();
    return false;
  }
  DropDuplicates();
  return true;
}

void TLinkBatch::Merge(const TLinkBatch& Sorted) {
  const size_t middle = FLinks.size();
  for (size_t i = 0; i < Sorted.Count(); ++i) Add(Sorted[i]);
  std::inplace_merge(FLinks.begin(), FLinks.begin() + static_cast<std::ptrdiff_t>(middle), FLinks.end(),
                     [this](const TEntry& A, const TEntry& B) { return Less(A, B); });
  DropDuplicates();
}

void TLinkBatch::Clear() {
  std::string().swap(FPool);
  std::string().swap(FFolded);
  std::vector<TEntry>().swap(FLinks);
}
