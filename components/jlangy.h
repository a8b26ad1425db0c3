// TjLangy: a non-visual component that translates a form through a language
// file, an ini file with one section per form (the form's class name in
// upper case).
//
// Keys: "Self.Caption" for the form's caption; Component.Caption / .Hint /
// .Text for a component's string property of that name, spelled as the
// component publishes it (written only when not empty, a caption "-" of a
// menu separator left out; read without regard to case);
// Component.Property.N for line N (from 0) of a string-list property, empty
// lines left out; Component.Property.N.ItemProperty for a string property of
// item N of a collection property. Component is the component's Name, or its
// class name when it has none. Only components the form owns are visited.
//
// A line break in a value (CR LF, CR or LF) is written as "~~"; on reading,
// "~~" in any value becomes CR LF. LoadLanguage sets a string property only
// when it is not empty in the form, never a component's Name, replaces list
// lines and collection items only within their count (a combo box keeps its
// selected entry) and ignores every line it cannot place. A missing file is
// created empty and changes nothing.
#pragma once

#include "platform/controls/Forms.h"
#include "platform/rtl/Component.h"

class TjLangy : public TComponent {
public:
  explicit TjLangy(TComponent* AOwner);
  AnsiString ClassName() const override { return "TjLangy"; }

  // Writes the form's section key by key, with one durable write of the
  // file; other sections and other keys of the section stay. A file that
  // cannot be written raises an exception.
  void SaveLanguage(TForm* Form, const AnsiString& FileName);
  // Applies the form's section; a string list changed by many lines (a
  // memo's) takes them in one update. Loading and saving take time in
  // proportion to the file.
  void LoadLanguage(TForm* Form, const AnsiString& FileName);
};

// "~~" for every line break, and back (to CR LF).
AnsiString EncodeLanguageValue(const AnsiString& Value);
AnsiString DecodeLanguageValue(const AnsiString& Value);
