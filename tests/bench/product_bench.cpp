// The product engine against plain Win32 loops doing the same work:
//   compare  a generated product of 2,000 files in 50 folders, 2,000 registry values and 200
//            shortcuts, installed by the engine against CreateDirectoryA, CopyFileA,
//            RegSetValueExA and the shell link object, and removed by the engine from its log
//            against plain deletion calls in the engine's order (last installed first), both
//            removing the folders they made
//   kinds    the same comparison for the files, the values and the links (with their files) alone
//   growth   the engine installing 0, 500 and 2,000 files (files only)
//   flush    what one flushed intent costs the log: the log's writer announcing steps (each
//            flushed) against the same writer recording outcomes of the same length (unflushed)
// Both contenders run as a process of their own, started the way the loader starts the engine
// (the plain loops are this program started again with "plain-install" or "plain-remove"), so
// both pay a process start and their own Wine server connection.
// Usage: product_bench-win2k.exe [compare] [kinds] [growth] [flush]   (default: compare, growth
// and flush). The request count (count_requests.sh) starts the contenders itself, with
//   prepare <work> <files> <values> <links>   the medium and its description only
//   clean <work>                              everything the contenders left
// Everything goes to a folder beside the program (inside the build tree) and under
// HKEY_CURRENT_USER\Software\TarvoBench, and is deleted again.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "setup/core/handles.h"
#include "setup/core/sysfolders.h"
#include "support/fixtures.h"
#include "transaction_log.h"

namespace {

const char* const BenchKey = "Software\\TarvoBench\\Product";
constexpr int Folders = 50;

struct Shape {
    int files;
    int values;
    int links;
};

std::string FolderName(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%02d", i % Folders);
    return name;
}

std::string FileName(int i) {
    return "file" + std::to_string(i) + ".dat";
}

// The medium: `files` small files and the description of the product.
void MakeMedium(const std::string& medium, const std::string& destination, const Shape& shape) {
    CreateDirectoryA(medium.c_str(), nullptr);
    CreateDirectoryA((medium + "\\files").c_str(), nullptr);
    std::string body(1024, 'x');
    for (int i = 0; i < shape.files; ++i)
        testsupport::WriteFileBytes(medium + "\\files\\" + FileName(i), body);
    std::string d = "[Product]\r\nName = Bench\r\nDestination = " + destination +
                    "\r\nGroup = Tarvo Bench\r\n[Component Main]\r\n";
    for (int i = 0; i < shape.files; ++i)
        d += "[WSetupFile F" + std::to_string(i) +
             "]\r\nComponent = Main\r\nSourceDir = <S>\\files\r\nMediaName = " + FileName(i) +
             "\r\nDestDir = <D>\\" + FolderName(i) + "\r\nDestName = " + FileName(i) +
             "\r\nCopyMode = 0\r\n";
    for (int i = 0; i < shape.values; ++i)
        d += "[WSetupRegEntry R" + std::to_string(i) +
             "]\r\nComponent = Main\r\nRootName = HKEY_CURRENT_USER\r\nKeyPath = " + BenchKey +
             "\\" + FolderName(i) + "\r\nValueName = v" + std::to_string(i) +
             "\r\nValueData = value " + std::to_string(i) + "\r\nValueType = STRING\r\n";
    for (int i = 0; i < shape.links; ++i)
        d += "[WSetupShortcut L" + std::to_string(i) + "]\r\nComponent = Main\r\nLinkName = Link " +
             std::to_string(i) + "\r\nDestDir = <D>\\" + FolderName(i) +
             "\r\nDestName = " + FileName(i) + "\r\n";
    testsupport::WriteFileBytes(medium + "\\product.txt", d);
}

// The log's flushes in the engine's last run: how many, and the seconds they took.
struct Flushes {
    long count = 0;
    double seconds = 0;
};
Flushes lastFlushes;

// The engine is its benchmarks' build (productengine_flushcount): the same sources, with every
// flush of the log counted and timed.
double RunEngine(const std::string& words) {
    std::string engine = testsupport::ProgramFolder() + "\\standins\\productengine_flushcount.exe";
    const std::string report = testsupport::ProgramFolder() + "\\bench-flushes.txt";
    DeleteFileA(report.c_str());
    SetEnvironmentVariableA("TARVO_FLUSH_REPORT", report.c_str());
    double start = Now();
    long code = testsupport::RunAndWait("\"" + engine + "\" " + words, 600000);
    double seconds = Now() - start;
    if (code != 0)
        std::printf("  (the engine answered %ld)\n", code);
    lastFlushes = Flushes();
    std::string text = testsupport::ReadFileBytes(report);
    long microseconds = 0;
    if (std::sscanf(text.c_str(), "flushes %ld microseconds %ld", &lastFlushes.count,
                    &microseconds) == 2)
        lastFlushes.seconds = microseconds / 1e6;
    DeleteFileA(report.c_str());
    return seconds;
}

std::string GroupFolder() {
    return TheSystemFolders().Programs() + "\\Tarvo Bench";
}

// The plain script: the same files, values and links through the platform's own calls.
double PlainInstall(const std::string& medium, const std::string& destination, const Shape& shape) {
    double start = Now();
    CreateDirectoryA(destination.c_str(), nullptr);
    for (int f = 0; f < Folders; ++f)
        CreateDirectoryA((destination + "\\" + FolderName(f)).c_str(), nullptr);
    for (int i = 0; i < shape.files; ++i)
        CopyFileA((medium + "\\files\\" + FileName(i)).c_str(),
                  (destination + "\\" + FolderName(i) + "\\" + FileName(i)).c_str(), FALSE);
    for (int i = 0; i < shape.values; ++i) {
        RegKey key;
        std::string path = std::string(BenchKey) + "\\" + FolderName(i);
        RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.Receive(), nullptr);
        std::string data = "value " + std::to_string(i);
        RegSetValueExA(key.Get(), ("v" + std::to_string(i)).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
    }
    ComScope com;
    CreateDirectoryA(GroupFolder().c_str(), nullptr);
    for (int i = 0; i < shape.links; ++i) {
        ComPtr<IShellLinkA> link;
        if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                    link.Receive())))
            continue;
        ComPtr<IPersistFile> file;
        link->QueryInterface(IID_IPersistFile, file.Receive());
        std::string target = destination + "\\" + FolderName(i) + "\\" + FileName(i);
        link->SetPath(target.c_str());
        link->SetWorkingDirectory((destination + "\\" + FolderName(i)).c_str());
        std::string name = GroupFolder() + "\\Link " + std::to_string(i) + ".LNK";
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wide, MAX_PATH);
        if (file)
            file->Save(wide, TRUE);
    }
    return Now() - start;
}

