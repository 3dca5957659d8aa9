// Morvik.dll as a module of the engine's process: what happens while it loads and unloads (under
// the system's loader lock, where it must not load the optional folder library or release it),
// and what its entry points let out when memory runs short (nothing but their result).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hotsync_fixture.h"
#include "plugin/engine_interface.h"
#include "setup/core/component.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "support/fixtures.h"

using namespace plugintest;

namespace {

typedef LONG(WINAPI* EntryPoint)(LONG, void*, void*, const char*);
const char* const EntryPoints[] = {"Initialize",   "PreInstall",    "PostInstall",
                                   "PreUNInstall", "PostUNInstall", "UNInitialize"};
// Longer than any text a string keeps without allocating.
const char* const LongText = "an argument text long enough to need the heap";

HMODULE LoadMorvik() {
    return LoadLibraryA(testsupport::WindowsPathOf(TARVO_MORVIK_DLL).c_str());
}

EntryPoint Entry(HMODULE module, const char* name) {
    return reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

bool FolderLibraryLoaded() {
    return GetModuleHandleA("shfolder.dll") != nullptr;
}

// ---- Load and unload ----

// The current folder holds "setup\shfolder.dll" (the stand-in folder library), where the
// system folders look for it; the previous current folder comes back at the end.
class FolderLibraryBeside : public testsupport::TempFolder {
public:
    FolderLibraryBeside() {
        GetCurrentDirectoryA(sizeof m_previous, m_previous);
        CreateDirectoryA((*this / "setup").c_str(), nullptr);
        m_copied = CopyFileA((StandinFolder() + "\\shfolder\\shfolder.dll").c_str(),
                             (*this / "setup\\shfolder.dll").c_str(), FALSE) != FALSE;
        SetCurrentDirectoryA(Path().c_str());
    }
    ~FolderLibraryBeside() { SetCurrentDirectoryA(m_previous); }
    bool Copied() const { return m_copied; }

private:
    char m_previous[MAX_PATH] = {};
    bool m_copied = false;
};

TEST(MorvikModule, FolderLibraryIsLoadedByTheFirstEntryPointAndKeptAfterUnload) {
    FolderLibraryBeside beside;
    ASSERT_TRUE(beside.Copied());
    ASSERT_FALSE(FolderLibraryLoaded());

    LoadedModule module(LoadMorvik());
    ASSERT_TRUE(module);
    // Loading the plug-in builds nothing that loads a library.
    EXPECT_FALSE(FolderLibraryLoaded());

    // The first entry point builds the process-wide objects, which find the folder library.
    EXPECT_EQ(Entry(module.Get(), "UNInitialize")(0, nullptr, nullptr, nullptr), 1);
    EXPECT_TRUE(FolderLibraryLoaded());

    // Unloading the plug-in releases no library.
    ASSERT_TRUE(module.Reset());
    EXPECT_TRUE(FolderLibraryLoaded());
}

// ---- Allocation failures ----
// Only a build with C++ exceptions answers a failed allocation with 1 (plugin/entry_guard.h); the
// product build, which the i686 tests load, ends the process instead.
#if defined(__cpp_exceptions)

// The plug-in's C run-time allocation calls, made to fail on request by replacing their
// addresses in the module's import table.
typedef void*(__cdecl* MallocFn)(size_t);
typedef void*(__cdecl* ReallocFn)(void*, size_t);
MallocFn g_malloc;
ReallocFn g_realloc;
int g_calls;      // allocations counted since Fail()
int g_failAt;     // the allocation that fails (1 = the next); 0: none
bool g_failedOne; // an allocation was made to fail

bool Failing() {
    return g_failAt != 0 && ++g_calls == g_failAt;
}

void* __cdecl FailingMalloc(size_t size) {
    if (Failing()) {
        g_failedOne = true;
        return nullptr;
    }
    return g_malloc(size);
}

void* __cdecl FailingRealloc(void* block, size_t size) {
    if (Failing()) {
        g_failedOne = true;
        return nullptr;
    }
    return g_realloc(block, size);
}

// Replaces the address of dll!function in the import table of `module`; returns the old one.
void* ReplaceImport(HMODULE module, const char* dll, const char* function, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name; ++entry) {
        if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), dll) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0)
                continue;
            DWORD protection = 0;
            VirtualProtect(&addresses->u1.Function, sizeof(void*), PAGE_READWRITE, &protection);
            void* old = reinterpret_cast<void*>(addresses->u1.Function);
            addresses->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&addresses->u1.Function, sizeof(void*), protection, &protection);
            return old;
        }
    }
    return nullptr;
}

