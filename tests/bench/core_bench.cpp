// Benchmarks of the file and registry utilities, each measured against the platform's own
// operation in the same run:
//   copy      CopyFileByStreams against CopyFileA on a 256 MiB file (throughput ratio)
//   checksum  FileChecksum against a plain read of the same file (throughput ratio)
//   regtree   DeleteRegKey with subkeys on a tree of 10,000 keys against RegDeleteTreeA
//             (time ratio; run as the -win2k copy so that the depth-first deletion is measured)
//   shortpath ComputeShortPath per call with 1,000 and with 10,000 remembered names
// Usage: core_bench-win2k.exe [copy] [checksum] [regtree] [shortpath]   (default: all)
// Temporary files go to a folder beside the program (inside the build tree) and are deleted.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/process.h"
#include "setup/core/registry.h"
#include "support/fixtures.h"

namespace {

bool MakeFile(const std::string& path, unsigned long long bytes) {
    KernelHandle h(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!h)
        return false;
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 31 + i / 4096);
    bool ok = true;
    for (unsigned long long done = 0; ok && done < bytes; done += block.size()) {
        DWORD written = 0;
        ok =
            WriteFile(h.Get(), block.data(), static_cast<DWORD>(block.size()), &written, nullptr) &&
            written == block.size();
    }
    return ok;
}

// Reads the whole file in 64 KiB blocks and does nothing with the bytes.
bool PlainRead(const std::string& path) {
    KernelHandle h(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!h)
        return false;
    std::vector<char> block(64 * 1024);
    DWORD got = 0;
    while (ReadFile(h.Get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr) && got)
        ;
    return true;
}

const double MiB = 1024.0 * 1024.0;
const unsigned long long FileBytes = 256ULL * 1024 * 1024;

// Each contender runs three times, alternating; the best time of each counts.
void BenchCopy(const std::string& folder) {
    const std::string source = folder + "\\source.bin";
    const std::string target = folder + "\\target.bin";
    if (!MakeFile(source, FileBytes)) {
        std::printf("copy: cannot create the source file\n");
        return;
    }
    PlainRead(source); // into the cache
    double platform = 1e9, ours = 1e9;
    bool ok = true;
    for (int round = 0; round < 3; ++round) {
        DeleteFileA(target.c_str());
        double t = Seconds([&] { ok = CopyFileA(source.c_str(), target.c_str(), FALSE) && ok; });
        platform = t < platform ? t : platform;
        DeleteFileA(target.c_str());
        t = Seconds([&] { ok = CopyFileByStreams(source, target) && ok; });
        ours = t < ours ? t : ours;
    }
    std::uint32_t a = 0, b = 0;
    ok = ok && FileChecksum(source, a) && FileChecksum(target, b) && a == b;
    // The copy checks the message queue once per 64 KiB step: what that costs by itself.
    const int steps = static_cast<int>(FileBytes / (64 * 1024));
    const double pumps = Seconds([&] {
        for (int i = 0; i < steps; ++i)
            PumpOneMessage();
    });
    std::printf("| copy 256 MiB | CopyFileA %.0f MiB/s | CopyFileByStreams %.0f MiB/s | "
                "throughput ratio %.2f |%s\n",
                FileBytes / MiB / platform, FileBytes / MiB / ours, platform / ours,
                ok ? "" : " (FAILED)");
    std::printf("| (of which message checks) | | %d x %.1f us = %.0f ms of %.0f ms | ratio "
                "without them %.2f |\n",
                steps, pumps / steps * 1e6, pumps * 1e3, ours * 1e3, platform / (ours - pumps));
    DeleteFileA(target.c_str());

    double plain = 1e9, sum = 1e9;
    std::uint32_t checksum = 0;
    for (int round = 0; round < 3; ++round) {
        double t = Seconds([&] { PlainRead(source); });
        plain = t < plain ? t : plain;
        t = Seconds([&] { (void)FileChecksum(source, checksum); }); // timed, not checked
        sum = t < sum ? t : sum;
    }
    std::printf("| checksum 256 MiB | plain read %.0f MiB/s | FileChecksum %.0f MiB/s | "
                "throughput ratio %.2f |\n",
                FileBytes / MiB / plain, FileBytes / MiB / sum, plain / sum);
    DeleteFileA(source.c_str());
}