// The engine undoes its elements last installed first: shortcuts, then values, then files, each
// kind from its last element back. The plain script deletes in that order too.
double PlainRemove(const std::string& destination, const Shape& shape) {
    double start = Now();
    for (int i = shape.links - 1; i >= 0; --i)
        DeleteFileA((GroupFolder() + "\\Link " + std::to_string(i) + ".LNK").c_str());
    RemoveDirectoryA(GroupFolder().c_str());
    for (int i = shape.values - 1; i >= 0; --i) {
        RegKey key;
        std::string path = std::string(BenchKey) + "\\" + FolderName(i);
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, key.Receive()) ==
            ERROR_SUCCESS)
            RegDeleteValueA(key.Get(), ("v" + std::to_string(i)).c_str());
    }
    // The keys the installation created go too, as the engine's removal takes them back.
    if (shape.values > 0) {
        for (int f = Folders - 1; f >= 0; --f)
            RegDeleteKeyA(HKEY_CURRENT_USER,
                          (std::string(BenchKey) + "\\" + FolderName(f)).c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, BenchKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\TarvoBench");
    }
    for (int i = shape.files - 1; i >= 0; --i)
        DeleteFileA((destination + "\\" + FolderName(i) + "\\" + FileName(i)).c_str());
    for (int f = 0; f < Folders; ++f)
        RemoveDirectoryA((destination + "\\" + FolderName(f)).c_str());
    RemoveDirectoryA(destination.c_str());
    return Now() - start;
}

std::string ThisProgram() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n);
}

// Runs this program again with `words`, timed from the start of the process to its end.
double RunPlain(const std::string& words) {
    double start = Now();
    long code = testsupport::RunAndWait("\"" + ThisProgram() + "\" " + words, 600000);
    double seconds = Now() - start;
    if (code != 0)
        std::printf("  (the plain script answered %ld)\n", code);
    return seconds;
}

