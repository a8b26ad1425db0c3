// Window message numbers, virtual-key codes, mouse-key flags, scroll-bar
// codes and the small structures that travel with the messages that the
// controls deliver to their window procedures. The values are the usual ones.
#pragma once

#include <cstdint>

#include "platform/graphics/Types.h"
#include "platform/messages/Messages.h"

constexpr UINT WM_CREATE = 0x0001, WM_MOVE = 0x0003, WM_SIZE = 0x0005, WM_ACTIVATE = 0x0006,
               WM_SETFOCUS = 0x0007, WM_KILLFOCUS = 0x0008, WM_ENABLE = 0x000A,
               WM_SETREDRAW = 0x000B, WM_SETTEXT = 0x000C, WM_GETTEXT = 0x000D,
               WM_PAINT = 0x000F, WM_ERASEBKGND = 0x0014, WM_SHOWWINDOW = 0x0018,
               WM_CANCELMODE = 0x001F, WM_SETCURSOR = 0x0020, WM_GETDLGCODE = 0x0087,
               WM_NCCALCSIZE = 0x0083, WM_NCHITTEST = 0x0084, WM_NCPAINT = 0x0085,
               WM_NCDESTROY = 0x0082, WM_NCMOUSEMOVE = 0x00A0, WM_NCLBUTTONDOWN = 0x00A1,
               WM_NCLBUTTONUP = 0x00A2, WM_NCLBUTTONDBLCLK = 0x00A3, WM_NCRBUTTONDOWN = 0x00A4,
               WM_NCRBUTTONUP = 0x00A5, WM_NCRBUTTONDBLCLK = 0x00A6, WM_NCMBUTTONDOWN = 0x00A7,
               WM_NCMBUTTONUP = 0x00A8, WM_NCMBUTTONDBLCLK = 0x00A9, WM_KEYDOWN = 0x0100,
               WM_KEYUP = 0x0101, WM_CHAR = 0x0102, WM_SYSKEYDOWN = 0x0104,
               WM_SYSKEYUP = 0x0105, WM_SYSCHAR = 0x0106, WM_COMMAND = 0x0111,
               WM_HSCROLL = 0x0114, WM_VSCROLL = 0x0115, WM_MOUSEMOVE = 0x0200,
               WM_LBUTTONDOWN = 0x0201, WM_LBUTTONUP = 0x0202, WM_LBUTTONDBLCLK = 0x0203,
               WM_RBUTTONDOWN = 0x0204, WM_RBUTTONUP = 0x0205, WM_RBUTTONDBLCLK = 0x0206,
               WM_MBUTTONDOWN = 0x0207, WM_MBUTTONUP = 0x0208, WM_MBUTTONDBLCLK = 0x0209,
               WM_MOUSEWHEEL = 0x020A, WM_CAPTURECHANGED = 0x0215, WM_MOUSELEAVE = 0x02A3,
               WM_CONTEXTMENU = 0x007B, WM_COPY = 0x0301, WM_CUT = 0x0300, WM_PASTE = 0x0302,
               WM_PRINTCLIENT = 0x0318, WM_THEMECHANGED = 0x031A, WM_SYSCOLORCHANGE = 0x0015;

// Messages of the class library itself.
constexpr UINT CM_BASE = 0xB000, CM_ACTIVATE = CM_BASE + 0, CM_DEACTIVATE = CM_BASE + 1,
               CM_ENABLEDCHANGED = CM_BASE + 3, CM_COLORCHANGED = CM_BASE + 5,
               CM_FONTCHANGED = CM_BASE + 6, CM_DIALOGCHAR = CM_BASE + 7, CM_MOUSEENTER = CM_BASE + 19,
               CM_MOUSELEAVE = CM_BASE + 20, CM_TEXTCHANGED = CM_BASE + 18,
               CM_VISIBLECHANGED = CM_BASE + 22, CM_SHOWHINTCHANGED = CM_BASE + 26,
               CM_SYSCOLORCHANGE = CM_BASE + 36, CM_HINTSHOW = CM_BASE + 48, CM_MOUSEWHEEL = CM_BASE + 67;

