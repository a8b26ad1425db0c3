#include "platform/graphics/Cursors.h"

#include <QCursor>
#include <QPixmap>
#include <map>

#include "platform/graphics/Bitmap.h"

namespace {

struct CustomCursor {
  QImage image;
  TPoint hotSpot;
};

std::map<TCursor, CustomCursor>& Registry() {
  static std::map<TCursor, CustomCursor> registry;
  return registry;
}

Qt::CursorShape StandardShape(TCursor id) {
  switch (id) {
    case crNone: return Qt::BlankCursor;
    case crCross: return Qt::CrossCursor;
    case crIBeam: return Qt::IBeamCursor;
    case crSizeNESW: return Qt::SizeBDiagCursor;
    case crSizeNS: return Qt::SizeVerCursor;
    case crSizeNWSE: return Qt::SizeFDiagCursor;
    case crSizeWE: return Qt::SizeHorCursor;
    case crUpArrow: return Qt::UpArrowCursor;
    case crHourGlass: case crSQLWait: return Qt::WaitCursor;
    case crDrag: case crMultiDrag: return Qt::DragCopyCursor;
    case crNoDrop: case crNo: return Qt::ForbiddenCursor;
    case crHSplit: return Qt::SplitHCursor;
    case crVSplit: return Qt::SplitVCursor;
    case crAppStart: return Qt::BusyCursor;
    case crHelp: return Qt::WhatsThisCursor;
    case crHandPoint: return Qt::PointingHandCursor;
    case crSizeAll: return Qt::SizeAllCursor;
    default: return Qt::ArrowCursor;
  }
}

}  // namespace

void RegisterCursor(TCursor id, const TBitmap& picture, TPoint hotSpot) {
  Registry()[id] = {picture.Transparent() ? picture.MaskedImage() : picture.Native().copy(), hotSpot};
}

bool IsCursorRegistered(TCursor id) { return Registry().count(id) != 0; }

QCursor NativeCursor(TCursor id) {
  auto it = Registry().find(id);
  if (it != Registry().end())
    return QCursor(QPixmap::fromImage(it->second.image), it->second.hotSpot.X, it->second.hotSpot.Y);
  return QCursor(StandardShape(id));
}
