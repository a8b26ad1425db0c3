// The options form's message texts (its `ml` list), what the settings file
// can hold, and the category file format of the file-type size grid.
//
// Category file: one line per extension, CR LF ended, fields separated by
// ",": extension, "+" or empty (Load), "+" or empty (CheckSize), MinSize and
// MaxSize in decimal KB. Reading skips empty lines; flags are on only when
// exactly "+"; a size that is missing, no whole number or negative is 0.
#pragma once

#include <vector>

#include "project/Settings.h"
#include "ui/main/uMainMessages.h"

// Indexes into the form's message list.
enum TOptionsMessage {
  omLoad, omExtension, omCheckSize, omMinimumSize, omMaximumSize, omProjectOptions, omTextFiles, omAllFiles,
  omSaveIntoFile, omLoadFromFile, omNotStored, omCaretInText, omBadMask, omBadExtension, omMidnight,
  omNotANumber, omCannotWrite, omCreateFolder, omCannotCreateFolder, omBadCategoryLine, omAttention, omError,
  omCount
};

inline constexpr const char* OptionsMessages[omCount] = {
    "Load", "Extension", "Check Size", "Minimum Size", "Maximum Size", "Project options", "Text files",
    "All files", "Save into file", "Load from file",
    "These entries cannot be stored in the settings file and were left as they were:",
    "the character \"^\" cannot be stored",
    "A mask cannot begin with \"[\" or \"+\".",
    "A file extension cannot contain \",\" or \";\" or begin with \"[\".",
    "a time of exactly 00:00:00 cannot be stored",
    "not a whole number",
    "The file could not be written:",
    "The folder does not exist. Create it?",
    "The folder could not be created:",
    "The file was not loaded: it holds a file extension that cannot be stored, in line",
    "Attention", "Error"};

// Whether a text field of the project line survives a write and a read ("^"
// reads back as ";").
bool StorableText(const AnsiString& Text);
// Whether a mask keeps its text and its enabled state in the filter section.
bool StorableMask(const AnsiString& Mask);
// Whether an extension keeps its place in a size line and a category file.
bool StorableExtension(const AnsiString& Extension);

struct TCategoryItem {
  AnsiString Extension;
  TSizerObj Rule;
};

// One line of a category file (without the line end).
AnsiString CategoryFileLine(const AnsiString& Extension, const TSizerObj& Rule);
// The whole file for a file-type list (items with their TSizerObj objects).
AnsiString CategoryFileText(const TStrings& List);
// Parses a category file. Returns 0 when every extension can be stored,
// else the 1-based number of the first line whose extension cannot.
int ReadCategoryFile(const AnsiString& Bytes, std::vector<TCategoryItem>& Items);
