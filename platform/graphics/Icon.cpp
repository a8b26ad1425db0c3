#include "platform/graphics/Icon.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <map>
#include <mutex>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/QtBridge.h"

namespace {

struct TIconHandles {
  std::mutex lock;
  std::map<HICON, QImage> pictures;
  uintptr_t last = 0;
};

TIconHandles& IconHandles() {
  static TIconHandles handles;
  return handles;
}

}  // namespace

HICON CreateIconHandle(const TIcon& icon) {
  TIconHandles& h = IconHandles();
  std::lock_guard guard(h.lock);
  const auto handle = reinterpret_cast<HICON>(++h.last);
  h.pictures[handle] = icon.Native();
  return handle;
}

bool DestroyIcon(HICON handle) {
  TIconHandles& h = IconHandles();
  std::lock_guard guard(h.lock);
  return h.pictures.erase(handle) > 0;
}

TIcon::TIcon() : image_(std::make_unique<QImage>()) {}
TIcon::~TIcon() { ReleaseHandle(); }

HICON TIcon::Handle() const {
  if (!handle_) handle_ = CreateIconHandle(*this);
  return handle_;
}

void TIcon::SetHandle(HICON handle) {
  if (handle && handle == handle_) return;
  QImage picture;
  {
    TIconHandles& h = IconHandles();
    std::lock_guard guard(h.lock);
    auto it = h.pictures.find(handle);
    if (it != h.pictures.end()) picture = it->second;
  }
  SetNative(picture);
  handle_ = picture.isNull() ? nullptr : handle;
}

void TIcon::ReleaseHandle() {
  if (handle_) DestroyIcon(handle_);
  handle_ = nullptr;
}

int TIcon::Width() const { return image_->width(); }
int TIcon::Height() const { return image_->height(); }

void TIcon::SetNative(const QImage& image) {
  ReleaseHandle();
  *image_ = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  Changed();
}

void TIcon::AssignBitmap(const TBitmap& bitmap) {
  SetNative(bitmap.Transparent() ? bitmap.MaskedImage() : bitmap.Native());
}

void TIcon::Draw(TCanvas& canvas, const TRect& r) const {
  if (Empty() || !canvas.HasImage()) return;
  canvas.DrawNativeImage(r, *image_);
}

void TIcon::LoadFromStream(TStream& stream) {
  const QImage loaded = ReadStreamImage(stream, "Icon");
  SetNative(loaded);
}

void TIcon::SaveToStream(TStream& stream) const {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image_->save(&buffer, "PNG");
  stream.WriteBuffer(bytes.constData(), bytes.size());
}

std::unique_ptr<TGraphic> TIcon::Clone() const {
  auto copy = std::make_unique<TIcon>();
  copy->SetNative(*image_);
  return copy;
}
