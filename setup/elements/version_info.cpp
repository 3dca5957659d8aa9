#include "setup/elements/version_info.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "setup/core/text.h"

namespace {

// The whole version information block of a file; empty when the file has none or it cannot be
// read. One byte more than the platform asks for, as some versions write a terminator past the
// size they report.
std::vector<char> VersionBlock(const std::string& path) {
    std::vector<char> block;
    if (path.empty())
        return block;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0)
        return block;
    block.assign(size + 1, '\0');
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data()))
        block.clear();
    return block;
}

// A version field as the C library's decimal conversion reads it (leading blanks, an optional
// sign, then digits; anything else gives 0), but in 64 bits so that no field wraps.
long long FieldNumber(const std::string& field) {
    return std::strtoll(field.c_str(), nullptr, 10);
}

} // namespace

std::uint64_t FixedVersion(const std::string& path) {
    std::vector<char> block = VersionBlock(path);
    if (block.empty())
        return 0;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    char root[] = "\\";
    if (!VerQueryValueA(block.data(), root, reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof(VS_FIXEDFILEINFO))
        return 0;
    return (static_cast<std::uint64_t>(info->dwFileVersionMS) << 32) | info->dwFileVersionLS;
}

double FixedVersionNumber(const std::string& path) {
    return static_cast<double>(FixedVersion(path));
}

std::string FileVersionText(const std::string& path) {
    std::vector<char> block = VersionBlock(path);
    if (block.empty())
        return std::string();
    WORD* translation = nullptr;
    UINT length = 0;
    char translations[] = "\\VarFileInfo\\Translation";
    if (!VerQueryValueA(block.data(), translations, reinterpret_cast<void**>(&translation),
                        &length) ||
        !translation || length < 2 * sizeof(WORD))
        return std::string();
    char query[64];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\FileVersion", translation[0],
                  translation[1]);
    char* text = nullptr;
    length = 0;
    if (!VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&text), &length) || !text ||
        length == 0)
        return std::string();
    // The length counts characters and may include the terminator; the text ends at the first
    // zero byte either way.
    std::size_t end = 0;
    while (end < length && text[end] != '\0')
        ++end;
    return std::string(text, end);
}

int CompareVersionTexts(const std::string& a, const std::string& b) {
    if (a.empty())
        return b.empty() ? 0 : -1;
    if (b.empty())
        return 1;
    // Version texts are written "5.0.2195.1" as often as "40, 0, 0, 2": both separators count.
    std::string dottedA = ReplaceAll(a, ",", ".", true);
    std::string dottedB = ReplaceAll(b, ",", ".", true);
    for (int n = 1; n <= 4; ++n) {
        long long fieldA = FieldNumber(NthField(dottedA, ".", n));
        long long fieldB = FieldNumber(NthField(dottedB, ".", n));
        if (fieldA != fieldB)
            return fieldA > fieldB ? 1 : -1;
    }
    return 0;
}
