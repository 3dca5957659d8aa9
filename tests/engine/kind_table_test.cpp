// The engine's table of element kinds, gone through kind by kind: every kind has its row in its
// place and its place in the install order; a code outside the table is refused; and every kind
// that is undone by the states saved before its step saves what its real step changes, so that
// putting those states back leaves the folder and the registry as they were.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "kind_table.h"
#include "kinds.h"
#include "setup/assembly/class_table.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/elements/element_kinds.h"
#include "support/fixtures.h"
#include "transaction_log.h"
#include "undo.h"

using testsupport::ReadFileBytes;
using testsupport::ScratchKey;
using testsupport::TempFolder;
using testsupport::WriteFileBytes;

namespace {

// An element of the registered class, as the engine makes it from a description.
WSetupElement* MadeByName(const char* className) {
    UseSetupClassTable();
    const FwRuntimeClass* cls = FwRuntimeClass::FromName(className);
    return cls ? static_cast<WSetupElement*>(cls->CreateObject()) : nullptr;
}

const char* UndoName(UndoPath path) {
    return path == UndoPath::SavedStates ? "saved states" : "its own undo";
}

std::string SavedKinds(const std::vector<Saved>& saved) {
    static const char* const names[] = {"file", "folder", "value", "key", "restart list"};
    std::string text;
    for (const Saved& s : saved)
        text += std::string(text.empty() ? "" : ", ") + names[static_cast<int>(s.kind)];
    return text.empty() ? "nothing" : text;
}

// Every file and folder under `folder` with the file's bytes, as one text.
void Listing(const std::string& folder, const std::string& relative, std::string& out) {
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (!find)
        return;
    std::vector<std::string> names;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(find.Get(), &data));
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = folder + "\\" + name;
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            out += relative + name + "\\\n";
            Listing(path, relative + name + "\\", out);
        } else {
            out += relative + name + " = " + ReadFileBytes(path) + "\n";
        }
    }
}

// Every key and value under `key`, as one text.
void RegistryListing(HKEY root, const std::string& key, std::string& out) {
    RegKey opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, opened.Receive()) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof name;
        BYTE data[512];
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(opened.Get(), i, name, &nameSize, nullptr, &type, data, &dataSize) !=
            ERROR_SUCCESS)
            break;
        out += key + " [" + name + "] " + std::to_string(type) + " " +
               std::string(reinterpret_cast<char*>(data), dataSize) + "\n";
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(opened.Get(), i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        out += key + "\\" + name + "\\\n";
        RegistryListing(root, key + "\\" + name, out);
    }
}

TEST(KindTable, EveryKindHasItsRowAndOnePlaceInTheInstallOrder) {
    const std::vector<int>& order = InstallOrder();
    ASSERT_EQ(order.size(), static_cast<std::size_t>(WSetupKindCount));
    std::printf("%-22s %4s %9s %-13s %8s %6s %5s\n", "kind", "rank", "schedules", "undone by",
                "removal", "sweeps", "copy");
    for (int kind = 0; kind < WSetupKindCount; ++kind) {
        const KindRow& row = RowOfKind(kind);
        const ElementKindInfo* info = FindElementKind(kind);
        ASSERT_NE(info, nullptr) << kind;
        std::printf("%-22s %4d %9s %-13s %8s %6s %5s\n", info->className, row.installRank,
                    row.maySchedule ? "yes" : "no", UndoName(row.undo),
                    row.actsAtRemoval ? "acts" : "-", row.sweepsFolders ? "yes" : "no",
                    row.copiesAFile ? "yes" : "no");
        EXPECT_TRUE(IsKnownKind(kind));
        EXPECT_EQ(row.kind, kind);
        EXPECT_EQ(std::count(order.begin(), order.end(), kind), 1) << info->className;
        EXPECT_EQ(order[static_cast<std::size_t>(row.installRank)], kind) << info->className;
        EXPECT_NE(row.install, RowOfKind(KindNone).install) << info->className;
        EXPECT_NE(row.undoStep, RowOfKind(KindNone).undoStep) << info->className;
        EXPECT_NE(row.saveState, RowOfKind(KindNone).saveState) << info->className;
        // A kind whose install step does nothing has its undo as its work: the saved states
        // cannot take back what the product's own code did.
        if (row.actsAtRemoval) {
            EXPECT_EQ(row.undo, UndoPath::OwnOperation) << info->className;
        }
    }
    // Folders before the files in them, files before the fonts and registrations that use them.
    const auto rank = [](int kind) { return RowOfKind(kind).installRank; };
    EXPECT_LT(rank(KindDir), rank(KindFile));
    EXPECT_LT(rank(KindFile), rank(KindTTFFile));
    EXPECT_LT(rank(KindFile), rank(KindSelfRegFile));
    EXPECT_LT(rank(KindFile), rank(KindShortcut));
}

