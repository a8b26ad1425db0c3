// Process-wide tree services: clipboard format registry, errors, wide text
// routines, check images and the global set-up.
#include "treecontrol/VTUnitServices.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <mutex>

#include "platform/controls/Clipbrd.h"
#include "platform/controls/VisualStyle.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Cursors.h"
#include "treecontrol/VirtualTrees.h"

uint16_t ReferenceClipboardFormat = 0;
bool MmxAvailable = false;

namespace {

std::unique_ptr<TClipboardFormatList> g_formats;
bool g_initialized = false;
std::mutex g_imageLock;

const char* const StandardFormatNames[17] = {
    nullptr, "Plain text", "Windows bitmap", "Windows metafile", "Symbolic link", "Data interchange format",
    "Tiff image", "OEM text", "DIB image", "Palette data", "Pen data", "Riff audio data", "Wav audio data",
    "Unicode text", "Enhanced metafile image", "File name(s)", "Locale descriptor"};

// Adds a format to the list of the trees' clipboard formats (made on first use).
void AddTreeFormat(const AnsiString& description, const AnsiString& treeClass, uint32_t priority,
                   const TFormatEtc& formatEtc) {
  if (!g_formats) g_formats = std::make_unique<TClipboardFormatList>();
  TClipboardFormatEntry entry;
  entry.Description = description;
  entry.TreeClass = treeClass;
  entry.Priority = priority;
  entry.FormatEtc = formatEtc;
  g_formats->AddFormat(std::move(entry));
}

}  // namespace

// ---- Clipboard formats -------------------------------------------------------------------

TClipboardFormatList* ClipboardFormatList() { return g_formats.get(); }

void TClipboardFormatList::AddFormat(TClipboardFormatEntry entry) {
  entries_.push_back(std::move(entry));
  SortByPriority();
}

void TClipboardFormatList::SortByPriority() {
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const TClipboardFormatEntry& a, const TClipboardFormatEntry& b) { return a.Priority < b.Priority; });
}

std::vector<TFormatEtc> TClipboardFormatList::EnumerateTreeFormats(const TBaseVirtualTree& tree,
                                                                   const std::vector<AnsiString>* allowed) const {
  std::vector<TFormatEtc> result;
  for (const TClipboardFormatEntry& entry : entries_) {
    if (!tree.InheritsFromClass(entry.TreeClass)) continue;
    if (allowed && std::find(allowed->begin(), allowed->end(), entry.Description) == allowed->end()) continue;
    result.push_back(entry.FormatEtc);
  }
  return result;
}

AnsiString TClipboardFormatList::FindFormatByName(const AnsiString& description, uint16_t& format) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (SameText(it->Description, description)) {
      format = it->FormatEtc.cfFormat;
      return it->TreeClass;
    }
  return {};
}

uint16_t RegisterTreeClipboardFormat(const AnsiString& description, const AnsiString& treeClass, uint32_t priority,
                                     uint32_t tymed, void* ptd, uint32_t aspect, int32_t lindex) {
  unsigned number = RegisterClipboardFormat(description);
  if (number > 0xFFFF) throw ERangeError("Range check error");
  AddTreeFormat(description, treeClass, priority, {uint16_t(number), ptd, aspect, lindex, tymed});
  return uint16_t(number);
}

uint16_t RegisterTreeClipboardFormat(uint16_t format, const AnsiString& treeClass, uint32_t priority) {
  AnsiString description;
  if (format < 17) {
    if (!StandardFormatNames[format]) return 0;
    description = StandardFormatNames[format];
  } else {
    description = ClipboardFormatName(format);
  }
  TFormatEtc formatEtc;
  formatEtc.cfFormat = format;
  AddTreeFormat(description, treeClass, priority, formatEtc);
  return format;
}

// ---- Errors and small routines --------------------------------------------------------------

void RaiseTreeError(const WideString& message, int code) { throw EVirtualTreeError(WideToUtf8(message), code); }

TBaseVirtualTree* GetTreeOfNode(PVirtualNode node) {
  VTAssert(node != nullptr, "Node must not be nil.");
  PVirtualNode run = node;
  while (run && run->NextSibling != run) run = run->Parent;
  return run ? reinterpret_cast<TBaseVirtualTree*>(run->Parent) : nullptr;
}

TRect NormalizeRect(const TRect& r) {
  return Rect(std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
              std::max(r.Top, r.Bottom));
}

int ScaleRounded(int value, int m, int d) {
  if (d == 0) return value;
  const int64_t product = int64_t(value) * m;
  const int64_t magnitude = (std::llabs(product) + std::llabs(d) / 2) / std::llabs(d);
  const int64_t rounded = (product < 0) != (d < 0) ? -magnitude : magnitude;
  return int(std::clamp<int64_t>(rounded, INT_MIN, INT_MAX));
}

