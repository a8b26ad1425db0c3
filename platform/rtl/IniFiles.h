// IniFiles: TIniFile, settings in "[section]" / "key=value" text files with
// profile semantics. Sections and keys are found without regard to case,
// keys and values are trimmed, a missing file or key gives the default.
// Every write goes to disk at once (atomically) and keeps the order, the
// comments and the other lines of the file; lines end with CR LF. Every
// access reads the file, so changes made by others are seen at once.
#pragma once

#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"

#include <vector>

// A write that could not reach the disk.
class EIniFileException : public Exception { public: using Exception::Exception; };

class TIniFile : public TObject {
public:
  explicit TIniFile(const AnsiString& fileName);

  const AnsiString& FileName() const { return fileName_; }

  AnsiString ReadString(const AnsiString& section, const AnsiString& ident,
                        const AnsiString& def);
  void WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value);
  // A value that is not a whole integer gives def.
  int ReadInteger(const AnsiString& section, const AnsiString& ident, int def);
  void WriteInteger(const AnsiString& section, const AnsiString& ident, int value);
  // Any non-zero integer is true; writes "1" or "0".
  bool ReadBool(const AnsiString& section, const AnsiString& ident, bool def);
  void WriteBool(const AnsiString& section, const AnsiString& ident, bool value);

  // The keys of a section, in file order.
  void ReadSection(const AnsiString& section, TStrings& keys);
  void ReadSections(TStrings& sections);
  // "key=value" lines of a section.
  void ReadSectionValues(const AnsiString& section, TStrings& values);
  bool SectionExists(const AnsiString& section);
  bool ValueExists(const AnsiString& section, const AnsiString& ident);
  void EraseSection(const AnsiString& section);
  void DeleteKey(const AnsiString& section, const AnsiString& ident);
  // Writes the file as held in memory (every write already did).
  void UpdateFile();

private:
  struct Line {
    AnsiString text;
    AnsiString name;  // trimmed section name or key
    AnsiString value;  // trimmed value of a key line
    bool isSection = false;
    bool isKey = false;
  };
  void Refresh();
  void Store();
  static Line ParseLine(const AnsiString& text);
  // Index of the section's header line, or -1.
  int FindSection(const AnsiString& section) const;
  // One past the section's last line.
  int SectionEnd(int header) const;
  int FindKey(int header, const AnsiString& ident) const;

  AnsiString fileName_;
  std::vector<Line> lines_;
  AnsiString diskBytes_;  // the file as last read or written
  bool loaded_ = false;
};
