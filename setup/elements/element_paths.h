// What several element kinds do with the file or folder their DestDir and DestName name.
#pragma once

#include <windows.h>

#include <string>

#include "setup/core/element.h"

// The element's path: DestDir becomes (and stays) its variable expansion, the path is DestDir
// resolved with DestName by the process-wide macro context; with `shortNames`, the path's
// computed 8.3 form.
std::string ElementPath(WSetupElement& element, bool shortNames);

// The attributes of the file at `path`; INVALID_FILE_ATTRIBUTES when there is no file there (a
// folder does not count). Existence is asked of the attributes: a file that another process
// holds open without sharing cannot be opened, but it is there.
DWORD FileAttributesOf(const std::string& path);

// Gives the path plain attributes when `attributes` (read before) hold one that gets in the way
// of writing or removing it (read-only, hidden, system, temporary); archive alone, or nothing,
// is left as it is, saving a call per element.
[[nodiscard]] bool MakePlainForWriting(const std::string& path, DWORD attributes);
