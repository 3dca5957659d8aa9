// Where the test material made by the build lies at run time, and copying it into a test's own
// temporary folder. The sets are described in tests/material/CMakeLists.txt.
#pragma once

#include <windows.h>

#include <string>

#include "support/fixtures.h"

namespace material {

// The folder of one set ("versioned", "selfreg", "custom", "programs") beside the test program.
inline std::string Folder(const std::string& set) {
    return testsupport::ProgramFolder() + "\\material\\" + set;
}

// The path of a file of a set.
inline std::string File(const std::string& set, const std::string& name) {
    return Folder(set) + "\\" + name;
}

// Copies a file of a set to `target`; true when it was copied.
inline bool CopyTo(const std::string& set, const std::string& name, const std::string& target) {
    return CopyFileA(File(set, name).c_str(), target.c_str(), FALSE) != FALSE;
}

} // namespace material
