#include "platform/graphics/Region.h"

#include <QRegion>

namespace {
QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }
}  // namespace

TRegion::TRegion() : region_(std::make_unique<QRegion>()) {}
TRegion::TRegion(const TRect& r)
    : region_(std::make_unique<QRegion>(IsRectEmpty(r) ? QRegion() : QRegion(ToQRect(r)))) {}
TRegion::TRegion(const TRegion& other) : region_(std::make_unique<QRegion>(*other.region_)) {}
TRegion& TRegion::operator=(const TRegion& other) {
  *region_ = *other.region_;
  return *this;
}
TRegion::~TRegion() = default;

void TRegion::Union(const TRegion& other) { *region_ = region_->united(*other.region_); }
void TRegion::Intersect(const TRegion& other) { *region_ = region_->intersected(*other.region_); }
void TRegion::Subtract(const TRegion& other) { *region_ = region_->subtracted(*other.region_); }
void TRegion::Offset(int dx, int dy) { region_->translate(dx, dy); }
bool TRegion::Contains(int x, int y) const { return region_->contains(QPoint(x, y)); }
bool TRegion::IsEmpty() const { return region_->isEmpty(); }

TRect TRegion::BoundingRect() const {
  QRect b = region_->boundingRect();
  return Bounds(b.x(), b.y(), b.width(), b.height());
}

std::vector<TRect> TRegion::Rects() const {
  std::vector<TRect> out;
  for (const QRect& r : *region_) out.push_back(Bounds(r.x(), r.y(), r.width(), r.height()));
  return out;
}
