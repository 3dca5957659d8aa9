// Reading a text value through a buffer of the caller's size (the string reads of registry.cpp
// use a fixed, smaller one and trim).
#include "setup/core/handles.h"
#include "setup/core/path.h"
#include "setup/core/registry.h"

#include <cstring>
#include <vector>

std::string ReadRegTextAt(HKEY root, const std::string& valuePath, DWORD bufferSize) {
    RegKey key;
    if (bufferSize == 0 ||
        OpenRegKey(root, ParentOf(valuePath), KEY_ALL_ACCESS, key) != ERROR_SUCCESS)
        return {};
    std::vector<char> buffer(bufferSize);
    DWORD size = bufferSize;
    if (RegQueryValueExA(key.Get(), FileNameOf(valuePath).c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
        return {};
    if (size > bufferSize)
        size = bufferSize;
    const void* end = std::memchr(buffer.data(), 0, size);
    return std::string(buffer.data(),
                       end ? static_cast<const char*>(end) - buffer.data() : std::size_t(size));
}