std::string ShapeWords(const Shape& shape) {
    return std::to_string(shape.files) + " " + std::to_string(shape.values) + " " +
           std::to_string(shape.links);
}

void CleanUp(const std::string& work) {
    testsupport::RemoveTree(work);
    testsupport::RemoveTree(GroupFolder());
    RegKey bench;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_ALL_ACCESS, bench.Receive()) ==
        ERROR_SUCCESS) {
        for (int f = 0; f < Folders; ++f)
            RegDeleteKeyA(HKEY_CURRENT_USER,
                          (std::string(BenchKey) + "\\" + FolderName(f)).c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, BenchKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\TarvoBench");
    }
}

struct Times {
    double install;
    double remove;
    Flushes flushes; // of the installation
};

Times EngineRound(const std::string& work, const Shape& shape) {
    std::string medium = work + "\\medium";
    std::string destination = work + "\\engine-dest";
    CleanUp(work);
    CreateDirectoryA(work.c_str(), nullptr);
    MakeMedium(medium, destination, shape);
    Times t;
    t.install = RunEngine("mode=install \"description=" + medium +
                          "\\product.txt\" \"output=" + work + "\\install.out\"");
    t.flushes = lastFlushes;
    t.remove = RunEngine("mode=remove \"log=" + destination + "\\install.log\" \"output=" + work +
                         "\\remove.out\"");
    return t;
}

Times PlainRound(const std::string& work, const Shape& shape) {
    std::string medium = work + "\\medium";
    std::string destination = work + "\\plain-dest";
    CleanUp(work);
    CreateDirectoryA(work.c_str(), nullptr);
    MakeMedium(medium, destination, shape);
    Times t;
    t.install =
        RunPlain("plain-install \"" + medium + "\" \"" + destination + "\" " + ShapeWords(shape));
    t.remove = RunPlain("plain-remove \"" + destination + "\" " + ShapeWords(shape));
    return t;
}

bool Wanted(int argc, char** argv, const char* name, bool byDefault) {
    if (argc < 2)
        return byDefault;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return true;
    return false;
}

// Best of `rounds` alternating rounds, plain first.
void Compare(const std::string& work, const Shape& shape, const char* name, int rounds) {
    Times best{1e9, 1e9, {}}, plain{1e9, 1e9, {}};
    for (int round = 0; round < rounds; ++round) {
        Times p = PlainRound(work, shape);
        Times e = EngineRound(work, shape);
        std::printf("  round %d: install plain %.2f s, engine %.2f s (%ld log flushes, %.2f s); "
                    "remove plain %.2f s, engine %.2f s\n",
                    round + 1, p.install, e.install, e.flushes.count, e.flushes.seconds, p.remove,
                    e.remove);
        plain = {std::min(plain.install, p.install), std::min(plain.remove, p.remove), {}};
        if (e.install < best.install)
            best.flushes = e.flushes;
        best = {std::min(best.install, e.install), std::min(best.remove, e.remove), best.flushes};
    }
    std::printf("%s: install plain %.2f s, engine %.2f s, ratio %.2f (aim <= 1.3); remove plain "
                "%.2f s, engine %.2f s, ratio %.2f (aim <= 1.2)\n",
                name, plain.install, best.install, best.install / plain.install, plain.remove,
                best.remove, best.remove / plain.remove);
    const double withoutFlushes = best.install - best.flushes.seconds;
    std::printf("  the engine's best installation flushed its log %ld times in %.2f s (%.0f us "
                "each); without that time: %.2f s, ratio %.2f\n",
                best.flushes.count, best.flushes.seconds,
                best.flushes.count ? best.flushes.seconds / best.flushes.count * 1e6 : 0.0,
                withoutFlushes, withoutFlushes / plain.install);
}

// A file element's intent as the engine writes it: the full record and the destination's state.
LoggedStep TypicalStep(int n) {
    LoggedStep step;
    step.number = n;
    step.className = "WSetupFile";
    step.component = "Main";
    step.record = "F" + std::to_string(n) + ",Main,<S>\\files,file" + std::to_string(n) +
                  ".dat,<D>\\f07,file" + std::to_string(n) + ".dat,0,0,1,0,0,,,010000,,,";
    Saved file;
    file.kind = Saved::Kind::File;
    file.path = "C:\\Program Files\\Bench\\f07\\file" + std::to_string(n) + ".dat";
    step.saved.push_back(file);
    Saved folder;
    folder.kind = Saved::Kind::Folder;
    folder.path = "C:\\Program Files\\Bench\\f07";
    step.saved.push_back(folder);
    return step;
}

