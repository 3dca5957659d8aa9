// Restart replacement and line-oriented INI files.
//
// Files in use are replaced or deleted at the next restart: on the Windows 95/98 family through
// the "rename" section of WININIT.INI in the Windows folder ("NUL=<short path>" deletes,
// "<short target>=<short staging>" moves), on the NT family through the platform's
// delay-until-reboot moves. WININIT.INI holds several lines with the same key, which the
// platform's profile functions cannot keep, so INI files are read and rewritten here as text,
// line by line; the same machinery edits text files and looks up INI values.
//
// Text and INI files are handled as bytes: lines of any length stay whole, every line keeps its
// own line ending (CR LF, a lone LF, or none on the last line), and Ctrl-Z or NUL bytes are kept
// as data. Every line loop dispatches one pending window message per line (PumpOneMessage), so
// window procedures of the calling thread may run inside these calls.
//
// A section line is one whose first non-blank character is "[" and which holds a non-empty name
// before the next "]". A key line is one with a non-empty text before its first "=".
#pragma once

#include <string>

#include "setup/core/text.h"

// Replaces every occurrence of `find` by `replacement` in every line of the file. The edit goes
// to a temporary file that is copied over the original only when every step succeeded; on any
// failure the original is left byte for byte as it was and the answer is false. The file keeps
// its attributes (a read-only file stays read-only).
bool ReplaceInTextFile(const std::string& path, const std::string& find,
                       const std::string& replacement, bool caseSensitive);

// Schedules `newFile` to replace `target` at the next restart: `newFile` is copied to a staging
// name beside `target` now, and moved onto it at the restart. False when nothing was scheduled
// (the staging copy is then removed again).
bool ReplaceFileAtReboot(const std::string& newFile, const std::string& target);

// Schedules the deletion of `path` at the next restart. False when nothing was scheduled.
bool DeleteFileAtReboot(const std::string& path);

// The key lines (every line when `keepAll`) of the section named `section` (case ignored).
// Lines before the first section line are never taken. False when the file cannot be read.
bool ReadIniSectionLines(const std::string& file, const std::string& section, TextList& lines,
                         bool keepAll);

// Removes the named sections (case ignored), each from its section line up to the next section
// line. False, and the file unchanged, when it could not be rewritten completely.
bool RemoveIniSections(const std::string& file, const TextList& sections);

// Appends a line break, "[section]" and the lines to the file (created when missing).
// False when the file could not be written.
bool AppendIniSection(const std::string& section, const std::string& file, const TextList& lines);

// The value of `key` (trimmed, case ignored) in `section` (trimmed, case ignored; empty searches
// the whole file, the first occurrence winning): the text after the line's first "=". Empty when
// absent or the file cannot be read.
std::string GetIniValue(const std::string& file, const std::string& section,
                        const std::string& key);