void SortCardinals(std::vector<uint32_t>& values, int l, int r) {
  if (l < 0 || r >= int(values.size()) || l >= r) return;
  std::sort(values.begin() + l, values.begin() + r + 1);
}

void DrawWideText(TCanvas* canvas, const WideString& text, TRect& bounds, unsigned flags, bool adjustRight) {
  int lineHeight = canvas->TextHeight("Wg");
  unsigned lineFlags = DT_SINGLELINE | DT_NOPREFIX | (flags & (DT_RIGHT | DT_CENTER | DT_NOCLIP | DT_RTLREADING));
  bool measure = flags & DT_CALCRECT;
  if (flags & DT_SINGLELINE) {
    TRect r = bounds;
    if (measure) {
      int width = canvas->TextWidth(WideToUtf8(text));
      if (adjustRight) bounds.Right = bounds.Left + width;
      bounds.Bottom = bounds.Top + lineHeight;
    } else {
      canvas->DrawTextW(text, r, lineFlags | (flags & DT_VCENTER));
    }
    return;
  }
  TRect line = Rect(bounds.Left, bounds.Top, bounds.Right, bounds.Top + lineHeight);
  size_t start = 0;
  int widest = 0;
  while (start <= text.size()) {
    size_t end = start;
    while (end < text.size() && text[end] != 0 && text[end] != 10 && text[end] != 13 && text[end] != 0x2028) ++end;
    WideString part = text.substr(start, end - start);
    if (measure) {
      widest = std::max(widest, canvas->TextWidth(WideToUtf8(part)));
    } else {
      if (line.Top >= bounds.Bottom) break;
      TRect r = line;
      canvas->DrawTextW(part, r, lineFlags);
    }
    OffsetRect(line, 0, lineHeight);
    if (end >= text.size() || text[end] == 0) break;
    if (text[end] == 13 || text[end] == 0x2028) ++end;
    if (end < text.size() && text[end] == 10) ++end;
    if (end == text.size()) break;  // a final line break adds no line
    start = end;
  }
  if (measure) {
    if (adjustRight) bounds.Right = bounds.Left + widest;
    bounds.Bottom = line.Top;
  }
}

WideString EllipsizeWideText(TCanvas* canvas, const WideString& text, int width, int ellipsisWidth) {
  if (text.empty() || width <= 0) return {};
  if (ellipsisWidth == 0) ellipsisWidth = canvas->TextWidth("...");
  if (width <= ellipsisWidth) return {};
  int low = 0, high = int(text.size()) - 1;
  while (low < high) {
    int n = (low + high + 1) / 2;
    if (canvas->TextWidth(WideToUtf8(text.substr(0, size_t(n)))) + ellipsisWidth <= width)
      low = n;
    else
      high = n - 1;
  }
  return text.substr(0, size_t(low)) + u"...";
}

TColor ColorToImageListColor(TColor color) {
  if (color == clNone) return TColor(0xFFFFFFFF);
  if (color == clDefault) return TColor(0xFF000000);
  return ColorToRGB(color);
}

bool DetectMmx() {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_cpu_supports("mmx");
#else
  return false;
#endif
}

// The scroll rectangle keeps what stays of the picture; the samples are the
// screen strips the moved picture uncovers, the draws the ones it newly covers.
void ComputeDragRects(int dragWidth, int dragHeight, int deltaX, int deltaY, TRect& clip, TRect& scroll,
                      TRect& firstSample, TRect& secondSample, TRect& firstDraw, TRect& secondDraw) {
  const int w = dragWidth, h = dragHeight, dx = deltaX, dy = deltaY;
  clip = Rect(0, 0, w, h);
  if (dx > 0) {
    firstSample = Bounds(0, 0, dx, h);
    if (dy > 0) {
      scroll = Rect(0, 0, w - dx, h - dy);
      secondSample = Bounds(dx, 0, w - dx, dy);
      firstDraw = Bounds(0, h - dy, w - dx, dy);
      secondDraw = Bounds(w - dx, 0, dx, h);
    } else if (dy < 0) {
      scroll = Rect(0, -dy, w - dx, h);
      secondSample = Bounds(dx, dy + h, w - dx, -dy);
      firstDraw = Bounds(0, 0, w - dx, -dy);
      secondDraw = Bounds(w - dx, 0, dx, h);
    } else {
      scroll = Rect(0, 0, w - dx, h);
      firstDraw = Bounds(w - dx, 0, dx, h);
    }
  } else if (dx == 0) {
    if (dy >= 0) {
      scroll = Rect(0, 0, w, h - dy);
      secondSample = Bounds(0, 0, w, dy);
      secondDraw = Bounds(0, h - dy, w, dy);
    } else {
      scroll = Rect(0, -dy, w, h);
      secondSample = Bounds(0, dy + h, w, -dy);
      secondDraw = Bounds(0, 0, w, -dy);
    }
  } else {
    firstDraw = Bounds(0, 0, -dx, h);
    if (dy > 0) {
      scroll = Rect(-dx, 0, w, h);
      firstSample = Bounds(0, 0, w + dx, dy);
      secondSample = Bounds(w + dx, 0, -dx, h);
      secondDraw = Bounds(-dx, h - dy, w + dx, dy);
    } else if (dy < 0) {
      scroll = Rect(-dx, -dy, w, h);
      firstSample = Bounds(0, dy + h, w + dx, -dy);
      secondSample = Bounds(w + dx, 0, -dx, h);
      secondDraw = Bounds(-dx, 0, w + dx, -dy);
    } else {
      scroll = Rect(-dx, 0, w, h);
      firstSample = Bounds(w + dx, 0, -dx, h);
    }
  }
}

