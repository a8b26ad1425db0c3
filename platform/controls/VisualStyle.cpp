#include "platform/controls/VisualStyle.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOption>

#include "platform/controls/Controls.h"
#include "platform/graphics/QtBridge.h"

namespace {

QStyle* Style() {
  auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
  return application ? QApplication::style() : nullptr;
}

void ApplyState(QStyleOption& option, unsigned state, const TRect& r) {
  option.rect = QRect(0, 0, r.Width(), r.Height());
  option.state = QStyle::State_None;
  if (!(state & ssDisabled)) option.state |= QStyle::State_Enabled;
  if (state & ssHot) option.state |= QStyle::State_MouseOver;
  option.state |= (state & ssPressed) ? QStyle::State_Sunken : QStyle::State_Raised;
  if (state & ssMixed)
    option.state |= QStyle::State_NoChange;
  else
    option.state |= (state & ssChecked) ? QStyle::State_On : QStyle::State_Off;
  if (state & ssExpanded) option.state |= QStyle::State_Open;
}

void Paint(QStyle* style, QPainter& painter, TStyledElement element, unsigned state, const TRect& r) {
  switch (element) {
    case sePushButton: {
      QStyleOptionButton option;
      ApplyState(option, state & ~(ssChecked | ssMixed), r);
      style->drawControl(QStyle::CE_PushButtonBevel, &option, &painter);
      return;
    }
    case seRadioButton:
    case seCheckBox: {
      QStyleOptionButton option;
      ApplyState(option, state, r);
      style->drawPrimitive(element == seRadioButton ? QStyle::PE_IndicatorRadioButton : QStyle::PE_IndicatorCheckBox,
                           &option, &painter);
      return;
    }
    case seHeaderSection:
    case seHeaderEmptyArea:
    case seHeaderSortArrow: {
      QStyleOptionHeader option;
      ApplyState(option, state & ~(ssChecked | ssMixed), r);
      option.state |= QStyle::State_Horizontal;
      option.orientation = Qt::Horizontal;
      option.sortIndicator = (state & ssDescending) ? QStyleOptionHeader::SortDown : QStyleOptionHeader::SortUp;
      if (element == seHeaderSortArrow)
        style->drawPrimitive(QStyle::PE_IndicatorHeaderArrow, &option, &painter);
      else
        style->drawControl(element == seHeaderSection ? QStyle::CE_HeaderSection : QStyle::CE_HeaderEmptyArea,
                           &option, &painter);
      return;
    }
    case seTreeExpandGlyph: {
      QStyleOption option;
      ApplyState(option, state & ~(ssChecked | ssMixed), r);
      option.state |= QStyle::State_Children | QStyle::State_Item;
      style->drawPrimitive(QStyle::PE_IndicatorBranch, &option, &painter);
      return;
    }
    case seEditFrame: {
      QStyleOptionFrame option;
      ApplyState(option, state & ~(ssChecked | ssMixed | ssPressed), r);
      option.state |= QStyle::State_Sunken;
      option.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option);
      option.midLineWidth = 0;
      style->drawPrimitive(QStyle::PE_FrameLineEdit, &option, &painter);
      return;
    }
  }
}

// Sends WM_THEMECHANGED to a control when its own window learns of a new style.
class TStyleChangeWatch : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::StyleChange && watched->isWidgetType()) {
      auto* widget = static_cast<QWidget*>(watched);
      TControl* control = TControl::FromWidget(widget);
      if (control && control->Widget() == widget) control->Perform(WM_THEMECHANGED, 0, 0);
    }
    return false;
  }
};

}  // namespace

bool VisualStyleAvailable() { return Style() != nullptr; }

AnsiString VisualStyleName() {
  QStyle* style = Style();
  return style ? FromQString(style->name()) : AnsiString();
}

bool SetVisualStyle(const AnsiString& name) {
  if (!Style()) return false;
  QStyle* style = QStyleFactory::create(ToQString(name));
  if (!style) return false;
  QApplication::setStyle(style);
  return true;
}

// Only the part of r the canvas can show is rendered, so an element of any
// size costs no more than the canvas.
void DrawStyledElement(TCanvas* canvas, TStyledElement element, unsigned state, const TRect& r) {
  QStyle* style = Style();
  TRect visible;
  if (!canvas || !style || r.Width() <= 0 || r.Height() <= 0 || !IntersectRect(visible, r, canvas->ClipRect())) return;
  QImage picture(visible.Width(), visible.Height(), QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::transparent);
  {
    QPainter painter(&picture);
    painter.translate(r.Left - visible.Left, r.Top - visible.Top);
    Paint(style, painter, element, state, r);
  }
  canvas->DrawNativeImage(visible, picture);
}

void WatchVisualStyleChanges() {
  static TStyleChangeWatch* watch = nullptr;
  QCoreApplication* application = QCoreApplication::instance();
  if (watch || !application) return;
  watch = new TStyleChangeWatch;
  watch->setParent(application);
  application->installEventFilter(watch);
}
