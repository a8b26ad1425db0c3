// Freeing a closed site tree aside. A tree of millions of nodes takes
// seconds to free, so the window hands the tree of a project it closes to
// ReleaseSiteTree, which frees it on a thread of its own while the window
// goes on serving its messages.
//
// Contract
// - The tree handed over is reachable from nothing else: no view, worker,
//   cursor, load or save uses it or its nodes any more. ReleaseSiteTree
//   takes it over (nullptr is ignored) and returns at once.
// - WaitForReleasedSiteTrees returns once every tree handed over so far has
//   been freed; the window calls it as it is destroyed, so that the program
//   never ends with a tree half freed.
#pragma once

class TListObj;

void ReleaseSiteTree(TListObj* Tree);
void WaitForReleasedSiteTrees();
