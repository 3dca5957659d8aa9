// The folder-walking file search on trees built in a temporary folder.
#include "plugin/shortcut_finder.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/fixtures.h"

using testsupport::TempFolder;

namespace {

void MakeFolder(const std::string& path) {
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
}

bool IsBelow(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '\\';
}

// A tree of seven folders: root, A, A\A1, A\A2, A\A2\Deep, B, B\B1.
class FinderTree : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"A", "A\\A1", "A\\A2", "A\\A2\\Deep", "B", "B\\B1"})
            MakeFolder(tree / name);
        ASSERT_TRUE(testsupport::WriteFileBytes(tree / "A\\plain.txt", "x"));
    }
    TempFolder tree;
};

TEST_F(FinderTree, WalksDepthFirstListingEveryFolderOnce) {
    ShortcutFinder finder;
    ASSERT_EQ(finder.AddRoot(tree.Path(), 1), 1);
    finder.BuildFolderList();
    const TextList& folders = finder.Folders();
    ASSERT_EQ(folders.size(), 7u);
    EXPECT_EQ(folders[0], tree.Path());
    for (const char* name : {"A", "A\\A1", "A\\A2", "A\\A2\\Deep", "B", "B\\B1"})
        EXPECT_EQ(std::count(folders.begin(), folders.end(), tree / name), 1) << name;
    // Depth first: the folders below each folder follow it as one block.
    for (std::size_t i = 0; i < folders.size(); ++i) {
        std::size_t j = i + 1;
        while (j < folders.size() && IsBelow(folders[j], folders[i]))
            ++j;
        for (std::size_t k = j; k < folders.size(); ++k)
            EXPECT_FALSE(IsBelow(folders[k], folders[i])) << folders[k] << " after " << folders[i];
    }

    // Rebuilding starts from an empty list.
    finder.BuildFolderList();
    EXPECT_EQ(finder.Folders().size(), 7u);
}

TEST_F(FinderTree, RootsWithoutRecursionAndMissingRoots) {
    ShortcutFinder finder;
    EXPECT_EQ(finder.AddRoot(tree / "missing", 1), 0);
    EXPECT_EQ(finder.AddRoot(tree / "A\\plain.txt", 1), 0);
    EXPECT_EQ(finder.AddRoot(tree / "B", 0), 1);
    EXPECT_EQ(finder.Roots(), TextList{tree / "B"});
    EXPECT_EQ(finder.RecurseFlags(), std::vector<int>{0});
    finder.BuildFolderList();
    EXPECT_EQ(finder.Folders(), TextList{tree / "B"});
}

TEST_F(FinderTree, FolderReachedTwiceIsListedOnce) {
    ShortcutFinder finder;
    ASSERT_EQ(finder.AddRoot(tree.Path(), 1), 1);
    ASSERT_EQ(finder.AddRoot(tree.Path(), 1), 1);
    ASSERT_EQ(finder.AddRoot(tree.Path() + "\\", 1), 1);
    ASSERT_EQ(finder.AddRoot(tree / "A", 1), 1);
    finder.BuildFolderList();
    const TextList& folders = finder.Folders();
    EXPECT_EQ(folders.size(), 7u);
    TextList sorted = folders;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

TEST(FinderFolderIndex, TrailingBackslashAndLetterCase) {
    ShortcutFinder finder;
    EXPECT_EQ(finder.FolderIndex("  C:\\Menu\\ "), 0);
    EXPECT_EQ(finder.Folders(), TextList{"C:\\Menu"});
    EXPECT_EQ(finder.FolderIndex("C:\\Menu"), 0);
    // A new text in another letter case is appended ...
    EXPECT_EQ(finder.FolderIndex("c:\\MENU"), 1);
    // ... but once listed, it answers the first entry equal to it ignoring case.
    EXPECT_EQ(finder.FolderIndex("c:\\MENU\\"), 0);
    // Only one trailing backslash is removed.
    EXPECT_EQ(finder.FolderIndex("C:\\Menu\\\\"), 2);
    EXPECT_EQ(finder.Folders(), (TextList{"C:\\Menu", "c:\\MENU", "C:\\Menu\\"}));
}

// Link files below a tree, next to a folder that carries the link's name.
class FinderLookup : public FinderTree {
protected:
    void SetUp() override {
        FinderTree::SetUp();
        ASSERT_TRUE(testsupport::WriteFileBytes(tree / "A\\A2\\HotSync Manager.lnk", "L"));
        ASSERT_TRUE(testsupport::WriteFileBytes(tree / "B\\hOTSYNC mANAGER.LNK", "L"));
        MakeFolder(tree / "B\\B1\\HotSync Manager.lnk");
        ASSERT_EQ(finder.AddRoot(tree.Path(), 1), 1);
        finder.BuildFolderList();
    }
    ShortcutFinder finder;
};

TEST_F(FinderLookup, FindsFilesInAnyLetterCaseButNoFolders) {
    FinderResult result;
    ASSERT_EQ(finder.FindFile("HotSync Manager.lnk", result), 1);
    EXPECT_TRUE(result.More);
    ASSERT_EQ(result.FurtherMatches.size(), 1u);
    TextList found{result.FirstMatch, result.FurtherMatches[0]};
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found,
              (TextList{tree / "A\\A2\\hotsync manager.lnk", tree / "B\\hotsync manager.lnk"}));
    // Matches come in folder-list order.
    const TextList& folders = finder.Folders();
    auto position = [&](const std::string& match) {
        return std::find(folders.begin(), folders.end(), match.substr(0, match.rfind('\\'))) -
               folders.begin();
    };
    EXPECT_LT(position(result.FirstMatch), position(result.FurtherMatches[0]));
    EXPECT_EQ(finder.FirstMatch, result.FirstMatch);
    EXPECT_EQ(finder.FurtherMatches, result.FurtherMatches);
}

TEST_F(FinderLookup, NoMatchLeavesTheResultAlone) {
    FinderResult result;
    ASSERT_EQ(finder.FindFile("HotSync Manager.lnk", result), 1);
    FinderResult untouched;
    untouched.FirstMatch = "sentinel";
    EXPECT_EQ(finder.FindFile("plain.lnk", untouched), 0);
    EXPECT_EQ(untouched.FirstMatch, "sentinel");
    // The finder's own result now describes the failed lookup.
    EXPECT_EQ(finder.FirstMatch, "");
    EXPECT_FALSE(finder.More);
    EXPECT_TRUE(finder.FurtherMatches.empty());
}

TEST_F(FinderLookup, DrivePathIsAnsweredByTheFileItself) {
    FinderResult result;
    result.FirstMatch = "sentinel";
    EXPECT_EQ(finder.FindFile(tree / "A\\plain.txt", result), 1);
    EXPECT_EQ(finder.FindFile(tree / "A\\none.txt", result), 0);
    EXPECT_EQ(finder.FindFile(tree / "B\\B1\\HotSync Manager.lnk", result), 0);
    EXPECT_EQ(result.FirstMatch, "sentinel");
    EXPECT_EQ(finder.FirstMatch, "");
}

} // namespace
