// Loader benchmark: the size of the product's (i686) Quenda.exe, and the time from starting the
// loader in batch mode to the end of the engine it starts, against bare programs that only start
// the same engine the same way (bare_launch.cpp). Runs take turns, after a warm-up; the figures
// are medians.
//   quenda_bench [runs]
#include "support/fixtures.h"
#include "setup/core/handles.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using testsupport::TempFolder;
using testsupport::WindowsPathOf;

namespace {

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// Wall time from process creation to the end of the program (which waits for its engine).
double TimeRun(const std::string& program, const std::string& arguments) {
    std::string commandLine = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::printf("cannot start %s\n", program.c_str());
        std::exit(1);
    }
    KernelHandle processHandle(process.hProcess);
    KernelHandle threadHandle(process.hThread);
    WaitForSingleObject(processHandle.Get(), INFINITE);
    QueryPerformanceCounter(&end);
    DWORD code = 0;
    GetExitCodeProcess(processHandle.Get(), &code);
    if (code != 0) {
        std::printf("%s ended with %lu\n", program.c_str(), code);
        std::exit(1);
    }
    return Seconds(start, end);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool Copy(const std::string& from, const std::string& to) {
    if (CopyFileA(from.c_str(), to.c_str(), FALSE))
        return true;
    std::printf("cannot copy %s to %s\n", from.c_str(), to.c_str());
    return false;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;

    WIN32_FILE_ATTRIBUTE_DATA data;
    const std::string product = WindowsPathOf(QUENDA_I686_PATH);
    if (GetFileAttributesExA(product.c_str(), GetFileExInfoStandard, &data)) {
        const double kib = data.nFileSizeLow / 1024.0;
        std::printf("i686 Quenda.exe: %lu bytes (%.1f KiB; goal 200 KiB: %s)\n", data.nFileSizeLow,
                    kib, kib <= 200 ? "met" : "missed");
    } else {
        std::printf("i686 Quenda.exe not found at %s (build build/i686 first)\n", product.c_str());
    }

    // One folder per program, each with the stand-in engine beside it as ravell32.dll.
    struct Candidate {
        const char* label;
        std::string built;
        TempFolder medium;
        std::string program;
        std::vector<double> times;
    };
    Candidate candidates[] = {
        {"loader (Quenda.exe /batch)", WindowsPathOf(QUENDA_EXE_PATH), {}, {}, {}},
        {"bare start, kernel wait", WindowsPathOf(BARE_LAUNCH_PATH), {}, {}, {}},
        {"bare start, message-pumping wait", WindowsPathOf(BARE_LAUNCH_PUMP_PATH), {}, {}, {}},
    };
    const std::string engine = WindowsPathOf(STANDIN_ENGINE_PATH);
    for (Candidate& c : candidates) {
        c.program = c.medium / "launcher.exe";
        if (!Copy(c.built, c.program) || !Copy(engine, c.medium / "ravell32.dll"))
            return 1;
    }
    for (int i = 0; i < 3; ++i)
        for (Candidate& c : candidates)
            TimeRun(c.program, "/batch");
    for (int i = 0; i < runs; ++i)
        for (Candidate& c : candidates)
            c.times.push_back(TimeRun(c.program, "/batch"));

    std::printf("start to engine end, median of %d runs:\n", runs);
    for (Candidate& c : candidates)
        std::printf("  %-34s %6.1f ms\n", c.label, Median(c.times) * 1000);
    const double loader = Median(candidates[0].times);
    const double ratio = loader / Median(candidates[1].times);
    std::printf("ratio loader / bare start (kernel wait): %.3f (goal 1.2: %s)\n", ratio,
                ratio <= 1.2 ? "met" : "missed");
    std::printf("ratio loader / bare start (message-pumping wait): %.3f\n",
                loader / Median(candidates[2].times));
    return 0;
}
