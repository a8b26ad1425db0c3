// TVTNodePool: the node records of one tree, from a record pool (a record
// costs its own size rounded to 8 bytes: an expanded folder of millions of
// rows is millions of records). A record comes zero-filled; a block of
// records is given back once none of its records is in use. All records have
// the size of the first one handed out since the pool was last empty: a tree
// changes its record size only while it has no nodes (an assertion fails
// otherwise). One thread at a time.
#pragma once

#include <cstddef>

#include "platform/rtl/RecordPool.h"

class TVTNodePool {
 public:
  void* Allocate(size_t size);
  void Release(void* record) { records_.Release(record); }
  size_t InUse() const { return records_.InUse(); }

 private:
  TRecordPool records_;
};
