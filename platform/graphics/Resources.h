// The program's resource table: pictures built into the program (the icons
// and cursors that its modules draw for themselves), registered under a name
// per module instance and found again by that name (compared without case).
// LoadIcon gives a new icon handle of a named picture, the way icons are
// taken from the program's resources.
#pragma once

#include <memory>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Icon.h"

struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;

// The program's own module.
extern const HINSTANCE HInstance;

class EResNotFound : public Exception {
 public:
  using Exception::Exception;
};

struct TResourcePicture {
  std::shared_ptr<const TBitmap> Picture;  // transparent pixels are see-through
  TPoint HotSpot;                          // for cursors
};

// Registers (or replaces) the named picture of the module.
void RegisterResource(HINSTANCE instance, const AnsiString& name, const TBitmap& picture,
                      TPoint hotSpot = TPoint());
// The named picture; EResNotFound "Resource <name> not found" when there is none.
TResourcePicture FindResourcePicture(HINSTANCE instance, const AnsiString& name);
// A new icon handle holding the named picture; nullptr when there is none.
HICON LoadIcon(HINSTANCE instance, const AnsiString& name);
