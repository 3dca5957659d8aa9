// Benchmarks of the line-oriented file editing and the restart scheduling:
//   replace  ReplaceInTextFile on 16 MiB and 64 MiB texts (lines of about 90 bytes, a match in
//            every eighth line): time per MiB at both sizes (linear growth), throughput with and
//            without the per-line message checks, against CopyFileA of the same file
//   reboot   ReplaceFileAtReboot and DeleteFileAtReboot on the Windows 95/98 family with 1,000
//            and 10,000 lines already in the "rename" section (linear growth); run it as the
//            -win98 copy. WININIT.INI is a copy in the benchmark's folder, never the real one.
// Usage: restart_ini_bench-win98.exe [replace] [reboot]   (default: both)
// Files go to a folder beside the program (inside the build tree) and are deleted.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bench_clock.h"
#include "setup/core/handles.h"
#include "setup/core/line_file.h"
#include "setup/core/restart_schedule.h"
#include "support/fixtures.h"

namespace {

void NoPump() {}

const double MiB = 1024.0 * 1024.0;

// A text of about `bytes` bytes in CR LF lines of about 100 bytes; every eighth holds "needle".
bool MakeText(const std::string& path, unsigned long long bytes, unsigned& lines) {
    KernelHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file.IsOpen())
        return false;
    std::string block;
    unsigned long long written = 0;
    unsigned& line = lines;
    line = 0;
    while (written < bytes) {
        block.clear();
        while (block.size() < (1u << 20)) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "Line %07u: the quick brown fox jumps over the lazy dog; "
                          "path=C:\\Program Files\\App\\%s%u.dll\r\n",
                          line, line % 8 == 0 ? "needle" : "module", line % 1000);
            block += text;
            ++line;
        }
        DWORD done = 0;
        if (!WriteFile(file.Get(), block.data(), static_cast<DWORD>(block.size()), &done,
                       nullptr) ||
            done != block.size())
            return false;
        written += done;
    }
    return true;
}

unsigned long long SizeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return static_cast<unsigned long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

struct ReplaceFigures {
    double copy = 1e9;     // CopyFileA
    double pumped = 1e9;   // ReplaceInTextFile, one message check per line
    double unpumped = 1e9; // the same without message checks
    unsigned lines = 0;
    bool ok = true;
};

ReplaceFigures MeasureReplace(const std::string& folder, unsigned long long bytes) {
    ReplaceFigures f;
    const std::string master = folder + "\\master.txt";
    const std::string work = folder + "\\work.txt";
    const std::string copy = folder + "\\copy.txt";
    if (!MakeText(master, bytes, f.lines)) {
        f.ok = false;
        return f;
    }
    for (int round = 0; round < 3; ++round) {
        DeleteFileA(copy.c_str());
        double t = Seconds([&] { f.ok = CopyFileA(master.c_str(), copy.c_str(), FALSE) && f.ok; });
        f.copy = t < f.copy ? t : f.copy;
        for (bool pump : {true, false}) {
            f.ok = CopyFileA(master.c_str(), work.c_str(), FALSE) && f.ok;
            {
                OverrideForTesting quiet(LinePumpForTesting(), pump ? nullptr : &NoPump);
                t = Seconds([&] { f.ok = ReplaceInTextFile(work, "needle", "pin", true) && f.ok; });
            }
            double& best = pump ? f.pumped : f.unpumped;
            best = t < best ? t : best;
        }
    }
    // "needle" became "pin" in every eighth line.
    f.ok = f.ok && SizeOf(work) == SizeOf(master) - 3ULL * ((f.lines + 7) / 8);
    DeleteFileA(master.c_str());
    DeleteFileA(work.c_str());
    DeleteFileA(copy.c_str());
    return f;
}

void BenchReplace(const std::string& folder) {
    const unsigned long long sizes[2] = {16ULL << 20, 64ULL << 20};
    ReplaceFigures f[2];
    for (int k = 0; k < 2; ++k)
        f[k] = MeasureReplace(folder, sizes[k]);
    for (int k = 0; k < 2; ++k) {
        const double mib = sizes[k] / MiB;
        std::printf("| ReplaceInTextFile %.0f MiB | CopyFileA %.0f MiB/s | with message checks "
                    "%.1f MiB/s (%.2f s), without %.1f MiB/s (%.2f s) | throughput ratio "
                    "without / CopyFileA %.2f |%s\n",
                    mib, mib / f[k].copy, mib / f[k].pumped, f[k].pumped, mib / f[k].unpumped,
                    f[k].unpumped, f[k].copy / f[k].unpumped, f[k].ok ? "" : " (FAILED)");
    }
    std::printf("| ReplaceInTextFile 64 MiB / 16 MiB | | time ratio with checks %.2f, without "
                "%.2f | 4.00 is linear |\n",
                f[1].pumped / f[0].pumped, f[1].unpumped / f[0].unpumped);
    std::printf("| (message checks) | | %u lines: %.1f us per line | |\n", f[1].lines,
                (f[1].pumped - f[1].unpumped) / f[1].lines * 1e6);
}

