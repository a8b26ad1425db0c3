// TDataObj: one node of a project's site tree (the unnamed root, a host, a
// folder or a file). A node owns its children; they keep their order of
// addition (new folders go before the first file) until Sort. Children are
// found by name without regard to ASCII case through a hash index, and every
// walk over the tree (insertion, search, sorting, freeing) is iterative, so
// neither a huge folder nor a path of tens of thousands of levels costs more
// than linear time or any stack.
//
// Thread rule: the structure (children, names) changes on the user-interface
// thread only, under the site-tree lock. A download worker writes only the
// data fields of its own node (LocalName, ServerDate, Size, SizeOrig, State)
// and never inserts or frees nodes.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

class TListObj;
class TQuereObj;
struct TChildList;

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

class TDataObj {
public:
  explicit TDataObj(int32_t depth);
  ~TDataObj();
  TDataObj(const TDataObj&) = delete;
  TDataObj& operator=(const TDataObj&) = delete;

  TDataObj* Parent = nullptr;
  AnsiString LocalName;          // path of the saved local file
  TDateTime ServerDate = 0;      // document date reported by the server
  int32_t Descendants = 0;       // nodes created below this node
  int32_t CountRetry = 0;        // download attempts (dispatcher)
  int32_t Depth;                 // 0 root, 1 host, 2 and more below
  int32_t Level = 0;             // link level; FolderLevel for folders on the way
  int32_t Size = 0;              // size of the saved document
  int32_t SizeOrig = 0;          // size as received
  uint8_t DirIn = 0;             // start marks of a new run (mark set 0)
  uint8_t DirInResume = 0;       // start marks of a resumed run (mark set 1)
  uint8_t State = snPending;     // sn* bits
  uint8_t Queued = 0;            // 1: download when the dispatcher picks it
  bool New = false;              // created by the last AddPath that returned it

  // Text the main window stores with a found link; nothing reads it back.
  AnsiString LinkCookies() const;
  void SetLinkCookies(const AnsiString& cookies);

  // Frees every descendant and resets Descendants. Nodes of a tree owned by a
  // TListObj are also taken out of its queue and off its cursor.
  void Clear();

  // Inserts a URL (below the root) or a path tail (below another node) and
  // returns the node of its last component; nullptr for an empty URL.
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
  const AnsiString& Name() const { return FName; }
  void GetName(AnsiString& s) const { s = FName; }
  void GetPath(AnsiString& s) const;     // "http://host/dir/file.htm"
  TDataObj* LastDescendant();            // last node of the subtree, depth first
  void MarkStartHost(int markSet);
  void MarkStartDir(int markSet);

  int ChildCount() const;
  // ERangeError outside 0..ChildCount()-1.
  TDataObj* Child(int index) const;
  // The child of that name (without regard to ASCII case), or nullptr.
  TDataObj* FindChild(const AnsiString& name) const;
  // Position among the parent's children; -1 for the root.
  int IndexInParent() const;
  // The next sibling in list order, or nullptr.
  TDataObj* NextSibling() const;

  // Sorts the children of this node and of every node below: folders (start
  // directory mark or children) first, then by name without regard to case.
  void Sort();

private:
  friend class TQuereObj;
  friend class TListObj;

  TDataObj* CreateChild(const AnsiString& name, bool folder);
  void RemoveChild(TDataObj* child);
  void DetachChildren(std::vector<TDataObj*>& out);
  TListObj* OwnerTree() const;
  void SetOwnerTree(TListObj* owner);
  uint8_t MarkByte(int markSet) const { return markSet == 0 ? DirIn : DirInResume; }

  // Declared in this order to keep a node at 136 bytes.
  uint16_t FQueueRefs = 0;                    // queue buckets holding this node
  TChildList* FKids = nullptr;                // nullptr while there are no children
  AnsiString FName;
  std::unique_ptr<AnsiString> FCookies;
  int32_t FQueueLevel = 0;                    // bucket of the first queue entry
  uint32_t FQueuePos = 0;                     // position in that bucket
};

// Percent-encodes "|" and bytes below 0x20, which would break a site-tree line.
AnsiString EncodeTreeUnsafeBytes(const AnsiString& s);
// Appends s to out, the bytes for which mustEncode holds written as "%XX".
void AppendPercentEncoded(AnsiString& out, std::string_view s, bool (*mustEncode)(unsigned char));

// Splits the scheme off a URL: the text up to and including "://" when that
// starts within the first nine characters; otherwise url stays and the
// result is "http://".
AnsiString TakeScheme(std::string_view& url);
