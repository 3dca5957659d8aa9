#include "file_io.h"

#include <windows.h>

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    bytes.clear();
    char block[16384];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), block, sizeof block, &read, nullptr))
            return false;
        if (read == 0)
            return true;
        bytes.append(block, read);
    }
}

std::vector<std::string> SplitLines(const std::string& text, bool& torn) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    torn = false;
    while (start < text.size()) {
        std::string::size_type end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            torn = true;
            break;
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool OutputFile::Create(const std::string& path) {
    file_.Reset(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    handle_ = file_.IsOpen() ? file_.Get() : nullptr;
    return IsOpen();
}

bool OutputFile::Append(const std::string& path) {
    file_.Reset(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    handle_ = file_.IsOpen() ? file_.Get() : nullptr;
    if (handle_ && SetFilePointer(file_.Get(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER) {
        file_.Reset();
        handle_ = nullptr;
    }
    return IsOpen();
}

void OutputFile::UseStandardOutput() {
    file_.Reset();
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    handle_ = out == INVALID_HANDLE_VALUE ? nullptr : out;
}

bool OutputFile::Write(const std::string& bytes) {
    if (!handle_)
        return false;
    DWORD written = 0;
    return WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool OutputFile::Flush() {
    return handle_ && FlushFileBuffers(handle_);
}
