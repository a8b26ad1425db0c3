// The tree stream: the binary, little-endian form in which a tree writes its
// structure (all top-level nodes, or one node, with their subtrees) and reads
// it back, and the bare node chunks that the clipboard and drags carry.
//
// Layout: a 12-byte header (six UTF-16 units: bracket, "V", "T", version,
// blank, bracket; version 2 written, 0 to 2 read), for version 2 a u32 count
// of top-level node chunks, then the node chunks. Every chunk is {i32 type,
// i32 size of what follows}; a node chunk (1) holds a base chunk (2: child
// count, height, states, alignment, check state and type, reserved, then the
// child node chunks), an optional user chunk (4, written by OnSaveNode, read
// by OnLoadNode) and for string trees with toSaveCaptions a caption chunk (3).
//
// Contract
// - Reading and writing go through the tree's stream hooks (WriteNode,
//   WriteChunks, ReadNode, ReadChunk, SkipNode, FinishChunkHeader,
//   InternalAddFromStream), so a descendant can add chunk types of its own;
//   a reader passes a chunk type it does not know by.
// - Reading comes from outside: every size is checked against the bytes
//   present and the enclosing chunk, a child count against the room its
//   children need, nesting deeper than MaxStreamNesting and row heights
//   beyond 32-bit positions are refused, and damaged data raises
//   EVirtualTreeError (2002 to 2006). Nodes read before the error stay, with
//   consistent counts, heights and selection; a node of which nothing was
//   read (its reading failed before its base chunk was taken) does not.
//   Only the lasting node states and valid check values are taken.
// - Writing refuses (EStreamError) a tree nested deeper than a reader takes.
// - OnLoadNode sees a stream holding exactly the node's user chunk, so an
//   application that reads too little or too much cannot derail the reader.
// - A node's base chunk stores the number of child chunks actually written:
//   children of a node that was never initialised are not written (the node
//   keeps nsHasChildren and asks for them again).
#pragma once

#include <functional>

#include "platform/rtl/Classes.h"
#include "treecontrol/VTTypes.h"

class TBaseVirtualTree;

constexpr int MaxStreamNesting = 1000;
// Chunk types of the base tree and of the string tree.
enum : int32_t { StreamNodeChunk = 1, StreamBaseChunk = 2, StreamCaptionChunk = 3, StreamUserChunk = 4 };
constexpr int64_t MaxStreamBytes = int64_t(1) << 28;

// Refuses input above MaxStreamBytes (EVirtualTreeError 2004).
[[noreturn]] void RaiseTreeDataTooLarge();

// Writes the header, the count and the chunks of every top-level node (node
// nullptr) or of the one node.
void SaveTreeToStream(TBaseVirtualTree& tree, TStream& stream, PVirtualNode node = nullptr);
void SaveTreeToFile(TBaseVirtualTree& tree, const AnsiString& fileName, PVirtualNode node = nullptr);
// Replaces the tree's content with the stream's nodes (nothing for a
// read-only tree).
void LoadTreeFromStream(TBaseVirtualTree& tree, TStream& stream);
void LoadTreeFromFile(TBaseVirtualTree& tree, const AnsiString& fileName);

// One node chunk with its subtree.
void WriteTreeNode(TBaseVirtualTree& tree, TStream& stream, PVirtualNode node);
// The node chunks of nodes, one after the other.
AnsiString NodeChunks(TBaseVirtualTree& tree, const std::vector<PVirtualNode>& nodes);
// Adds every node chunk in bytes at target (nullptr: the root) with mode,
// in order; added is called for each new top-level node of the chunks and
// answers whether it stays (it deletes the node otherwise). Damaged bytes
// raise EVirtualTreeError; the nodes read before stay.
using TNodeAddedEvent = std::function<bool(PVirtualNode node)>;
void InsertNodeChunks(TBaseVirtualTree& tree, const AnsiString& bytes, PVirtualNode target, TVTNodeAttachMode mode,
                      const TNodeAddedEvent& added);
