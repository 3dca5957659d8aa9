// Helpers for tests that start the setup engine stand-in (ravell32.dll, see engine.cpp).
#pragma once

#include "support/fixtures.h"

#include <string>

namespace enginestandin {

// The built stand-in: <build>/tests/standins/engine/ravell32.dll.
inline std::string BuiltPath() {
    return testsupport::WindowsPathOf(testsupport::EnvText("TARVO_BUILD_DIR") +
                                      "/tests/standins/engine/ravell32.dll");
}

// Copies the stand-in into `folder` (its record files land beside the copy); returns the
// copy's path, or empty when the copy failed.
inline std::string CopyInto(const std::string& folder) {
    std::string target = folder + "\\ravell32.dll";
    return CopyFileA(BuiltPath().c_str(), target.c_str(), FALSE) ? target : std::string();
}

// The command line the last start received.
inline std::string ReceivedCommandLine(const std::string& folder) {
    return testsupport::ReadFileBytes(folder + "\\ravell32.cmdline.txt");
}

inline int CountLines(const std::string& text) {
    int n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

// How many times a copy in `folder` has started, and how many of those runs have ended.
inline int Starts(const std::string& folder) {
    return CountLines(testsupport::ReadFileBytes(folder + "\\ravell32.log"));
}
inline int Ends(const std::string& folder) {
    return CountLines(testsupport::ReadFileBytes(folder + "\\ravell32.ended.log"));
}

} // namespace enginestandin
