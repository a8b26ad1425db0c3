#include "imaging/IcoList.h"

#include <algorithm>

#include "imaging/ByteReader.h"
#include "imaging/IconFile.h"
#include "platform/controls/Clipbrd.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Cursors.h"

unsigned IconClipboardFormat = 0;

TIcon* TIconList::Get(int index) const {
  CheckIndex(index, Count() - 1);
  return icons_[size_t(index)].get();
}

void TIconList::Put(int index, const TIcon* icon) {
  CheckIndex(index, Count() - 1);
  TIcon* existing = icons_[size_t(index)].get();
  if (existing && icon) {
    // The icon keeps its identity; its change event notifies the list.
    AssignIcon(*existing, *icon);
    return;
  }
  std::unique_ptr<TIcon> copy = icon ? CopyIcon(*icon) : nullptr;
  Bind(copy.get());
  icons_[size_t(index)] = std::move(copy);
  Changed();
}

int TIconList::Add(std::unique_ptr<TIcon> icon) {
  Insert(Count(), std::move(icon));
  return Count() - 1;
}

void TIconList::Insert(int index, std::unique_ptr<TIcon> icon) {
  CheckIndex(index, Count());
  Bind(icon.get());
  icons_.insert(icons_.begin() + index, std::move(icon));
  Changed();
}

int TIconList::AddHandle(HICON handle) {
  auto icon = std::make_unique<TIcon>();
  icon->SetHandle(handle);
  return Add(std::move(icon));
}

void TIconList::InsertResource(int index, HINSTANCE instance, const AnsiString& resourceName) {
  const HICON handle = LoadIcon(instance, resourceName);
  if (!handle) throw EResNotFound("Resource " + resourceName + " not found");
  auto icon = std::make_unique<TIcon>();
  icon->SetHandle(handle);
  Insert(index, std::move(icon));
}

void TIconList::Delete(int index) {
  CheckIndex(index, Count() - 1);
  icons_.erase(icons_.begin() + index);
  Changed();
}

void TIconList::Clear() {
  icons_.clear();
  Changed();
}

void TIconList::Exchange(int index1, int index2) {
  CheckIndex(index1, Count() - 1);
  CheckIndex(index2, Count() - 1);
  std::swap(icons_[size_t(index1)], icons_[size_t(index2)]);
  Changed();
}

void TIconList::Move(int curIndex, int newIndex) {
  CheckIndex(curIndex, Count() - 1);
  CheckIndex(newIndex, Count() - 1);
  if (curIndex == newIndex) return;
  std::unique_ptr<TIcon> icon = std::move(icons_[size_t(curIndex)]);
  icons_.erase(icons_.begin() + curIndex);
  icons_.insert(icons_.begin() + newIndex, std::move(icon));
  Changed();
}

int TIconList::IndexOf(const TIcon* icon) const {
  for (size_t i = 0; i < icons_.size(); ++i)
    if (icons_[i].get() == icon) return int(i);
  return -1;
}

void TIconList::Assign(const TIconList& source) {
  if (&source == this) return;
  Update([&] {
    Clear();
    for (const auto& icon : source.icons_) Add(icon ? CopyIcon(*icon) : nullptr);
  });
}

void TIconList::Assign(const TIcon& source) {
  std::unique_ptr<TIcon> copy = CopyIcon(source);  // before clearing: the source may be an entry
  Update([&] {
    Clear();
    Add(std::move(copy));
  });
}

void TIconList::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) Changed();
}

void TIconList::LoadFromStream(TStream& stream) {
  AnsiString bytes = ReadRestOfStream(stream);
  TByteReader r(bytes);
  const uint32_t count = r.DWord();
  // Every entry needs at least its 4-byte size, so the count is bounded by the data.
  if (count > r.Remaining() / 4) RaiseStreamReadError();
  Update([&] {
    Clear();
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t size = r.DWord();
      Add(size == 0 ? nullptr : ReadIconFile(r.Bytes(size)).Icon);
    }
  });
  ReturnUnread(stream, r);
}

void TIconList::SaveToStream(TStream& stream) const {
  AnsiString out;
  PutDWord(out, uint32_t(icons_.size()));
  for (const auto& icon : icons_) {
    AnsiString file = icon ? IconToIconFile(*icon) : AnsiString();
    PutDWord(out, uint32_t(file.size()));
    out += file;
  }
  WriteBytes(stream, out);
}

void TIconList::DefineProperties(TFiler& filer) {
  auto streamForm = [](const TIconList& list) {
    TStringStream out;
    list.SaveToStream(out);
    return out.DataString();
  };
  const auto* ancestor = dynamic_cast<const TIconList*>(filer.Ancestor());
  const bool hasData = ancestor ? streamForm(*this) != streamForm(*ancestor) : Count() > 0;
  filer.DefineBinaryProperty(
      "Icons", [this](TStream& stream) { LoadFromStream(stream); },
      [this](TStream& stream) { SaveToStream(stream); }, hasData);
}

void TIconList::Changed() {
  if (updateCount_ == 0 && OnChange) OnChange(this);
}

void TIconList::CheckIndex(int index, int limit) const {
  if (index < 0 || index > limit)
    throw EListError(Format("List index out of bounds (%d)", index));
}

void TIconList::Bind(TIcon* icon) {
  if (icon) icon->OnChange = [this](TObject*) { Changed(); };
}

namespace {

// A 16 x 16 hand drawn with the canvas: an outlined palm with a raised index
// finger, or with all fingers closed for the dragging hand. White is see-through.
std::unique_ptr<TBitmap> DrawHandCursor(bool closed) {
  auto bitmap = std::make_unique<TBitmap>(16, 16);
  TCanvas* c = bitmap->Canvas();
  c->Brush().SetColor(clWhite);
  c->FillRect(Rect(0, 0, 16, 16));
  c->Pen().SetColor(clBlack);
  c->Brush().SetColor(clSilver);
  if (!closed) c->Rectangle(5, 0, 8, 8);
  c->Rectangle(3, closed ? 5 : 7, 13, 15);
  c->Brush().SetColor(clWhite);
  bitmap->SetTransparent(true);
  bitmap->SetTransparentColor(clWhite);
  return bitmap;
}

}  // namespace

void RegisterIconFormats() {
  static bool done = false;
  if (done) return;
  done = true;
  IconClipboardFormat = RegisterClipboardFormat("Harvella Icon");
  TPicture::RegisterClipboardFormat(IconClipboardFormat, [] { return std::make_unique<TIcon>(); });
  RegisterResource(HInstance, kHandCursorResource, *DrawHandCursor(false), Point(6, 0));
  RegisterResource(HInstance, kDragCursorResource, *DrawHandCursor(true), Point(7, 6));
  for (auto [id, name] : {std::pair(crHand, kHandCursorResource), std::pair(crDragHand, kDragCursorResource)}) {
    const TResourcePicture cursor = FindResourcePicture(HInstance, name);
    RegisterCursor(id, *cursor.Picture, cursor.HotSpot);
  }
}