constexpr WPARAM MK_LBUTTON = 0x0001, MK_RBUTTON = 0x0002, MK_SHIFT = 0x0004,
                 MK_CONTROL = 0x0008, MK_MBUTTON = 0x0010;

constexpr int VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_MBUTTON = 0x04, VK_BACK = 0x08,
              VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11,
              VK_MENU = 0x12, VK_PAUSE = 0x13, VK_ESCAPE = 0x1B, VK_SPACE = 0x20,
              VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25,
              VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_INSERT = 0x2D,
              VK_DELETE = 0x2E, VK_APPS = 0x5D, VK_NUMPAD0 = 0x60, VK_MULTIPLY = 0x6A, VK_ADD = 0x6B,
              VK_SUBTRACT = 0x6D, VK_DIVIDE = 0x6F, VK_F1 = 0x70, VK_F2 = 0x71, VK_F10 = 0x79,
              VK_F12 = 0x7B, VK_OEM_PLUS = 0xBB, VK_OEM_MINUS = 0xBD, VK_OEM_2 = 0xBF, VK_PACKET = 0xE7;

constexpr int SB_HORZ = 0, SB_VERT = 1, SB_CTL = 2, SB_BOTH = 3;
constexpr int SB_LINEUP = 0, SB_LINELEFT = 0, SB_LINEDOWN = 1, SB_LINERIGHT = 1, SB_PAGEUP = 2,
              SB_PAGELEFT = 2, SB_PAGEDOWN = 3, SB_PAGERIGHT = 3, SB_THUMBPOSITION = 4,
              SB_THUMBTRACK = 5, SB_TOP = 6, SB_LEFT = 6, SB_BOTTOM = 7, SB_RIGHT = 7,
              SB_ENDSCROLL = 8;
constexpr UINT SIF_RANGE = 0x1, SIF_PAGE = 0x2, SIF_POS = 0x4, SIF_DISABLENOSCROLL = 0x8,
               SIF_TRACKPOS = 0x10, SIF_ALL = 0x17;

struct SCROLLINFO {
  UINT cbSize = sizeof(SCROLLINFO);
  UINT fMask = 0;
  int nMin = 0;
  int nMax = 0;
  UINT nPage = 0;
  int nPos = 0;
  int nTrackPos = 0;
};

constexpr LRESULT DLGC_WANTARROWS = 0x1, DLGC_WANTTAB = 0x2, DLGC_WANTALLKEYS = 0x4,
                  DLGC_WANTCHARS = 0x80;
constexpr LRESULT HTERROR = -2, HTTRANSPARENT = -1, HTNOWHERE = 0, HTCLIENT = 1,
                  HTHSCROLL = 6, HTVSCROLL = 7, HTBORDER = 18;

constexpr LPARAM MakeLParam(int low, int high) {
  return LPARAM(uint32_t(uint16_t(low)) | (uint32_t(uint16_t(high)) << 16));
}
constexpr int LoWordSigned(LPARAM v) { return int16_t(uint16_t(v & 0xFFFF)); }
constexpr int HiWordSigned(LPARAM v) { return int16_t(uint16_t((v >> 16) & 0xFFFF)); }
constexpr int LoWord(uintptr_t v) { return int(v & 0xFFFF); }
constexpr int HiWord(uintptr_t v) { return int((v >> 16) & 0xFFFF); }
inline TPoint PointFromLParam(LPARAM v) { return {LoWordSigned(v), HiWordSigned(v)}; }

// Shift state of mouse and key events.
enum TShiftStateBit : uint16_t { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16,
                                 ssMiddle = 32, ssDouble = 64 };
using TShiftState = uint16_t;
enum TMouseButton { mbLeft, mbRight, mbMiddle };
