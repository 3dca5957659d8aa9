// Version information of files: the fixed file version and the "FileVersion" text, and the
// comparison of two version texts. The version copy rule of the file element rests on them.
#pragma once

#include <cstdint>
#include <string>

// The fixed file version as one exact number: dwFileVersionMS in the high 32 bits,
// dwFileVersionLS in the low ones; 0 when the file has no version information or it cannot be
// read. Compare versions with this, never through a double (40.0.0.1 and 40.0.0.0 are equal as
// doubles).
std::uint64_t FixedVersion(const std::string& path);

// The same number as a double (dwFileVersionMS * 2^32 + dwFileVersionLS), for records that
// carry it as text; 0 when there is none.
double FixedVersionNumber(const std::string& path);

// The "FileVersion" string of the file's first translation; empty when there is none.
std::string FileVersionText(const std::string& path);

// 1 when version text a is higher than b, -1 when lower, 0 when equal. Parts are separated by
// "." or ","; blanks around parts are ignored.
int CompareVersionTexts(const std::string& a, const std::string& b);
