// Takes a snapshot of the machine as a sorted text, one line per registry value and per file, so
// that two snapshots compare with a plain diff:
//   key <root>\<path>
//   value <root>\<path>\\<name> <type> <data in hex>
//   dir <path>
//   file <path> <size> <checksum>
// Registry: HKEY_LOCAL_MACHINE\Software, HKEY_CURRENT_USER\Software, HKEY_CLASSES_ROOT and the
// restart's pending moves (HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Session
// Manager), or only the keys named after the drive (each "<root name>\<path>", with what is
// below it).
// Files: the tree of the drive given (default C:\), with sizes and checksums.
//
// Usage: snapshot <output file> [<drive root> [<key>...]]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "setup/core/handles.h"
#include "setup/core/registry.h"

namespace {

std::vector<std::string> g_lines;

std::string Hex(const BYTE* data, DWORD size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (DWORD i = 0; i < size; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    return text;
}

void WalkKey(HKEY root, const std::string& rootName, const std::string& path) {
    RegKey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return;
    std::string full = rootName + (path.empty() ? "" : "\\" + path);
    g_lines.push_back("key " + full);
    std::vector<char> name(16384);
    std::vector<BYTE> data(1 << 16);
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LONG rc = RegEnumValueA(key.Get(), i, name.data(), &nameSize, nullptr, &type, data.data(),
                                &dataSize);
        if (rc == ERROR_MORE_DATA) {
            data.resize(dataSize + 1);
            --i;
            continue;
        }
        if (rc != ERROR_SUCCESS)
            break;
        g_lines.push_back("value " + full + "\\\\" + std::string(name.data(), nameSize) + " " +
                          std::to_string(type) + " " + Hex(data.data(), dataSize));
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        if (RegEnumKeyExA(key.Get(), i, name.data(), &nameSize, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
            break;
        subkeys.emplace_back(name.data(), nameSize);
    }
    key.Reset();
    for (const std::string& sub : subkeys)
        WalkKey(root, rootName, path.empty() ? sub : path + "\\" + sub);
}

unsigned long Checksum(const std::string& path, bool& ok) {
    ok = false;
    KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return 0;
    unsigned long sum = 0;
    std::vector<unsigned char> buffer(1 << 16);
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
           got > 0)
        for (DWORD i = 0; i < got; ++i)
            sum = (sum * 31 + buffer[i]) & 0xffffffffUL;
    ok = true;
    return sum;
}

void WalkFolder(const std::string& folder) {
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (!find)
        return;
    std::vector<std::string> subfolders;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = folder + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // Links into the Unix file system (the prefix's "Z:"-style links) are not followed.
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                continue;
            g_lines.push_back("dir " + path);
            subfolders.push_back(path);
        } else {
            bool ok = false;
            unsigned long sum = Checksum(path, ok);
            unsigned long long size =
                (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            g_lines.push_back("file " + path + " " + std::to_string(size) + " " +
                              (ok ? std::to_string(sum) : std::string("unreadable")));
        }
    } while (FindNextFileA(find.Get(), &data));
    find.Reset();
    for (const std::string& sub : subfolders)
        WalkFolder(sub);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: snapshot <output> [<drive root>]\n");
        return 2;
    }
    std::string drive = argc > 2 ? argv[2] : "C:";
    if (!drive.empty() && drive.back() == '\\')
        drive.pop_back();
    if (argc > 3) {
        for (int i = 3; i < argc; ++i) {
            const std::string name = argv[i];
            const std::string rootName = name.substr(0, name.find('\\'));
            const std::string path =
                name.find('\\') == std::string::npos ? "" : name.substr(name.find('\\') + 1);
            HKEY root = nullptr;
            if (!ParseRootKeyName(rootName, root)) {
                std::fprintf(stderr, "unknown root key %s\n", rootName.c_str());
                return 2;
            }
            WalkKey(root, rootName, path);
        }
    } else {
        WalkKey(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "Software");
        WalkKey(HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "Software");
        WalkKey(HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "");
        WalkKey(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE",
                "System\\CurrentControlSet\\Control\\Session Manager");
    }
    WalkFolder(drive);
    std::sort(g_lines.begin(), g_lines.end());
    StdioFile out(std::fopen(argv[1], "wb"));
    if (!out)
        return 2;
    for (const std::string& line : g_lines)
        std::fprintf(out.Get(), "%s\n", line.c_str());
    return out.Reset() ? 0 : 2;
}
