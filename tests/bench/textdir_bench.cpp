// Benchmarks of the profile-string and folder elements, each measured against the platform's
// own operation in the same run:
//   profile  2,000 WSetupProfileString install steps (2,000 keys of one section of one INI
//            file) against a plain WritePrivateProfileStringA loop writing the same keys
//   dir      1,000 WSetupDir install steps and then 1,000 uninstalls against plain
//            CreateDirectoryA and RemoveDirectoryA loops over the same folders
// Usage: textdir_bench-win2k.exe [profile] [dir]   (default: both)
// Files and folders go to a folder beside the program (inside the build tree) and are deleted.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "setup/core/macros.h"
#include "setup/elements/dir_kinds.h"
#include "setup/elements/text_file_kinds.h"
#include "support/fixtures.h"

namespace {

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename F> double Seconds(F&& work) {
    double start = Now();
    work();
    return Now() - start;
}

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

// Each contender runs three times, alternating; the best time of each counts.
void BenchProfile(const std::string& folder) {
    const std::string plainFile = folder + "\\plain.ini";
    const std::string oursFile = folder + "\\ours.ini";
    double bestPlain = 1e9, bestOurs = 1e9, bestThree = 1e9;
    // Every contender writes the same text, so that the files grow alike.
    const std::string value = ExpandText("<D>\\data");
    int failures = 0;
    for (int round = 0; round < Rounds; ++round) {
        DeleteFileA(plainFile.c_str());
        DeleteFileA(oursFile.c_str());
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, nullptr);
        double plain = Seconds([&] {
            for (int i = 0; i < ProfileKeys; ++i)
                if (!WritePrivateProfileStringA("Settings", KeyName(i).c_str(), value.c_str(),
                                                plainFile.c_str()))
                    ++failures;
        });
        // The three profile calls an install step makes (read the value before, write, flush),
        // without the element around them.
        DeleteFileA(plainFile.c_str());
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, nullptr);
        double three = Seconds([&] {
            char before[512];
            for (int i = 0; i < ProfileKeys; ++i) {
                GetPrivateProfileStringA("Settings", KeyName(i).c_str(), "", before, sizeof before,
                                         plainFile.c_str());
                if (!WritePrivateProfileStringA("Settings", KeyName(i).c_str(), value.c_str(),
                                                plainFile.c_str()))
                    ++failures;
                WritePrivateProfileStringA(nullptr, nullptr, nullptr, plainFile.c_str());
            }
        });
        bestThree = three < bestThree ? three : bestThree;
        std::vector<WSetupProfileString> elements(ProfileKeys);
        for (int i = 0; i < ProfileKeys; ++i) {
            elements[i].DestDir = "<D>";
            elements[i].DestName = "ours.ini";
            elements[i].Section = "Settings";
            elements[i].Key = KeyName(i);
            elements[i].Value = "<D>\\data";
        }
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, nullptr);
        double ours = Seconds([&] {
            for (WSetupProfileString& element : elements)
                if (element.InstallStep(0) != 0)
                    ++failures;
        });
        bestPlain = plain < bestPlain ? plain : bestPlain;
        bestOurs = ours < bestOurs ? ours : bestOurs;
    }
    std::printf("| %d profile strings, one INI file | WritePrivateProfileStringA %.0f ms | "
                "WSetupProfileString::InstallStep %.0f ms | time %.2f |\n",
                ProfileKeys, bestPlain * 1000, bestOurs * 1000, bestOurs / bestPlain);
    std::printf("| (the same, as read + write + flush) | the three profile calls %.0f ms | "
                "WSetupProfileString::InstallStep %.0f ms | time %.2f |\n",
                bestThree * 1000, bestOurs * 1000, bestOurs / bestThree);
    if (failures)
        std::printf("profile: %d writes failed\n", failures);
}

void BenchDir(const std::string& folder) {
    const std::string base = folder + "\\dirs";
    CreateDirectoryA(base.c_str(), nullptr);
    std::vector<std::string> paths;
    for (int i = 0; i < Folders; ++i)
        paths.push_back(base + "\\Folder " + std::to_string(i));
    double bestPlain = 1e9, bestOurs = 1e9;
    int failures = 0;
    for (int round = 0; round < Rounds; ++round) {
        double plain = Seconds([&] {
            for (const std::string& path : paths)
                failures += !CreateDirectoryA(path.c_str(), nullptr);
            for (const std::string& path : paths)
                failures += !RemoveDirectoryA(path.c_str());
        });
        std::vector<WSetupDir> elements(Folders);
        for (int i = 0; i < Folders; ++i) {
            elements[i].DestDir = "<D>\\dirs";
            elements[i].DestName = "Folder " + std::to_string(i);
        }
        double ours = Seconds([&] {
            for (WSetupDir& element : elements)
                failures += element.InstallStep(0) != 0;
            for (WSetupDir& element : elements)
                failures += element.Uninstall() != 0;
        });
        // The last uninstall pruned the emptied parent; the next round needs it again.
        CreateDirectoryA(base.c_str(), nullptr);
        bestPlain = plain < bestPlain ? plain : bestPlain;
        bestOurs = ours < bestOurs ? ours : bestOurs;
    }
    std::printf("| %d folders made and removed | CreateDirectoryA + RemoveDirectoryA %.0f ms | "
                "WSetupDir::InstallStep + Uninstall %.0f ms | time %.2f |\n",
                Folders, bestPlain * 1000, bestOurs * 1000, bestOurs / bestPlain);
    if (failures)
        std::printf("dir: %d operations failed\n", failures);
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = testsupport::ProgramFolder() + "\\bench-textdir-tmp";
    CreateDirectoryA(folder.c_str(), nullptr);
    // Keeps the folder from being pruned with the emptied folder of the dir benchmark.
    testsupport::WriteFileBytes(folder + "\\keep.txt", "");
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
