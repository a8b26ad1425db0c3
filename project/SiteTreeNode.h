// TDataObj: one node of a project's site tree (the unnamed root, a host, a
// folder or a file). A node owns its children; they keep their order of
// addition (a new folder goes before the first child without the folder bit)
// until Sort. The children sit in counted blocks (a small folder in one plain
// array) beside a hash index by name without regard to ASCII case, so adding,
// finding and removing any child, the child at an index and the index of a
// child cost O(log n) whatever the folder's size and mix of children. Every
// walk over the tree (insertion, search, sorting, freeing) is iterative, so a
// path of many levels needs no stack.
//
// Thread rule: the structure (children, names) changes on the user-interface
// thread only, under the site-tree lock. A download worker writes only the
// data fields of its own node (LocalName, ServerDate, Size, SizeOrig, State,
// keeping the folder bit) and never inserts or frees nodes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"
#include "project/CompactString.h"

class TListObj;
class TQuereObj;
struct TChildList;
struct TChildLeaf;

// Bits of TDataObj::State.
constexpr uint8_t snPending = 1;
constexpr uint8_t snLoading = 2;
constexpr uint8_t snLoaded = 4;
constexpr uint8_t snFailed = 8;
constexpr uint8_t snAborted = 16;
constexpr uint8_t snDeleted = 32;
constexpr uint8_t snFolder = 128;

// Bits of the start marks DirIn and DirInResume.
constexpr uint8_t dmStartHost = 1;
constexpr uint8_t dmStartDir = 2;

// Link level of a folder made on the way to a deeper URL.
constexpr int32_t FolderLevel = 99;

// URLs the tree refuses, as servers refuse such request lines: longer than
// MaxUrlLength bytes, or more than MaxPathComponents components below the
// host. A node's file line grows with its depth, so the limit also keeps a
// saved tree linear in the URLs it holds.
constexpr size_t MaxUrlLength = 8192;
constexpr int32_t MaxPathComponents = 256;

// The State byte of a node: read and written as a plain byte. A change of
// the folder bit is reported to the parent's child list, which keeps where
// the next folder goes (before the first child without the bit).
class TNodeState {
public:
  TNodeState() = default;
  TNodeState(const TNodeState&) = delete;
  TNodeState& operator=(const TNodeState& other) { return *this = uint8_t(other); }
  TNodeState& operator=(uint8_t bits);
  TNodeState& operator|=(uint8_t bits) { return *this = uint8_t(FBits | bits); }
  TNodeState& operator&=(uint8_t bits) { return *this = uint8_t(FBits & bits); }
  operator uint8_t() const { return FBits; }

private:
  uint8_t FBits = snPending;
};

// The base that holds State as its first member, so that a state finds its node.
struct TNodeStateHolder {
  TNodeState State;  // sn* bits

protected:
  TNodeStateHolder() = default;
};

// The members are declared in this order to keep a node at 104 bytes; nodes
// come from a record pool of all trees (a folder of millions of links costs
// 104 bytes a node, where the allocator gave 112). The pool takes a lock: a
// closed tree is freed on a thread of its own. The names are compact strings,
// most of them short enough to sit inline.
class TDataObj : public TNodeStateHolder {
public:
  bool NotParsed = false;        // saved, but too large to be parsed for links

private:
  uint16_t FQueueRefs = 0;       // queue buckets holding this node

public:
  uint8_t DirIn = 0;             // start marks of a new run (mark set 0)
  uint8_t DirInResume = 0;       // start marks of a resumed run (mark set 1)
  uint8_t Queued = 0;            // 1: download when the dispatcher picks it
  bool New = false;              // created by the last AddPath that returned it

  explicit TDataObj(int32_t depth);
  ~TDataObj();
  TDataObj(const TDataObj&) = delete;
  TDataObj& operator=(const TDataObj&) = delete;

  // A node's record, zero-filled, from the pool of nodes; given back there.
  static void* operator new(size_t size);
  static void operator delete(void* node);
  // Nodes alive (of every tree) and the pool's blocks that hold them.
  static size_t PooledNodes();
  static size_t PooledBlocks();

  TDataObj* Parent = nullptr;
  TCompactString LocalName;      // path of the saved local file
  TDateTime ServerDate = 0;      // document date reported by the server
  int32_t Descendants = 0;       // nodes created below this node
  int32_t CountRetry = 0;        // download attempts (dispatcher)
  int32_t Depth;                 // 0 root, 1 host, 2 and more below
  int32_t Level = 0;             // link level; FolderLevel for folders on the way
  int32_t Size = 0;              // size of the saved document
  int32_t SizeOrig = 0;          // size as received

