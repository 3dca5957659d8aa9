// Restart replacement and line-oriented INI files.
//
// Files in use are replaced or deleted at the next restart: on the Windows 95/98 family through
// the "rename" section of WININIT.INI in the Windows folder ("NUL=<short path>" deletes,
// "<short target>=<short staging>" moves), on the NT family through the platform's
// delay-until-reboot moves. WININIT.INI holds several lines with the same key, which the
// platform's profile functions cannot keep, so INI files are read and rewritten here as text,
// line by line; the same machinery edits text files and looks up INI values.
//
// Text and INI files are handled as bytes: lines of any length stay whole (a line is never cut,
// and a match is found wherever it lies in it), every line keeps its own line ending (CR LF, a
// lone LF, or none on the last line), and Ctrl-Z or NUL bytes are kept as data. A lone CR is
// data, not a line ending. Lines written by this unit end with CR LF. Every line loop
// dispatches one pending window message per line (see LinePumpForTesting), so window procedures of
// the calling thread may run inside these calls.
//
// A section line is one whose first non-blank character is "[" and which holds a name (the
// trimmed text before the next "]") that is not empty; names compare trimmed, ignoring case. A
// key line is one whose key (the trimmed text before its first "=") is not empty.
//
// Rewrites go to a temporary file (TempFileName) that is copied over the original only when
// every read, write and close succeeded; the copy opens the original without sharing and
// reserves the new size before it writes, so a file in use, or a volume without room, leaves the
// original byte for byte as it was. A file whose edit changes nothing is not rewritten.
#pragma once

#include <windows.h>

#include <string>

#include "setup/core/seam.h"
#include "setup/core/text.h"

// Replaces every occurrence of `find` by `replacement` in every line of the file (an empty
// `find` changes nothing). False, with the file unchanged, when it cannot be read or the edit
// cannot be written back (a file held open without write sharing, for example). The file keeps
// its attributes (a read-only file stays read-only).
bool ReplaceInTextFile(const std::string& path, const std::string& find,
                       const std::string& replacement, bool caseSensitive);

// Schedules `newFile` to replace `target` at the next restart: `newFile` is copied now to a
// staging name beside `target` (its folder is created when missing), which is moved onto it at
// the restart. On the NT family this is one delayed move with replacement, so the target is
// never left deleted with nothing in its place. On the Windows 95/98 family `target` must exist
// (its short path is written) and WININIT.INI must be rewritten completely; the rename list holds
// short paths only, so a target with a long name comes back under its short name. False when
// nothing was scheduled; the staging copy is then removed again.
bool ReplaceFileAtReboot(const std::string& newFile, const std::string& target);

// Schedules the deletion of `path` at the next restart. On the Windows 95/98 family the path
// must exist (its short path is written). False when nothing was scheduled.
bool DeleteFileAtReboot(const std::string& path);

// The key lines (every line when `keepAll`) of every section named `section`. Lines before the
// first section line are never taken. False, with the list empty, when the file cannot be read.
bool ReadIniSectionLines(const std::string& file, const std::string& section, TextList& lines,
                         bool keepAll);

// Removes the named sections, each from its section line up to the next section line. True when
// no such section is left in the file; false, and the file unchanged, when it cannot be read or
// rewritten completely.
bool RemoveIniSections(const std::string& file, const TextList& sections);

// Appends "[section]" and the lines to the file (created when missing, its folder not). A file
// that does not end with a blank line first gets a line break, so the section starts on a line
// of its own after a blank line. False, and the file unchanged, when it could not be written.
bool AppendIniSection(const std::string& section, const std::string& file, const TextList& lines);

// The value of `key` (trimmed, case ignored) in `section` (trimmed, case ignored; an empty
// section searches the whole file, the first occurrence winning): the text after the line's
// first "=", trimmed, as the platform's profile reader gives it. Only the first section of that
// name is searched. Empty when absent or the file cannot be read.
std::string GetIniValue(const std::string& file, const std::string& section,
                        const std::string& key);

// What restart scheduling asks of the platform. This class makes the real calls; tests derive
// from it so that scheduling never reaches the machine's real rename lists.
class RestartPlatform {
public:
    virtual ~RestartPlatform() = default;
    // 1 = Windows 95/98 family (WININIT.INI), anything else the NT family's delayed moves.
    virtual DWORD PlatformId();
    // The folder that holds WININIT.INI.
    virtual std::string WindowsFolder();
    // Schedules `source` to move onto `target` at the next restart, replacing it
    // (MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING); an empty target deletes
    // `source` at the restart. True when the platform accepted it.
    virtual bool MoveAtRestart(const std::string& source, const std::string& target);
};

// The platform that scheduling asks: the real one unless a test put a stand-in in its place.
RestartPlatform& CurrentRestartPlatform();
Seam<RestartPlatform*>& RestartPlatformForTesting();

// The call made once per line (and per block of a copy back): PumpOneMessage.
using LinePump = void (*)();
Seam<LinePump>& LinePumpForTesting();
