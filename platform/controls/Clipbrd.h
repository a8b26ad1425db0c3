// The clipboard: text, pictures and data of registered formats. Formats
// registered by name get numbers from 0xC000 up; the same name gives the
// same number. Data of registered formats is bytes.
#pragma once

#include "platform/rtl/Classes.h"

class TBitmap;

constexpr unsigned CF_TEXT = 1, CF_BITMAP = 2, CF_UNICODETEXT = 13, CF_HDROP = 15;

unsigned RegisterClipboardFormat(const AnsiString& name);
AnsiString ClipboardFormatName(unsigned format);

class TClipboard : public TObject {
 public:
  AnsiString ClassName() const override { return "TClipboard"; }
  AnsiString AsText() const;
  void SetAsText(const AnsiString& text);
  bool HasFormat(unsigned format) const;
  // Bytes of a registered format (empty when absent).
  AnsiString GetData(unsigned format) const;
  // Puts the bytes on the clipboard, keeping what the current content holds
  // between Open and Close.
  void SetData(unsigned format, const AnsiString& bytes);
  void AssignBitmap(const TBitmap& bitmap);
  bool GetBitmap(TBitmap& bitmap) const;
  void Clear();
  // Changes between Open and Close form one clipboard content.
  void Open();
  void Close();

 private:
  int openCount_ = 0;
};

TClipboard* Clipboard();