// 100 keys of 99 subkeys each under the tree key: 10,000 keys in all, each with a value.
bool MakeKeyTree(const std::string& path) {
    for (int i = 0; i < 100; ++i) {
        const std::string branch = path + "\\branch" + std::to_string(i);
        for (int j = 0; j < 99; ++j) {
            if (!WriteRegDwordAt(HKEY_CURRENT_USER, branch + "\\leaf" + std::to_string(j) + "\\v",
                                 static_cast<DWORD>(j)))
                return false;
        }
    }
    return true;
}

bool KeyExists(const std::string& path) {
    RegKey key;
    return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.Receive()) ==
           ERROR_SUCCESS;
}

void BenchRegistryTree() {
    if (ThePlatformVersion().PlatformId() != VER_PLATFORM_WIN32_NT)
        std::printf("regtree: not an NT-family run; the one-call deletion is measured\n");
    const std::string path = "Software\\TarvoBench\\tree" + std::to_string(GetCurrentProcessId());
    double platform = 1e9, ours = 1e9;
    bool ok = true;
    for (int round = 0; round < 2; ++round) {
        ok = MakeKeyTree(path) && ok;
        double t =
            Seconds([&] { ok = RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str()) == 0 && ok; });
        platform = t < platform ? t : platform;
        ok = MakeKeyTree(path) && ok;
        t = Seconds([&] { ok = DeleteRegKey(HKEY_CURRENT_USER, path, true) && ok; });
        ours = t < ours ? t : ours;
        ok = ok && !KeyExists(path);
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    std::printf("| delete 10,000-key tree | RegDeleteTreeA %.1f ms | DeleteRegKey %.1f ms | "
                "time ratio %.2f |%s\n",
                platform * 1e3, ours * 1e3, ours / platform, ok ? "" : " (FAILED)");
}

std::string BenchDirectory(int n) {
    char name[64];
    std::snprintf(name, sizeof name, "C:\\Benchmark directory %06d", n);
    return name;
}

// Microseconds per call, the best of five rounds of 200 calls: shortening new long names (all
// of one stem, so that each needs the next free number) and looking up remembered ones.
void ShortPathMicroseconds(int& next, double& fresh, double& known) {
    fresh = known = 1e9;
    for (int round = 0; round < 5; ++round) {
        double t = Seconds([&] {
            for (int i = 0; i < 200; ++i)
                ComputeShortPath(BenchDirectory(next++), "");
        });
        fresh = t / 200 * 1e6 < fresh ? t / 200 * 1e6 : fresh;
        t = Seconds([&] {
            for (int i = 0; i < 200; ++i)
                ComputeShortPath(BenchDirectory(next - 1 - i * 3), "");
        });
        known = t / 200 * 1e6 < known ? t / 200 * 1e6 : known;
    }
}

void BenchShortPath() {
    int next = 0;
    double fresh[2], known[2];
    const int sizes[2] = {1000, 10000};
    for (int k = 0; k < 2; ++k) {
        while (next < sizes[k])
            ComputeShortPath(BenchDirectory(next++), "");
        ShortPathMicroseconds(next, fresh[k], known[k]);
    }
    std::printf(
        "| ComputeShortPath, new name | 1,000 remembered %.2f us | 10,000 remembered %.2f us "
        "| time ratio %.2f |\n",
        fresh[0], fresh[1], fresh[1] / fresh[0]);
    std::printf("| ComputeShortPath, remembered name | 1,000 remembered %.2f us | 10,000 "
                "remembered %.2f us | time ratio %.2f |\n",
                known[0], known[1], known[1] / known[0]);
}

bool Wanted(int argc, char** argv, const char* name) {
    if (argc < 2)
        return true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], name))
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    std::printf("| benchmark | platform | ours | ratio |\n|---|---|---|---|\n");
    if (Wanted(argc, argv, "copy") || Wanted(argc, argv, "checksum")) {
        const std::string folder = testsupport::ProgramFolder() + "\\bench-tmp";
        CreateDirectoryA(folder.c_str(), nullptr);
        BenchCopy(folder);
        testsupport::RemoveTree(folder);
    }
    if (Wanted(argc, argv, "regtree"))
        BenchRegistryTree();
    if (Wanted(argc, argv, "shortpath"))
        BenchShortPath();
    return 0;
}
