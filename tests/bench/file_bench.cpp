// Benchmark of the file element: installing 2,000 small files through WSetupFile::InstallStep
// (copy mode 0, the attribute string applied) against a plain CopyFileA loop over the same
// files, each into a fresh destination folder. Three rounds each, alternating; the best counts.
// Usage: file_bench-win2k.exe
// The files go to a folder beside the program (inside the build tree) and are deleted.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "setup/core/macros.h"
#include "setup/elements/file.h"
#include "support/fixtures.h"

namespace {

constexpr int FileCount = 2000;
constexpr std::size_t FileBytes = 2048;

std::string NameOf(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "file%04d.dat", i);
    return name;
}

double PlainLoop(const std::string& medium, const std::string& destination) {
    CreateDirectoryA(destination.c_str(), nullptr);
    const double start = Now();
    for (int i = 0; i < FileCount; ++i) {
        const std::string name = NameOf(i);
        if (!CopyFileA((medium + "\\" + name).c_str(), (destination + "\\" + name).c_str(),
                       FALSE)) {
            std::printf("CopyFileA failed: %lu\n", GetLastError());
            return -1;
        }
    }
    return Now() - start;
}

double ElementLoop(const std::string& medium, const std::string& destination) {
    std::vector<std::unique_ptr<WSetupFile>> files;
    for (int i = 0; i < FileCount; ++i) {
        auto file = std::make_unique<WSetupFile>();
        file->SourceDir = medium;
        file->MediaName = NameOf(i);
        file->DestDir = destination;
        file->DestName = NameOf(i);
        file->CopyMode = CopyAlways;
        file->Attributes = "010000";
        files.push_back(std::move(file));
    }
    FwStringArray reboot;
    FwPtrArray collected;
    const double start = Now();
    for (auto& file : files) {
        if (file->InstallStep(reboot, collected, 0, 0, 0) != CopiedPlain) {
            std::printf("InstallStep failed: %d\n", file->Status);
            return -1;
        }
    }
    return Now() - start;
}

} // namespace

int main() {
    TheSetupContext().Enabled = 1;
    const std::string root = testsupport::ProgramFolder() + "\\bench-files";
    testsupport::RemoveTree(root);
    CreateDirectoryA(root.c_str(), nullptr);
    const std::string medium = root + "\\medium";
    CreateDirectoryA(medium.c_str(), nullptr);
    const std::string bytes(FileBytes, 'x');
    for (int i = 0; i < FileCount; ++i)
        testsupport::WriteFileBytes(medium + "\\" + NameOf(i), bytes);

    double plain = 1e9, ours = 1e9;
    for (int round = 0; round < 3; ++round) {
        const std::string a = root + "\\plain" + std::to_string(round);
        const std::string b = root + "\\element" + std::to_string(round);
        const double p = PlainLoop(medium, a);
        const double o = ElementLoop(medium, b);
        if (p < 0 || o < 0)
            return 1;
        plain = p < plain ? p : plain;
        ours = o < ours ? o : ours;
        testsupport::RemoveTree(a);
        testsupport::RemoveTree(b);
    }
    std::printf("| benchmark | platform | ours | ratio |\n|---|---|---|---|\n");
    std::printf("| install %d files of %u bytes | CopyFileA loop %.0f ms (%.0f us/file) | "
                "InstallStep %.0f ms (%.0f us/file) | time %.2f |\n",
                FileCount, static_cast<unsigned>(FileBytes), plain * 1000, plain * 1e6 / FileCount,
                ours * 1000, ours * 1e6 / FileCount, ours / plain);
    testsupport::RemoveTree(root);
    return 0;
}