class AllocationFailure : public ::testing::Test {
protected:
    void SetUp() override {
        module.Reset(LoadMorvik());
        ASSERT_TRUE(module);
        g_malloc = reinterpret_cast<MallocFn>(ReplaceImport(
            module.Get(), "msvcrt.dll", "malloc", reinterpret_cast<void*>(&FailingMalloc)));
        g_realloc = reinterpret_cast<ReallocFn>(ReplaceImport(
            module.Get(), "msvcrt.dll", "realloc", reinterpret_cast<void*>(&FailingRealloc)));
        ASSERT_NE(g_malloc, nullptr);
        ASSERT_NE(g_realloc, nullptr);
        // The process-wide objects, built by the first entry point, are not the subject here.
        ASSERT_EQ(Entry(module.Get(), "UNInitialize")(0, nullptr, nullptr, nullptr), 1);
    }
    void TearDown() override {
        Fail(0);
        module.Reset();
    }
    static void Fail(int at) {
        g_failAt = at;
        g_calls = 0;
        g_failedOne = false;
    }
    // Calls an entry point; false when anything but its result came out.
    bool Call(const char* name, void* record, const char* text, LONG& result) {
        try {
            result = Entry(module.Get(), name)(0, record, nullptr, text);
            return true;
        } catch (...) {
            return false;
        }
    }

    HotSyncRegistry hotsync;
    HotSyncFolder folder;
    LoadedModule module;
};

TEST_F(AllocationFailure, FirstAllocationOfEveryEntryPoint) {
    ComponentRegistry registry;
    InstallRecord record = {};
    record.Registry = &registry;
    for (int i = 0; i < 6; ++i) {
        void* argument = i < 3 ? static_cast<void*>(&record) : static_cast<void*>(&registry);
        LONG result = 0;
        Fail(1);
        EXPECT_TRUE(Call(EntryPoints[i], argument, LongText, result)) << EntryPoints[i];
        EXPECT_TRUE(g_failedOne) << EntryPoints[i];
        EXPECT_EQ(result, 1) << EntryPoints[i];
    }
}

// Initialize on HotSync 1.1 with the three components and their custom macros, with each of its
// allocations failing in turn: every run answers 1, nothing leaves the entry point, and a later
// run without failures does the whole work.
TEST_F(AllocationFailure, EachAllocationOfInitialize) {
    HotSyncRegistry::InstallFirstGeneration(true, folder.Path());
    SetupContext macros;
    char entries[3][300] = {"<PalmFeature>,old", "<Conduit1>,old", "<Conduit2>,old"};
    for (char* entry : entries)
        macros.CustomMacros.Add(entry);
    WSetupComponent feature, conduit1, conduit2;
    feature.QualifiedName = "<PalmFeature>";
    conduit1.QualifiedName = "<Conduit1>";
    conduit2.QualifiedName = "<Conduit2>";
    ComponentRegistry registry;
    registry.Index.Maps[0].SetAt("QX9_PalmPilot", &feature);
    registry.Index.Maps[0].SetAt("PilotConduit1_1", &conduit1);
    registry.Index.Maps[0].SetAt("PilotConduit2_0", &conduit2);
    InstallRecord record = {};
    record.Registry = &registry;
    record.Macros = &macros;

    int runs = 0;
    for (int at = 1;; ++at) {
        LONG result = 0;
        Fail(at);
        ASSERT_TRUE(Call("Initialize", &record, LongText, result)) << "allocation " << at;
        EXPECT_EQ(result, 1) << "allocation " << at;
        if (!g_failedOne)
            break;
        ++runs;
        ASSERT_LT(at, 1000);
    }
    EXPECT_GT(runs, 3);
    EXPECT_EQ(feature.Action, 7);
    EXPECT_EQ(conduit1.Action, 3);
    EXPECT_EQ(conduit2.Action, 8);
    EXPECT_EQ(std::string(entries[1]), "<Conduit1>," + folder.Path());
}

#endif // __cpp_exceptions

} // namespace