// WININIT.INI kept in the benchmark's folder; the platform id is the real one.
class BenchPlatform : public RestartPlatform {
public:
    std::string windows;
    std::string WindowsFolder() override { return windows; }
    bool MoveAtRestart(const std::string&, const std::string&) override { return false; }
};

bool MakeWininit(const std::string& path, int renameLines) {
    std::string text = "[Compatibility]\r\n";
    for (int i = 0; i < 20; ++i)
        text += "APP" + std::to_string(i) + "=0x00000001\r\n";
    text += "\r\n[rename]\r\n";
    for (int i = 0; i < renameLines; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "NUL=C:\\OLDFILES\\F%07d.DLL\r\n", i);
        text += line;
    }
    text += "\r\n[CombineVxDs]\r\nx=1\r\n";
    return testsupport::WriteFileBytes(path, text);
}

struct RebootFigures {
    double replace = 1e9;
    double remove = 1e9;
    bool ok = true;
};

RebootFigures MeasureReboot(const std::string& folder, const std::string& ini, int renameLines) {
    RebootFigures f;
    const std::string target = folder + "\\TARGET.DLL";
    const std::string newer = folder + "\\NEWER.DLL";
    f.ok = testsupport::WriteFileBytes(target, std::string(4096, 'o')) &&
           testsupport::WriteFileBytes(newer, std::string(4096, 'n'));
    for (int round = 0; round < 5; ++round) {
        f.ok = MakeWininit(ini, renameLines) && f.ok;
        double t = Seconds([&] { f.ok = ReplaceFileAtReboot(newer, target) && f.ok; });
        f.replace = t < f.replace ? t : f.replace;
        f.ok = MakeWininit(ini, renameLines) && f.ok;
        t = Seconds([&] { f.ok = DeleteFileAtReboot(target) && f.ok; });
        f.remove = t < f.remove ? t : f.remove;
        // Only the two files of the benchmark stay (staging copies are removed).
        WIN32_FIND_DATAA data;
        FindHandle find(FindFirstFileA((folder + "\\?????").c_str(), &data));
        if (find.IsOpen()) {
            do {
                DeleteFileA((folder + "\\" + data.cFileName).c_str());
            } while (FindNextFileA(find.Get(), &data));
        }
    }
    return f;
}

void BenchReboot(const std::string& folder) {
    BenchPlatform platform;
    platform.windows = folder + "\\windows";
    CreateDirectoryA(platform.windows.c_str(), nullptr);
    OverrideForTesting standIn(RestartPlatformForTesting(), &platform);
    if (platform.PlatformId() != 1)
        std::printf("reboot: not a Windows 95/98 run; the delayed-move path is measured\n");
    const std::string ini = platform.windows + "\\WININIT.INI";
    const int sizes[2] = {1000, 10000};
    RebootFigures f[2], quiet[2];
    for (int k = 0; k < 2; ++k) {
        f[k] = MeasureReboot(folder, ini, sizes[k]);
        OverrideForTesting noPump(LinePumpForTesting(), &NoPump);
        quiet[k] = MeasureReboot(folder, ini, sizes[k]);
    }
    const char* names[2] = {"ReplaceFileAtReboot", "DeleteFileAtReboot"};
    for (int which = 0; which < 2; ++which) {
        auto pick = [&](const RebootFigures& r) { return which == 0 ? r.replace : r.remove; };
        std::printf("| %s, \"rename\" with 1,000 / 10,000 lines | with message checks %.2f / "
                    "%.2f ms, without %.2f / %.2f ms | time ratio with %.2f, without %.2f | "
                    "10.00 is linear |%s\n",
                    names[which], pick(f[0]) * 1e3, pick(f[1]) * 1e3, pick(quiet[0]) * 1e3,
                    pick(quiet[1]) * 1e3, pick(f[1]) / pick(f[0]), pick(quiet[1]) / pick(quiet[0]),
                    f[0].ok && f[1].ok && quiet[0].ok && quiet[1].ok ? "" : " (FAILED)");
    }
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
    const std::string folder = testsupport::ProgramFolder() + "\\bench-restart-tmp";
    testsupport::RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    // The temporary files of the edits go to the same folder (and volume).
    SetEnvironmentVariableA("TMP", folder.c_str());
    std::printf("| benchmark | platform | ours | ratio |\n|---|---|---|---|\n");
    if (Wanted(argc, argv, "replace"))
        BenchReplace(folder);
    if (Wanted(argc, argv, "reboot"))
        BenchReboot(folder);
    testsupport::RemoveTree(folder);
    return 0;
}