TEST(KindTable, ACodeOutsideTheTableIsRefused) {
    TheSetupContext().Enabled = 1;
    TempFolder folder;
    for (int kind : {static_cast<int>(KindNone), WSetupKindCount, 1000}) {
        EXPECT_FALSE(IsKnownKind(kind)) << kind;
        const KindRow& row = RowOfKind(kind);
        FwPtr<WSetupElement> element(new WSetupElement);
        FwStringArray rebootList;
        FwPtrArray collected;
        EXPECT_EQ(row.install(*element, rebootList, collected).status, ElementNotProcessed);
        EXPECT_EQ(row.undoStep(*element, rebootList).status, ElementNotProcessed);
        std::vector<Saved> saved;
        StateSaver saver(folder / "kept", 1, saved);
        EXPECT_FALSE(row.saveState(*element, saver)) << kind;
    }
    // A plain element is of no kind: its state cannot be saved, so its step never runs.
    FwPtr<WSetupElement> plain(new WSetupElement);
    std::vector<Saved> saved;
    EXPECT_FALSE(SaveStateBefore(*plain, 1, folder / "kept", saved));
}

// One kind's element for the saved-states test: its fields as texts, and what is there before
// its step.
struct KindCase {
    int kind;
    std::vector<std::pair<const char*, std::string>> fields;
};