  // Text the main window stores with a found link; nothing reads it back.
  // It is kept beside the node, which has no room for it.
  AnsiString LinkCookies() const;
  void SetLinkCookies(const AnsiString& cookies);
  // The nodes, of every tree, that have such a text: a freed node's goes with it.
  static size_t LinkCookieCount();

  // Frees every descendant and resets Descendants. Nodes of a tree owned by a
  // TListObj are also taken out of its queue and off its cursor. pause, when
  // given, is called after every few hundred nodes freed.
  void Clear(const std::function<void()>& pause = {});

  // Inserts a URL (below the root) or a path tail (below another node) and
  // returns the node of its last component; nullptr for an empty URL and for
  // one beyond MaxUrlLength or MaxPathComponents (nothing is inserted then).
  // "|" and bytes below 0x20 are stored percent-encoded; empty components
  // ("a//b") are skipped. With www, a host and the same host with "www." in
  // front are one host node. New tells whether the returned node was created
  // by this call; folders created on the way get level FolderLevel, while
  // nodes already on the path keep theirs, so a start URL that a deeper link
  // passes through is still fetched at its own level.
  TDataObj* AddPath(std::string_view url, bool www);
  // Follows a URL's path without inserting; the first node on it that has the
  // start-directory mark of the mark set (0 DirIn, 1 DirInResume), or nullptr.
  TDataObj* FindPath(std::string_view url, bool www, int markSet) const;

  TDataObj* TopNode();                   // the host node above; root: itself
  std::string_view Name() const { return FName; }
  void GetName(AnsiString& s) const { s = FName.view(); }
  void GetPath(AnsiString& s) const;     // "http://host/dir/file.htm"
  size_t UrlLength() const;              // the length of that path; 0 for the root
  TDataObj* LastDescendant();            // last node of the subtree, depth first
  void MarkStartHost(int markSet);
  void MarkStartDir(int markSet);

  int ChildCount() const;
  // ERangeError outside 0..ChildCount()-1.
  TDataObj* Child(int index) const;
  // The child of that name (without regard to ASCII case), or nullptr.
  TDataObj* FindChild(std::string_view name) const;
  // Position among the parent's children; -1 for the root.
  int IndexInParent() const;
  // The next sibling in list order, or nullptr.
  TDataObj* NextSibling() const;
  // Appends the children in list order to out.
  void GetChildren(std::vector<TDataObj*>& out) const;

  // Sorts the children of this node and of every node below: folders (start
  // directory mark or children) first, then by name without regard to case.
  // tick, when given, is called every few thousand steps of any sort, even
  // of a single folder of millions; when it returns false the sort ends at
  // once (false), the folders it had not finished keeping their order.
  bool Sort(const std::function<bool()>& tick = {});

private:
  friend class TQuereObj;
  friend class TListObj;
  friend class TNodeState;
  friend struct TChildList;

  // AddPath; refused tells whether the URL was beyond the limits, its length
  // counted from prefixLength (the length of this node's own URL and a "/").
  TDataObj* Insert(std::string_view url, bool www, bool& refused, size_t prefixLength = 0);
  void CountInserted(TDataObj* leaf, size_t steps, size_t firstCreated);
  TDataObj* CreateChild(std::string_view name, bool folder);
  void RemoveChild(TDataObj* child);
  void DetachChildren(std::vector<TDataObj*>& out);
  void FolderBitChanged();
  TListObj* OwnerTree() const;
  void SetOwnerTree(TListObj* owner);
  uint8_t MarkByte(int markSet) const { return markSet == 0 ? DirIn : DirInResume; }

  TChildList* FKids = nullptr;                // nullptr while there are no children
  TCompactString FName;
  int32_t FQueueLevel = 0;                    // bucket of the first queue entry
  uint32_t FQueuePos = 0;                     // position in that bucket
  TChildLeaf* FLeaf = nullptr;                // the parent's block that holds this node
};

// text trimmed (as Trim does) with "|" and bytes below 0x20, which would
// break a site-tree line, percent-encoded: a view of text itself when it
// holds none of them, else of buffer, which then holds the encoded text.
std::string_view TreeSafeText(std::string_view text, AnsiString& buffer);
// Whether text holds a byte TreeSafeText encodes ("|" or one below 0x20).
bool HasTreeUnsafeByte(std::string_view text);
// Appends s to out, the bytes for which mustEncode holds written as "%XX".
void AppendPercentEncoded(AnsiString& out, std::string_view s, bool (*mustEncode)(unsigned char));

// Splits the scheme off a URL: the text up to and including "://" when that
// starts within the first nine characters; otherwise url stays and the
// result is "http://". TakeSchemeView gives a view of url or of that text.
AnsiString TakeScheme(std::string_view& url);
std::string_view TakeSchemeView(std::string_view& url);

// a and b are equal without regard to ASCII case.
bool SameFolded(std::string_view a, std::string_view b);