// Seconds for `count` lines through the log's writer: flushed intents, or unflushed outcomes of
// the same length.
double WriteLines(const std::string& path, int count, bool flushed) {
    TransactionWriter writer;
    if (!writer.Begin(path, {}))
        return -1;
    std::vector<LoggedStep> steps;
    for (int i = 0; i < count; ++i)
        steps.push_back(TypicalStep(i + 1));
    double start = Now();
    for (const LoggedStep& step : steps) {
        const bool ok =
            flushed ? writer.Announce(step)
                    : writer.Record(step.number, 0, StepMeaning::Done, IntentLine(step).substr(30));
        if (!ok)
            return -1;
    }
    return Now() - start;
}

void FlushCost(const std::string& work, int count, int rounds) {
    CreateDirectoryA(work.c_str(), nullptr);
    const std::string path = work + "\\flush.log";
    double flushed = 1e9, plain = 1e9;
    for (int round = 0; round < rounds; ++round) {
        plain = std::min(plain, WriteLines(path, count, false));
        DeleteFileA(path.c_str());
        flushed = std::min(flushed, WriteLines(path, count, true));
        DeleteFileA(path.c_str());
    }
    std::printf("log lines, %d of each: unflushed %.1f us a line, flushed %.1f us a line; one "
                "flush %.1f us\n",
                count, plain / count * 1e6, flushed / count * 1e6, (flushed - plain) / count * 1e6);
}

} // namespace

// The plain script's own process: plain-install <medium> <destination> <files> <values> <links>
// or plain-remove <destination> <files> <values> <links>.
int PlainScript(int argc, char** argv) {
    bool install = std::strcmp(argv[1], "plain-install") == 0;
    int first = install ? 4 : 3;
    if (argc != first + 3)
        return 2;
    Shape shape{std::atoi(argv[first]), std::atoi(argv[first + 1]), std::atoi(argv[first + 2])};
    if (install)
        PlainInstall(argv[2], argv[3], shape);
    else
        PlainRemove(argv[2], shape);
    return 0;
}

int main(int argc, char** argv) {
    if (argc > 1 &&
        (std::strcmp(argv[1], "plain-install") == 0 || std::strcmp(argv[1], "plain-remove") == 0))
        return PlainScript(argc, argv);
    if (argc == 6 && std::strcmp(argv[1], "prepare") == 0) {
        const std::string work = argv[2];
        const Shape shape{std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5])};
        CleanUp(work);
        CreateDirectoryA(work.c_str(), nullptr);
        MakeMedium(work + "\\medium", work + "\\dest", shape);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "clean") == 0) {
        CleanUp(argv[2]);
        return 0;
    }
    std::string work = testsupport::ProgramFolder() + "\\bench-product";
    if (Wanted(argc, argv, "compare", true))
        Compare(work, Shape{2000, 2000, 200}, "whole product, 2000 files, 2000 values, 200 links",
                3);
    if (Wanted(argc, argv, "kinds", false)) {
        Compare(work, Shape{2000, 0, 0}, "2000 files alone", 3);
        Compare(work, Shape{0, 2000, 0}, "2000 values alone", 3);
        Compare(work, Shape{200, 0, 200}, "200 links with their files", 3);
    }
    if (Wanted(argc, argv, "growth", true)) {
        // The empty product is the engine's fixed cost (process start, description, log); the
        // growth without it shows how the work per file scales.
        double none = 1e9, small = 1e9, large = 1e9;
        for (int round = 0; round < 3; ++round) {
            none = std::min(none, EngineRound(work, Shape{0, 0, 0}).install);
            small = std::min(small, EngineRound(work, Shape{500, 0, 0}).install);
            large = std::min(large, EngineRound(work, Shape{2000, 0, 0}).install);
        }
        std::printf("engine install, files only: no files %.2f s, 500 files %.2f s, 2000 files "
                    "%.2f s; growth %.2f for 4x the files, %.2f without the fixed cost "
                    "(linear: 4)\n",
                    none, small, large, large / small, (large - none) / (small - none));
    }
    if (Wanted(argc, argv, "flush", true))
        FlushCost(work, 2000, 3);
    CleanUp(work);
    return 0;
}