// ---- Images and cursors ------------------------------------------------------------------
// Every picture of the unit is drawn here, as the strips a resource would hold.

namespace {

// Colours of the strips that colour mapping replaces by the window, button
// face and button shadow colours.
constexpr TColor StripWhite = RGB(255, 255, 255), StripSilver = RGB(192, 192, 192), StripGrey = RGB(128, 128, 128);
constexpr TColor StripTransparent = clFuchsia;
constexpr int StripSize = 16;
constexpr int CheckImageCount = 25;

struct TCheckLook {
  TColor Frame, Fill, HotFill, PressedFill, Mark;
  bool Tick;
};

TCheckLook LookOf(const AnsiString& name) {
  if (name == "VT_CHECK_DARK") return {clBlack, StripWhite, RGB(255, 240, 200), StripSilver, clBlack, false};
  if (name == "VT_TICK_LIGHT") return {StripGrey, StripWhite, RGB(255, 240, 200), StripSilver, RGB(0, 80, 160), true};
  if (name == "VT_TICK_DARK") return {clBlack, StripWhite, RGB(255, 240, 200), StripSilver, clBlack, true};
  if (name == "VT_FLAT") return {StripGrey, StripWhite, StripWhite, StripSilver, clBlack, false};
  if (name == "VT_XP") return {RGB(28, 81, 128), RGB(244, 244, 240), RGB(255, 240, 200), RGB(220, 220, 210),
                               RGB(33, 161, 33), true};
  return {StripGrey, StripWhite, RGB(255, 240, 200), StripSilver, RGB(0, 80, 160), false};
}

// Image index of a check strip: 0 blank; 1 to 4 radio button unchecked
// (normal, hot, pressed, disabled), 5 to 8 checked; 9 to 12 check box
// unchecked, 13 to 16 checked, 17 to 20 mixed; 21 to 24 push button.
void DrawCheckImage(TCanvas* c, int left, const TCheckLook& look, int index) {
  if (index == 0) return;
  const int variant = (index - 1) % 4;
  const bool radio = index <= 8, button = index >= 21;
  const int mark = radio ? (index >= 5 ? 1 : 0) : button ? 0 : (index - 9) / 4;
  const TRect box = Rect(left + 2, 2, left + 15, 15);
  c->Pen().SetColor(variant == 3 ? StripGrey : look.Frame);
  c->Brush().SetColor(variant == 1 ? look.HotFill : variant == 2 ? look.PressedFill : variant == 3 ? StripSilver : look.Fill);
  if (button) {
    c->Brush().SetColor(variant == 1 ? look.HotFill : StripSilver);
    c->FillRect(box);
    TRect edge = box;
    DrawEdge(c, edge, variant == 2 ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    return;
  }
  if (radio)
    c->Ellipse(box.Left, box.Top, box.Right, box.Bottom);
  else
    c->Rectangle(box);
  const TColor markColor = variant == 3 ? StripGrey : look.Mark;
  if (mark == 1 && radio) {
    c->Brush().SetColor(markColor);
    c->Pen().SetColor(markColor);
    c->Ellipse(left + 6, 6, left + 11, 11);
  } else if (mark == 1) {
    c->Pen().SetColor(markColor);
    c->Pen().SetWidth(2);
    if (look.Tick) {
      c->Polyline({Point(left + 5, 8), Point(left + 7, 11), Point(left + 12, 5)});
    } else {
      c->Polyline({Point(left + 5, 5), Point(left + 11, 11)});
      c->Polyline({Point(left + 11, 5), Point(left + 5, 11)});
    }
    c->Pen().SetWidth(1);
  } else if (mark == 2) {
    c->Brush().SetColor(markColor);
    c->FillRect(Rect(left + 5, 5, left + 12, 12));
  }
}

// The header's hot bar: left piece, middle piece, right piece, each in the
// bottom three rows of its square.
void DrawUtilityStrip(TCanvas* c) {
  const TColor bar[3] = {RGB(255, 200, 60), RGB(248, 179, 48), RGB(229, 151, 0)};
  for (int piece = 0; piece < 3; ++piece)
    for (int row = 0; row < 3; ++row) {
      const int inset = row == 0 ? 1 : 0;
      const int left = piece * StripSize + (piece == 0 ? inset : 0);
      const int right = (piece + 1) * StripSize - (piece == 2 ? inset : 0);
      c->Brush().SetColor(bar[row]);
      c->FillRect(Rect(left, StripSize - 3 + row, right, StripSize - 2 + row));
    }
}

// The named strip, drawn; false (and an empty bitmap) for an unknown name.
bool LoadTreeResource(const AnsiString& name, TBitmap& strip) {
  static const char* const checkStrips[] = {"VT_CHECK_LIGHT", "VT_CHECK_DARK", "VT_TICK_LIGHT",
                                            "VT_TICK_DARK",   "VT_FLAT",       "VT_XP"};
  const bool check = std::find(std::begin(checkStrips), std::end(checkStrips), name) != std::end(checkStrips);
  if (!check && name != "VT_UTILITIES") {
    strip.SetSize(0, 0);
    return false;
  }
  strip.SetSize((check ? CheckImageCount : 3) * StripSize, StripSize);
  TCanvas* c = strip.Canvas();
  c->Brush().SetStyle(bsSolid);
  c->Brush().SetColor(StripTransparent);
  c->FillRect(Rect(0, 0, strip.Width(), StripSize));
  if (!check) {
    DrawUtilityStrip(c);
    return true;
  }
  const TCheckLook look = LookOf(name);
  for (int index = 0; index < CheckImageCount; ++index) DrawCheckImage(c, index * StripSize, look, index);
  return true;
}

void MapStripColors(TBitmap& strip) {
  TCanvas* c = strip.Canvas();
  const TColor window = ColorToRGB(clWindow), face = ColorToRGB(clBtnFace), shadow = ColorToRGB(clBtnShadow);
  for (int y = 0; y < strip.Height(); ++y)
    for (int x = 0; x < strip.Width(); ++x) {
      const TColor pixel = c->Pixel(x, y);
      if (pixel == StripWhite) c->SetPixel(x, y, window);
      else if (pixel == StripSilver) c->SetPixel(x, y, face);
      else if (pixel == StripGrey) c->SetPixel(x, y, shadow);
    }
}

// The header splitter's cursor: two bars with arrows to the left and right.
void RegisterHeaderSplitCursor() {
  TBitmap picture(32, 32);
  TCanvas* c = picture.Canvas();
  c->Brush().SetColor(StripTransparent);
  c->FillRect(Rect(0, 0, 32, 32));
  c->Brush().SetColor(clBlack);
  c->Pen().SetColor(clWhite);
  c->Rectangle(14, 6, 16, 26);
  c->Rectangle(17, 6, 19, 26);
  c->Polygon({Point(5, 16), Point(11, 11), Point(11, 21)});
  c->Polygon({Point(27, 16), Point(21, 11), Point(21, 21)});
  c->FillRect(Rect(10, 15, 14, 18));
  c->FillRect(Rect(19, 15, 22, 18));
  picture.SetTransparentColor(StripTransparent);
  picture.SetTransparent(true);
  RegisterCursor(HeaderSplitCursor, picture, Point(16, 16));
}

std::vector<std::unique_ptr<TImageList>> g_images;  // by TCheckImageKind, then the utilities
constexpr size_t UtilitiesSlot = ckSystemFlat + 1;

std::unique_ptr<TImageList> StripList(const char* name, bool mapColors) {
  auto list = std::make_unique<TImageList>(nullptr);
  LoadImageStrip(*list, name, mapColors);
  return list;
}

}  // namespace

void LoadImageStrip(TImageList& list, const AnsiString& resourceName, bool mapColors) {
  std::lock_guard<std::mutex> lock(g_imageLock);
  TBitmap strip;
  LoadTreeResource(resourceName, strip);
  VTAssert(strip.Height() >= 1, ("Internal image \"" + resourceName + "\" is missing or corrupt.").c_str());
  if (mapColors) MapStripColors(strip);
  const int size = strip.Height();
  list.Clear();
  list.SetSize(size, size);
  const TColor transparent = strip.Canvas()->Pixel(0, 0);
  TBitmap one(size, size);
  for (int i = 0; i < strip.Width() / size; ++i) {
    one.Canvas()->CopyRect(Rect(0, 0, size, size), *strip.Canvas(), Rect(i * size, 0, (i + 1) * size, size));
    list.AddMasked(&one, transparent);
  }
}

// The style's radio buttons and check boxes on a pure red mask; the push
// buttons come from the flat or the dark check set. Without a visual style
// the whole set is that set.
void BuildSystemCheckImages(std::unique_ptr<TImageList>& list, bool flat) {
  const int width = 13 + 3, height = 13 + 3;
  list = std::make_unique<TImageList>(nullptr);
  list->SetSize(width, height);
  const TColor mask = RGB(255, 0, 0);
  const TImageList& own = *g_images[flat ? ckFlat : ckDarkCheck];
  TBitmap image(width, height);
  TCanvas* c = image.Canvas();
  for (int index = 0; index < CheckImageCount; ++index) {
    c->Brush().SetStyle(bsSolid);
    c->Brush().SetColor(mask);
    c->FillRect(Rect(0, 0, width, height));
    const int i = index - 1;
    if (index >= 21 || (index > 0 && !VisualStyleAvailable())) {
      own.Draw(c, (width - own.Width()) / 2, (height - own.Height()) / 2, index);
    } else if (index > 0) {
      const unsigned variants[4] = {ssNormal, ssHot, ssPressed, ssDisabled};
      unsigned state = flat && i % 4 != 3 ? ssNormal : variants[i % 4];
      if ((i >= 4 && i <= 7) || i >= 12) state |= i >= 16 ? ssMixed : ssChecked;
      const TRect box = Rect(1, 2, width - 2, height - 1);
      c->Brush().SetColor(clWindow);
      c->FillRect(box);
      DrawStyledElement(c, i < 8 ? seRadioButton : seCheckBox, state, box);
    }
    list->AddMasked(&image, mask);
  }
}

TImageList* SharedCheckImages(int kind) {
  if (kind == ckCustom || kind < 0 || size_t(kind) >= UtilitiesSlot || size_t(kind) >= g_images.size()) return nullptr;
  return g_images[size_t(kind)].get();
}

TImageList* UtilityImages() { return g_images.size() > UtilitiesSlot ? g_images[UtilitiesSlot].get() : nullptr; }

// ---- Set-up --------------------------------------------------------------------------------------

bool TreeGlobalsInitialized() { return g_initialized; }

void InitializeTreeGlobals() {
  g_initialized = true;
  MmxAvailable = DetectMmx();
  ReferenceClipboardFormat = uint16_t(RegisterClipboardFormat("Virtual Tree Reference"));
  g_images.clear();
  g_images.resize(UtilitiesSlot + 1);
  g_images[ckLightCheck] = StripList("VT_CHECK_LIGHT", true);
  g_images[ckDarkCheck] = StripList("VT_CHECK_DARK", true);
  g_images[ckLightTick] = StripList("VT_TICK_LIGHT", true);
  g_images[ckDarkTick] = StripList("VT_TICK_DARK", true);
  g_images[ckFlat] = StripList("VT_FLAT", true);
  g_images[ckXP] = StripList("VT_XP", false);
  g_images[UtilitiesSlot] = StripList("VT_UTILITIES", true);
  BuildSystemCheckImages(g_images[ckSystem], false);
  BuildSystemCheckImages(g_images[ckSystemFlat], true);
  RegisterHeaderSplitCursor();
  RegisterTreeClipboardFormat("Virtual Tree Data", "TBaseVirtualTree", 50);
  RegisterTreeClipboardFormat("HTML Format", "TCustomVirtualStringTree", 80);
  RegisterTreeClipboardFormat("Rich Text Format Without Objects", "TCustomVirtualStringTree", 84);
  RegisterTreeClipboardFormat("Rich Text Format", "TCustomVirtualStringTree", 85);
  RegisterTreeClipboardFormat("CSV", "TCustomVirtualStringTree", 90);
  RegisterTreeClipboardFormat(uint16_t(1), "TCustomVirtualStringTree", 100);
  RegisterTreeClipboardFormat(uint16_t(13), "TCustomVirtualStringTree", 95);
}

void FinalizeTreeGlobals() {
  g_images.clear();
  g_formats.reset();
  g_initialized = false;
}
