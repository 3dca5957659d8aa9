// The start-menu walk of the shortcut finder against a bare FindFirstFileA walk of the same
// generated tree, and the walk's growth from 2,500 to 10,000 folders.
//
// Usage: tests/bench/run.sh finder_bench-win2k [rounds]   (default 7 rounds; medians reported)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "plugin/shortcut_finder.h"
#include "support/fixtures.h"
#include "setup/core/handles.h"

namespace {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A start-menu-like tree below `root` holding `folders` folders besides the root: groups of one
// folder with 99 subfolders; every tenth folder holds a link-sized file, every hundredth a
// "HotSync Manager.lnk".
bool MakeTree(const std::string& root, int folders) {
    if (!CreateDirectoryA(root.c_str(), nullptr))
        return false;
    char name[64];
    for (int group = 0; group * 100 < folders; ++group) {
        std::snprintf(name, sizeof name, "\\Group %03d", group);
        std::string groupPath = root + name;
        if (!CreateDirectoryA(groupPath.c_str(), nullptr))
            return false;
        for (int sub = 1; sub < 100 && group * 100 + sub < folders; ++sub) {
            std::snprintf(name, sizeof name, "\\Program %02d", sub);
            std::string path = groupPath + name;
            if (!CreateDirectoryA(path.c_str(), nullptr))
                return false;
            if (sub % 10 == 0)
                testsupport::WriteFileBytes(path + "\\Readme.lnk", std::string(400, 'L'));
            if (sub == 50)
                testsupport::WriteFileBytes(path + "\\HotSync Manager.lnk", std::string(400, 'L'));
        }
    }
    return true;
}

// The bare walk: enumerate every folder once, recursing into subfolders.
std::size_t BareWalk(const std::string& folder) {
    std::size_t count = 1;
    WIN32_FIND_DATAA entry;
    FindHandle search(FindFirstFileA((folder + "\\*.*").c_str(), &entry));
    if (!search)
        return count;
    do {
        const char* n = entry.cFileName;
        bool dots = n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0));
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !dots)
            count += BareWalk(folder + "\\" + n);
    } while (FindNextFileA(search.Get(), &entry));
    return count;
}

std::size_t FinderWalk(const std::string& root) {
    ShortcutFinder finder;
    finder.AddRoot(root, 1);
    finder.BuildFolderList();
    return finder.Folders().size();
}

// One walk of `root` by each method (the order alternates between rounds, so that neither
// always runs on caches the other warmed), and one lookup over the finder's list.
struct Round {
    double bare = 0;
    double finder = 0;
    double lookup = 0;
};

Round MeasureOnce(const std::string& root, std::size_t expected, bool bareFirst) {
    Round r;
    std::size_t bareCount = 0;
    std::size_t finderCount = 0;
    for (int pass = 0; pass < 2; ++pass) {
        double t0 = Now();
        if ((pass == 0) == bareFirst) {
            bareCount = BareWalk(root);
            r.bare = Now() - t0;
        } else {
            finderCount = FinderWalk(root);
            r.finder = Now() - t0;
        }
    }
    if (bareCount != expected || finderCount != expected) {
        std::fprintf(stderr, "walk listed %zu / %zu folders, expected %zu\n", bareCount,
                     finderCount, expected);
        std::exit(2);
    }
    ShortcutFinder finder;
    finder.AddRoot(root, 1);
    finder.BuildFolderList();
    FinderResult result;
    double t0 = Now();
    finder.FindFile("HotSync Manager.lnk", result);
    r.lookup = Now() - t0;
    return r;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string base =
        std::string(temp) + "tarvo-finder-bench-" + std::to_string(GetCurrentProcessId());
    if (!CreateDirectoryA(base.c_str(), nullptr)) {
        std::fprintf(stderr, "cannot create %s\n", base.c_str());
        return 2;
    }
    std::string small = base + "\\Start Menu 2500";
    std::string large = base + "\\Start Menu 10000";
    double t0 = Now();
    bool made = MakeTree(small, 2500) && MakeTree(large, 10000);
    std::printf("tree generation: %.2f s\n", Now() - t0);
    if (!made) {
        std::fprintf(stderr, "cannot generate the trees below %s\n", base.c_str());
        testsupport::RemoveTree(base);
        return 2;
    }

    // Every round measures both trees, so that a change in the machine's load between rounds
    // falls on both; the ratios are taken per round and their medians reported.
    BareWalk(small);
    BareWalk(large);
    std::vector<Round> smallRounds, largeRounds;
    std::vector<double> ratios, growths, bareGrowths;
    for (int i = 0; i < rounds; ++i) {
        Round s = MeasureOnce(small, 2501, i % 2 == 0);
        Round l = MeasureOnce(large, 10001, i % 2 == 0);
        smallRounds.push_back(s);
        largeRounds.push_back(l);
        ratios.push_back(l.finder / l.bare);
        growths.push_back(l.finder / s.finder);
        bareGrowths.push_back(l.bare / s.bare);
    }
    testsupport::RemoveTree(base);

    std::printf("rounds: %d (medians)\n", rounds);
    std::printf("%-8s %12s %12s %14s %12s\n", "folders", "bare ms", "finder ms", "finder us/dir",
                "lookup ms");
    for (auto [count, list] :
         {std::pair<int, const std::vector<Round>*>{2500, &smallRounds}, {10000, &largeRounds}}) {
        std::vector<double> bare, finder, lookup;
        for (const Round& r : *list) {
            bare.push_back(r.bare);
            finder.push_back(r.finder);
            lookup.push_back(r.lookup);
        }
        std::printf("%-8d %12.1f %12.1f %14.1f %12.1f\n", count, Median(bare) * 1e3,
                    Median(finder) * 1e3, Median(finder) * 1e6 / (count + 1), Median(lookup) * 1e3);
    }
    double ratio = Median(ratios);
    double growth = Median(growths);
    double bareGrowth = Median(bareGrowths);
    std::printf("finder/bare at 10,000 folders: %.2f (aim <= 1.5): %s\n", ratio,
                ratio <= 1.5 ? "met" : "MISSED");
    // Four times the folders: 4.0 is linear. The bare walk's own growth shows what the file
    // system adds; the finder's duplicate tests must add no growth of their own.
    std::printf("growth 2,500 -> 10,000 folders: finder %.2fx, bare walk %.2fx (linear: 4.0; "
                "aim: finder <= 5.0 and within 10%% of the bare walk): %s\n",
                growth, bareGrowth, growth <= 5.0 && growth <= bareGrowth * 1.1 ? "met" : "MISSED");
    return 0;
}
