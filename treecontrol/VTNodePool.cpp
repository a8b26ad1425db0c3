#include "treecontrol/VTNodePool.h"

#include "treecontrol/VTTypes.h"

void* TVTNodePool::Allocate(size_t size) {
  VTAssert(records_.Accepts(size), "Node records of one tree must have one size.");
  return records_.Allocate(size);
}
