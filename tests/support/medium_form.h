// Compressed medium files made the way the medium builder makes them (setup/core/medium_file.h
// has the form), for tests that install from them.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

// The compressed form of `original`, stamped with the last-write time `written`.
std::string CompressedForm(const std::string& original, const FILETIME& written);
// Writes the compressed form of `original` to `path`, stamped with `written` (default: now).
bool WriteCompressed(const std::string& path, const std::string& original);
bool WriteCompressed(const std::string& path, const std::string& original, const FILETIME& written);

} // namespace testsupport
