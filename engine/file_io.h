// The engine's files through the platform's calls: the run-time library of the product has no
// streams, and every handle is owned (setup/core/handles.h).
#pragma once

#include <string>
#include <vector>

#include "setup/core/handles.h"

// The whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// The lines of a text: "\r\n" or "\n" ends a line. `torn` tells whether the text's last line had
// no line end (a write cut short); that line is still in the list, last.
std::vector<std::string> SplitLines(const std::string& text, bool& torn);

// A file written from its start (Create) or from its end (Append). Write answers false when the
// platform wrote less than it was given; Flush asks the platform to put what was written on the
// disk and answers whether it did.
class OutputFile {
public:
    bool Create(const std::string& path);
    bool Append(const std::string& path);
    // Writes to the process's standard output, which is not owned.
    void UseStandardOutput();
    bool IsOpen() const { return handle_ != nullptr; }
    bool Write(const std::string& bytes);
    bool Flush();

private:
    KernelHandle file_;
    void* handle_ = nullptr;
};
