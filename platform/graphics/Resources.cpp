#include "platform/graphics/Resources.h"

#include <map>
#include <mutex>
#include <utility>

const HINSTANCE HInstance = reinterpret_cast<HINSTANCE>(uintptr_t(0x400000));

namespace {

using TResourceKey = std::pair<HINSTANCE, AnsiString>;  // module, lower-case name

struct TResourceTable {
  std::mutex lock;
  std::map<TResourceKey, TResourcePicture> pictures;
};

TResourceTable& Table() {
  static TResourceTable table;
  return table;
}

const TResourcePicture* Find(TResourceTable& table, HINSTANCE instance, const AnsiString& name) {
  auto it = table.pictures.find({instance, LowerCase(name)});
  return it == table.pictures.end() ? nullptr : &it->second;
}

}  // namespace

void RegisterResource(HINSTANCE instance, const AnsiString& name, const TBitmap& picture, TPoint hotSpot) {
  auto copy = std::make_shared<TBitmap>();
  copy->Assign(picture);
  TResourceTable& table = Table();
  std::lock_guard guard(table.lock);
  table.pictures[{instance, LowerCase(name)}] = TResourcePicture{std::move(copy), hotSpot};
}

TResourcePicture FindResourcePicture(HINSTANCE instance, const AnsiString& name) {
  TResourceTable& table = Table();
  std::lock_guard guard(table.lock);
  const TResourcePicture* found = Find(table, instance, name);
  if (!found) throw EResNotFound("Resource " + name + " not found");
  return *found;
}

HICON LoadIcon(HINSTANCE instance, const AnsiString& name) {
  std::shared_ptr<const TBitmap> picture;
  {
    TResourceTable& table = Table();
    std::lock_guard guard(table.lock);
    const TResourcePicture* found = Find(table, instance, name);
    if (!found) return nullptr;
    picture = found->Picture;
  }
  TIcon icon;
  icon.AssignBitmap(*picture);
  return CreateIconHandle(icon);
}
