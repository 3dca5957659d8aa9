#include "setup/core/attributes.h"

#include <windows.h>

namespace {

bool IsSet(const std::string& attributes, std::size_t position) {
    return position < attributes.size() && attributes[position] == '1';
}

// Platform bits of positions 1 to 5 (archive, hidden, read-only, system, temporary).
const DWORD g_positionBits[6] = {0,
                                 FILE_ATTRIBUTE_ARCHIVE,
                                 FILE_ATTRIBUTE_HIDDEN,
                                 FILE_ATTRIBUTE_READONLY,
                                 FILE_ATTRIBUTE_SYSTEM,
                                 FILE_ATTRIBUTE_TEMPORARY};

} // namespace

bool ApplyAttributes(const std::string& path, const std::string& attributes) {
    DWORD value = FILE_ATTRIBUTE_NORMAL;
    if (attributes.size() >= 6 && !IsSet(attributes, 0)) {
        for (std::size_t i = 1; i < 6; ++i)
            if (IsSet(attributes, i))
                value |= g_positionBits[i];
    }
    return SetFileAttributesA(path.c_str(), value) != 0;
}

int CheckAttributes(const std::string& path, const std::string& attributes, int folder) {
    DWORD expected = 0;
    if (IsSet(attributes, 0)) {
        bool anyOther = false;
        for (std::size_t i = 1; i < 6; ++i)
            anyOther = anyOther || IsSet(attributes, i);
        if (folder == 0 && !anyOther)
            expected = FILE_ATTRIBUTE_NORMAL;
        if (folder != 0)
            expected |= FILE_ATTRIBUTE_DIRECTORY;
    }
    for (std::size_t i = 1; i < 6; ++i)
        if (IsSet(attributes, i))
            expected |= g_positionBits[i];
    DWORD actual = GetFileAttributesA(path.c_str());
    if (actual == expected)
        return 1;
    if (folder == 0 && actual == (expected | FILE_ATTRIBUTE_DIRECTORY))
        return -2;
    return -1;
}
