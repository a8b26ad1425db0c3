// TLanguageFileSection: one section of a language file, set key by key in
// memory and written with one durable write, so that saving a form takes
// time in proportion to the file, whatever the number of its texts.
//
// The file reads and writes as the ini access does: sections and keys are
// found without regard to case, keys and values are trimmed (a line break
// in either becomes a blank), a key keeps the spelling it has in the file,
// new keys follow the section's last line that is not blank, a new section
// goes at the end after a blank line; the order, the comments and the other
// sections stay; lines end with CR LF. A missing file is an empty one.
#pragma once

#include <unordered_map>
#include <vector>

#include "platform/rtl/SysUtils.h"

class TLanguageFileSection {
 public:
  TLanguageFileSection(const AnsiString& fileName, const AnsiString& section);

  void Write(const AnsiString& key, const AnsiString& value);
  // Writes the file once when some key changed; EIniFileException when it
  // cannot be written.
  void Save();

 private:
  // Where the keys the file does not have yet go: after the section's last
  // line that is not blank (the end of the file for a new section).
  size_t InsertionPoint() const;

  AnsiString fileName_;
  AnsiString section_;
  std::vector<AnsiString> lines_;
  int header_ = -1;  // the section's header line, -1 when the file has none
  std::unordered_map<AnsiString, size_t> keys_;     // upper-case key -> its line
  std::vector<AnsiString> added_;                    // lines of new keys, in order
  std::unordered_map<AnsiString, size_t> addedKeys_;  // upper-case key -> its new line
  bool changed_ = false;
};
