// Line-oriented INI files. WININIT.INI holds several lines with the same key, which the
// platform's profile functions cannot keep, so INI files are read and rewritten here as text,
// line by line, with the byte-exact line file (line_file.h): its rules on bytes, line endings,
// the message pump and rewrites hold for every function here.
//
// A section line is one whose first non-blank character is "[" and which holds a name (the
// trimmed text before the next "]") that is not empty; names compare trimmed, ignoring case. A
// key line is one whose key (the trimmed text before its first "=") is not empty.
#pragma once

#include <string>

#include "setup/core/text.h"

// The key lines (every line when `keepAll`) of every section named `section`. Lines before the
// first section line are never taken. False, with the list empty, when the file cannot be read.
[[nodiscard]] bool ReadIniSectionLines(const std::string& file, const std::string& section,
                                       TextList& lines, bool keepAll);

// Removes the named sections, each from its section line up to the next section line. True when
// no such section is left in the file; false, and the file unchanged, when it cannot be read or
// rewritten completely.
[[nodiscard]] bool RemoveIniSections(const std::string& file, const TextList& sections);

// Gathers every section named `section` into one at the end of the file: the key lines of those
// sections, then `lines`, under "[section]" (the other lines of those sections are dropped). The
// file is created when missing (its folder not). False, and the file unchanged, when it cannot
// be read or rewritten completely.
[[nodiscard]] bool AddToIniSectionAtEnd(const std::string& file, const std::string& section,
                                        const TextList& lines);

// Appends "[section]" and the lines to the file (created when missing, its folder not). A file
// that does not end with a blank line first gets a line break, so the section starts on a line
// of its own after a blank line. False, and the file unchanged, when it could not be written.
[[nodiscard]] bool AppendIniSection(const std::string& section, const std::string& file,
                                    const TextList& lines);

// The value of `key` (trimmed, case ignored) in `section` (trimmed, case ignored; an empty
// section searches the whole file, the first occurrence winning): the text after the line's
// first "=", trimmed, as the platform's profile reader gives it. Only the first section of that
// name is searched. Empty when absent or the file cannot be read.
std::string GetIniValue(const std::string& file, const std::string& section,
                        const std::string& key);
