// Benchmarks of the profile-string and folder elements, each measured against the platform's
// own operation in the same run:
//   profile  2,000 WSetupProfileString install steps (2,000 keys of one section of one INI
//            file) against a plain WritePrivateProfileStringA loop writing the same keys, and
//            against the same three profile calls an install step makes
//   dir      1,000 WSetupDir install steps and uninstalls (three times) against plain
//            CreateDirectoryA and RemoveDirectoryA loops over as many folders
// Usage: textdir_bench-win2k.exe [profile] [dir]   (default: both)
// Files and folders go to a folder beside the program (inside the build tree) and are deleted.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "setup/core/macros.h"
#include "setup/elements/dir_kinds.h"
#include "setup/elements/text_file_kinds.h"
#include "support/fixtures.h"

namespace {

bool Wanted(int argc, char** argv, const char* name) {
    if (argc < 2)
        return true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return true;
    return false;
}

const int ProfileKeys = 2000;
const int Folders = 1000;
const int Rounds = 3;

std::string KeyName(int i) {
    return "Key" + std::to_string(i);
}

// The machine is shared, so the contenders take turns in batches of Batch operations over the
// whole run, and each one's batch times add up: a busy spell slows all of them alike.
const int Batch = 50;

void BenchProfile(const std::string& folder) {
    const std::string plainFile = folder + "\\plain.ini";
    const std::string threeFile = folder + "\\three.ini";
    // Every contender writes the same text, so that the files grow alike.
    const std::string value = ExpandText("<D>\\data");
    std::vector<WSetupProfileString> elements(ProfileKeys);
    for (int i = 0; i < ProfileKeys; ++i) {
        elements[i].DestDir = "<D>";
        elements[i].DestName = "ours.ini";
        elements[i].Section = "Settings";
        elements[i].Key = KeyName(i);
        elements[i].Value = "<D>\\data";
    }
    double plain = 0, three = 0, ours = 0;
    int failures = 0;
    for (int first = 0; first < ProfileKeys; first += Batch) {
        const int last = first + Batch;
        plain += Seconds([&] {
            for (int i = first; i < last; ++i)
                failures += !WritePrivateProfileStringA("Settings", KeyName(i).c_str(),
                                                        value.c_str(), plainFile.c_str());
        });
        // The three profile calls an install step makes (read the value before, write, flush),
        // without the element around them.
        three += Seconds([&] {
            char before[512];
            for (int i = first; i < last; ++i) {
                GetPrivateProfileStringA("Settings", KeyName(i).c_str(), "", before, sizeof before,
                                         threeFile.c_str());
                failures += !WritePrivateProfileStringA("Settings", KeyName(i).c_str(),
                                                        value.c_str(), threeFile.c_str());
                WritePrivateProfileStringA(nullptr, nullptr, nullptr, threeFile.c_str());
            }
        });
        ours += Seconds([&] {
            for (int i = first; i < last; ++i)
                failures += elements[i].InstallStep(0) != ProfileWritten;
        });
    }
    std::printf("| %d profile strings, one INI file | WritePrivateProfileStringA %.0f ms | "
                "WSetupProfileString::InstallStep %.0f ms | time %.2f |\n",
                ProfileKeys, plain * 1000, ours * 1000, ours / plain);
    std::printf("| (the same, against read + write + flush) | the three profile calls %.0f ms | "
                "WSetupProfileString::InstallStep %.0f ms | time %.2f |\n",
                three * 1000, ours * 1000, ours / three);
    if (failures)
        std::printf("profile: %d writes failed\n", failures);
}

void BenchDir(const std::string& folder) {
    const std::string plainBase = folder + "\\plain";
    const std::string oursBase = folder + "\\ours";
    CreateDirectoryA(plainBase.c_str(), nullptr);
    CreateDirectoryA(oursBase.c_str(), nullptr);
    // Keeps the element's parent folder from being pruned when a batch has emptied it.
    testsupport::WriteFileBytes(oursBase + "\\keep.txt", "");
    std::vector<std::string> paths;
    std::vector<WSetupDir> elements(Folders);
    for (int i = 0; i < Folders; ++i) {
        paths.push_back(plainBase + "\\Folder " + std::to_string(i));
        elements[i].DestDir = "<D>\\ours";
        elements[i].DestName = "Folder " + std::to_string(i);
    }
    double plain = 0, ours = 0;
    int failures = 0;
    for (int round = 0; round < Rounds; ++round) {
        for (int first = 0; first < Folders; first += Batch) {
            const int last = first + Batch;
            plain += Seconds([&] {
                for (int i = first; i < last; ++i)
                    failures += !CreateDirectoryA(paths[i].c_str(), nullptr);
                for (int i = first; i < last; ++i)
                    failures += !RemoveDirectoryA(paths[i].c_str());
            });
            ours += Seconds([&] {
                for (int i = first; i < last; ++i)
                    failures += elements[i].InstallStep(0) != DirCreated;
                for (int i = first; i < last; ++i)
                    failures += elements[i].Uninstall() != DirRemoved;
            });
        }
    }
    std::printf("| %d folders made and removed (%d times) | CreateDirectoryA + RemoveDirectoryA "
                "%.0f ms | WSetupDir::InstallStep + Uninstall %.0f ms | time %.2f |\n",
                Folders, Rounds, plain * 1000, ours * 1000, ours / plain);
    if (failures)
        std::printf("dir: %d operations failed\n", failures);
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = testsupport::ProgramFolder() + "\\bench-textdir-tmp";
    CreateDirectoryA(folder.c_str(), nullptr);
    SetupContext& context = TheSetupContext();
    context.Enabled = 1;
    context.MacroD = folder;
    std::printf("| benchmark | platform | ours | ratio |\n|---|---|---|---|\n");
    if (Wanted(argc, argv, "profile"))
        BenchProfile(folder);
    if (Wanted(argc, argv, "dir"))
        BenchDir(folder);
    testsupport::RemoveTree(folder);
    return 0;
}
