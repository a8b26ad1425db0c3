// Process-wide tree services: clipboard format registry, errors, wide text
// routines, check images and the global set-up.
#include "treecontrol/VTUnitServices.h"

#include <algorithm>
#include <mutex>

#include "platform/controls/Clipbrd.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Cursors.h"
#include "treecontrol/VirtualTrees.h"

uint16_t ReferenceClipboardFormat = 0;
bool MmxAvailable = false;

namespace {

std::unique_ptr<TClipboardFormatList> g_formats;
bool g_initialized = false;
std::vector<std::unique_ptr<TImageList>> g_checkImages;
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

// ---- Check images ------------------------------------------------------------------------------

namespace {

struct TCheckPalette {
  TColor Frame, Fill, Mark;
};

TCheckPalette PaletteOf(int kind, bool disabled, bool hot, bool pressed) {
  TCheckPalette p{RGB(28, 81, 128), clWhite, RGB(33, 161, 33)};
  if (kind == ckDarkCheck || kind == ckDarkTick) p = {clBlack, RGB(240, 240, 240), clBlack};
  if (kind == ckFlat || kind == ckSystemFlat) p = {clGray, clWhite, clBlack};
  if (kind == ckLightCheck || kind == ckLightTick) p.Mark = RGB(0, 80, 160);
  if (hot) p.Fill = RGB(255, 240, 200);
  if (pressed) p.Fill = RGB(210, 210, 210);
  if (disabled) p = {clGray, RGB(236, 236, 236), clGray};
  return p;
}

// Draws one 16 x 16 check image: shape 0 box, 1 radio, 2 push button;
// mark 0 none, 1 checked, 2 mixed.
void DrawCheckImage(TBitmap& bm, int kind, int shape, int mark, int variant) {
  TCanvas* c = bm.Canvas();
  c->Brush().SetColor(clFuchsia);
  c->FillRect(Rect(0, 0, 16, 16));
  TCheckPalette p = PaletteOf(kind, variant == 3, variant == 1, variant == 2);
  c->Pen().SetColor(p.Frame);
  c->Brush().SetColor(p.Fill);
  if (shape == 1)
    c->Ellipse(2, 2, 15, 15);
  else
    c->Rectangle(2, 2, 15, 15);
  if (mark == 1) {
    c->Pen().SetColor(p.Mark);
    c->Pen().SetWidth(2);
    if (shape == 1) {
      c->Brush().SetColor(p.Mark);
      c->Ellipse(6, 6, 11, 11);
    } else if (kind == ckLightTick || kind == ckDarkTick) {
      c->Polyline({Point(5, 8), Point(7, 11), Point(12, 5)});
    } else {
      c->Polyline({Point(5, 5), Point(11, 11)});
      c->Polyline({Point(11, 5), Point(5, 11)});
    }
    c->Pen().SetWidth(1);
  } else if (mark == 2) {
    c->Brush().SetColor(p.Mark);
    c->FillRect(Rect(5, 5, 12, 12));
  }
}

std::unique_ptr<TImageList> BuildCheckImages(int kind) {
  auto list = std::make_unique<TImageList>(nullptr);
  list->SetSize(16, 16);
  TBitmap bm(16, 16);
  // Layout: for box unchecked, checked, mixed and radio unchecked, checked:
  // four variants each (normal, hot, pressed, disabled); then button up, down.
  const int shapes[5][2] = {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}};
  for (const auto& shape : shapes)
    for (int variant = 0; variant < 4; ++variant) {
      DrawCheckImage(bm, kind, shape[0], shape[1], variant);
      list->AddMasked(&bm, clFuchsia);
    }
  for (int variant = 0; variant < 2; ++variant) {
    DrawCheckImage(bm, kind, 2, 0, variant * 2);
    list->AddMasked(&bm, clFuchsia);
  }
  return list;
}

}  // namespace

TImageList* SharedCheckImages(int kind) {
  if (kind == ckCustom || kind < 0 || kind >= int(g_checkImages.size())) return nullptr;
  std::lock_guard<std::mutex> lock(g_imageLock);
  if (!g_checkImages[size_t(kind)]) g_checkImages[size_t(kind)] = BuildCheckImages(kind);
  return g_checkImages[size_t(kind)].get();
}

// ---- Set-up --------------------------------------------------------------------------------------

bool TreeGlobalsInitialized() { return g_initialized; }

void InitializeTreeGlobals() {
  g_initialized = true;
  MmxAvailable = DetectMmx();
  ReferenceClipboardFormat = uint16_t(RegisterClipboardFormat("Virtual Tree Reference"));
  g_checkImages.clear();
  g_checkImages.resize(ckSystemFlat + 1);
  RegisterTreeClipboardFormat("Virtual Tree Data", "TBaseVirtualTree", 50);
  RegisterTreeClipboardFormat("HTML Format", "TCustomVirtualStringTree", 80);
  RegisterTreeClipboardFormat("Rich Text Format Without Objects", "TCustomVirtualStringTree", 84);
  RegisterTreeClipboardFormat("Rich Text Format", "TCustomVirtualStringTree", 85);
  RegisterTreeClipboardFormat("CSV", "TCustomVirtualStringTree", 90);
  RegisterTreeClipboardFormat(uint16_t(1), "TCustomVirtualStringTree", 100);
  RegisterTreeClipboardFormat(uint16_t(13), "TCustomVirtualStringTree", 95);
}

void FinalizeTreeGlobals() {
  g_checkImages.clear();
  g_formats.reset();
  g_initialized = false;
}