TEST(KindTable, EveryKindUndoneBySavedStatesIsPutBackByWhatItSaved) {
    TheSetupContext().Enabled = 1;
    TempFolder folder;
    TempFolder aside; // outside the listed folder: what the engine keeps aside is its own
    ScratchKey scratch;
    const std::string place = folder / "place";
    const std::string source = folder / "medium";
    ASSERT_TRUE(CreateDirectoryA(source.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(source + "\\target.txt", "the product's copy"));
    const std::string regFile = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + scratch.KeyPath() +
                                "\\FromFile\\Deeper]\r\n\"Merged\"=\"by the file\"\r\n\r\n";
    const std::string userKey = scratch.KeyPath();
    const KindCase cases[] = {
        {KindDir, {{"DestDir", place + "\\new"}, {"DestName", "folder"}}},
        {KindBackupFile, {{"DestDir", place}, {"DestName", "target.txt"}}},
        {KindDeleteFile, {{"DestDir", place}, {"DestName", "target.txt"}}},
        {KindFile,
         {{"DestDir", place + "\\sub"},
          {"DestName", "target.txt"},
          {"SourceDir", source},
          {"MediaName", "target.txt"},
          {"FileFlags", "0"}}},
        {KindRegEntry,
         {{"RootName", "HKEY_CURRENT_USER"},
          {"KeyPath", userKey + "\\Entry\\Deeper"},
          {"ValueName", "Written"},
          {"ValueData", "by the entry"},
          {"ValueType", "STRING"}}},
        {KindRegFile, {{"DestDir", place}, {"DestName", "merge.reg"}}},
        {KindProfileString,
         {{"DestDir", place},
          {"DestName", "settings.ini"},
          {"Section", "Options"},
          {"Key", "Colour"},
          {"Value", "blue"}}},
        {KindCustFile,
         {{"DestDir", place},
          {"DestName", "target.txt"},
          {"SearchText", "user's"},
          {"ReplaceText", "edited"}}},
    };
    int savedStateKinds = 0;
    for (int kind = 0; kind < WSetupKindCount; ++kind)
        if (RowOfKind(kind).undo == UndoPath::SavedStates)
            ++savedStateKinds;
    EXPECT_EQ(static_cast<int>(sizeof cases / sizeof cases[0]), savedStateKinds)
        << "every kind undone by saved states has its case here";

    for (const KindCase& c : cases) {
        const ElementKindInfo* info = FindElementKind(c.kind);
        ASSERT_NE(info, nullptr);
        ASSERT_EQ(RowOfKind(c.kind).undo, UndoPath::SavedStates) << info->className;
        // What is there before: the user's file, a settings file, the registry file to merge.
        testsupport::RemoveTree(place);
        ASSERT_TRUE(CreateDirectoryA(place.c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(place + "\\target.txt", "the user's text"));
        ASSERT_TRUE(WriteFileBytes(place + "\\settings.ini", "[Other]\r\nKept=1\r\n"));
        ASSERT_TRUE(WriteFileBytes(place + "\\merge.reg", regFile));
        std::string filesBefore, registryBefore;
        Listing(folder.Path(), "", filesBefore);
        RegistryListing(HKEY_CURRENT_USER, userKey, registryBefore);

        FwPtr<WSetupElement> element(MadeByName(info->className));
        ASSERT_TRUE(element);
        for (const auto& field : c.fields) {
            const ElementField* f = FindElementField(*info->fields, field.first);
            ASSERT_NE(f, nullptr) << info->className << " " << field.first;
            std::string reason;
            ASSERT_TRUE(SetField(element.get(), *f, field.second, reason)) << reason;
        }
        std::vector<Saved> saved;
        ASSERT_TRUE(SaveStateBefore(*element, 1, aside / "kept", saved)) << info->className;
        FwStringArray rebootList;
        FwPtrArray collected;
        const StepResult r = InstallElement(element.get(), rebootList, collected);
        const StepMeaning meaning = MeaningOfStatus(c.kind, ElementStep::Install, r.status);
        std::string filesAfter, registryAfter;
        Listing(folder.Path(), "", filesAfter);
        RegistryListing(HKEY_CURRENT_USER, userKey, registryAfter);
        bool all = true;
        for (auto it = saved.rbegin(); it != saved.rend(); ++it)
            all = PutBack(*it) && all;
        testsupport::RemoveTree(aside / "kept");
        std::string filesBack, registryBack;
        Listing(folder.Path(), "", filesBack);
        RegistryListing(HKEY_CURRENT_USER, userKey, registryBack);
        const bool changed = filesAfter != filesBefore || registryAfter != registryBefore;
        std::printf("%-20s status %2d (%s), saved %s; the step %s the machine; put back: %s\n",
                    info->className, r.status,
                    meaning == StepMeaning::Failed ? "failed"
                    : meaning == StepMeaning::Done ? "done"
                                                   : "nothing to do",
                    SavedKinds(saved).c_str(), changed ? "changed" : "did not change",
                    filesBack == filesBefore && registryBack == registryBefore ? "as before"
                                                                               : "DIFFERENT");
        EXPECT_EQ(meaning, StepMeaning::Done) << info->className << " status " << r.status;
        EXPECT_TRUE(changed) << info->className << ": the case must change something";
        EXPECT_TRUE(all) << info->className;
        EXPECT_EQ(filesBack, filesBefore) << info->className;
        EXPECT_EQ(registryBack, registryBefore) << info->className;
    }
}

} // namespace

namespace {

// Every kind says what its step does in the user's words, for the progress window: the file or
// folder it works on, never a class name or an Id.
TEST(KindTable, EveryKindSaysWhatItDoesInTheUsersWords) {
    TheSetupContext().Enabled = 1;
    int failures = 0;
    for (int kind = 0; kind < WSetupKindCount; ++kind) {
        const ElementKindInfo* info = FindElementKind(kind);
        FwPtr<WSetupElement> element(MadeByName(info->className));
        ASSERT_TRUE(element) << info->className;
        element->Id = "ElementId";
        element->DestDir = "C:\\Program Files\\Tarvo Notes";
        element->DestName = "notes.exe";
        for (const char* name : {"LinkName", "KeyPath", "ValueName", "Key"})
            if (const ElementField* f = FindElementField(*info->fields, name)) {
                std::string reason;
                EXPECT_TRUE(SetField(element.get(), *f, std::string("The") + name, reason));
            }
        const std::string installing = StepWords(*element, false);
        const std::string removing = StepWords(*element, true);
        const bool ok = !installing.empty() && !removing.empty() &&
                        installing.find("WSetup") == std::string::npos &&
                        removing.find("WSetup") == std::string::npos &&
                        installing.find("ElementId") == std::string::npos &&
                        removing.find("ElementId") == std::string::npos;
        std::printf("%-22s %-52s | %s %s\n", info->className, installing.c_str(), removing.c_str(),
                    ok ? "" : "FAILED");
        failures += ok ? 0 : 1;
    }
    EXPECT_EQ(failures, 0);
    FwPtr<WSetupElement> file(MadeByName("WSetupFile"));
    file->DestDir = "C:\\Program Files\\Tarvo Notes";
    file->DestName = "notes.exe";
    EXPECT_EQ(StepWords(*file, false), "Copying notes.exe to C:\\Program Files\\Tarvo Notes");
}

} // namespace
