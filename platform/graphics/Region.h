// A clipping region: a set of pixels made of rectangles, combined by union,
// intersection and difference. Copies are independent values.
#pragma once

#include <memory>
#include <vector>

#include "platform/graphics/Types.h"

class QRegion;

class TRegion {
 public:
  TRegion();
  explicit TRegion(const TRect& r);
  TRegion(const TRegion& other);
  TRegion& operator=(const TRegion& other);
  ~TRegion();

  void Union(const TRegion& other);
  void Intersect(const TRegion& other);
  void Subtract(const TRegion& other);
  void Offset(int dx, int dy);
  bool Contains(int x, int y) const;
  bool IsEmpty() const;
  TRect BoundingRect() const;
  std::vector<TRect> Rects() const;

  const QRegion& Native() const { return *region_; }
  QRegion& Native() { return *region_; }

 private:
  std::unique_ptr<QRegion> region_;
};
