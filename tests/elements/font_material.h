// Test fonts: a free TrueType font of the machine (DejaVu Sans, Debian's fonts-dejavu-core,
// seen through Wine's Z: drive) copied with its names rewritten, so that its family name is
// unique in the prefix and a test can tell its own font from every other one.
#pragma once

#include <string>

namespace testsupport {

// The Windows path of the font the copies start from.
std::string BaseFontPath();

// Writes a copy of the TrueType font `source` to `destination` whose name table names the
// family `family` (style "Regular"); the table checksums and the font's checksum adjustment are
// recomputed. False when the source cannot be read or is not a TrueType font.
bool MakeRenamedFont(const std::string& source, const std::string& destination,
                     const std::string& family);

// A family name no other font of the prefix carries: `stem` and a number unique to this run.
std::string UniqueFamilyName(const std::string& stem);

} // namespace testsupport
