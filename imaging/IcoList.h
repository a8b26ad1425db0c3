// TIconList: an owned list of icons (entries may be empty) with change
// notification and a binary stream form: a 32-bit count, then per entry a
// 32-bit size and that many bytes of an icon file (size 0 for an empty
// entry). A change of any icon in the list fires the list's OnChange; update
// brackets (BeginUpdate/EndUpdate, counted) hold it back until the outermost
// EndUpdate, which fires once. Form files keep the list as the binary
// property "Icons" in the stream form, written when the list differs from
// the ancestor's (without an ancestor: when it is not empty). Also the
// start-up registrations of the icon clipboard format and of the two hand
// cursors, which the library draws into the program's resources.
#pragma once

#include <memory>
#include <vector>

#include "platform/graphics/Icon.h"
#include "platform/graphics/Resources.h"
#include "platform/rtl/Persistent.h"

class TIconList : public TPersistent {
 public:
  TIconList() = default;
  TIconList(const TIconList&) = delete;
  TIconList& operator=(const TIconList&) = delete;
  AnsiString ClassName() const override { return "TIconList"; }

  int Count() const { return int(icons_.size()); }
  // The icon at index, nullptr for an empty entry; EListError outside the list.
  TIcon* Get(int index) const;
  // Gives the entry the picture of icon, inside the entry's own icon when it
  // has one (that icon stays the same object); nullptr makes an empty entry.
  void Put(int index, const TIcon* icon);
  // Add and Insert take the icon (nullptr for an empty entry); Add returns its index.
  int Add(std::unique_ptr<TIcon> icon);
  void Insert(int index, std::unique_ptr<TIcon> icon);
  // Adds a new icon that takes over the icon handle; returns its index.
  int AddHandle(HICON handle);
  // Inserts a new icon loaded from the module's named icon resource;
  // EResNotFound when there is none.
  void InsertResource(int index, HINSTANCE instance, const AnsiString& resourceName);
  void Delete(int index);
  void Clear();
  void Exchange(int index1, int index2);
  void Move(int curIndex, int newIndex);
  int IndexOf(const TIcon* icon) const;

  void Assign(const TIconList& source);
  void Assign(const TIcon& source);

  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  // Runs change inside an update bracket that is closed even when it throws.
  template <class F>
  void Update(F&& change) {
    BeginUpdate();
    try {
      change();
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
  }

  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;
  void DefineProperties(TFiler& filer) override;

  TNotifyEvent OnChange;

 protected:
  virtual void Changed();

 private:
  void CheckIndex(int index, int limit) const;
  void Bind(TIcon* icon);

  std::vector<std::unique_ptr<TIcon>> icons_;
  int updateCount_ = 0;
};

// Screen cursor numbers of the library's hand cursors, and the names of
// their pictures in the program's resources.
constexpr int crHand = 14000;
constexpr int crDragHand = 14001;
inline constexpr const char* kHandCursorResource = "RX_HANDCUR";
inline constexpr const char* kDragCursorResource = "RX_DRAGCUR";

// The clipboard format of icons (0 until RegisterIconFormats has run).
extern unsigned IconClipboardFormat;

// Registers the icon clipboard format with the picture system and puts the
// two hand cursors into the cursor table. Runs once; later calls do nothing.
void RegisterIconFormats();
