// The owning types: each closes what it holds exactly once, on every path, and gives it up
// before closing it.
#include "setup/core/handles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "support/fixtures.h"

namespace {

// A file can be opened without sharing only when no other handle to it is open.
bool OpenedByNobody(const std::string& path) {
    KernelHandle probe(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    return probe.IsOpen();
}

HANDLE OpenShared(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A COM object that counts its references and, when it is released, looks at the owner that
// is releasing it.
class CountedObject : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++References; }
    ULONG STDMETHODCALLTYPE Release() override {
        if (Owner)
            OwnerEmptyOnRelease = !*Owner;
        return --References;
    }
    ULONG References = 1;
    const ComPtr<IUnknown>* Owner = nullptr;
    bool OwnerEmptyOnRelease = false;
};

// An allocator that records what it frees and how often it is released.
class RecordingAllocator : public IMalloc {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++References; }
    ULONG STDMETHODCALLTYPE Release() override {
        ReleasedAfterFree = Freed != nullptr;
        return --References;
    }
    void* STDMETHODCALLTYPE Alloc(SIZE_T) override { return nullptr; }
    void* STDMETHODCALLTYPE Realloc(void*, SIZE_T) override { return nullptr; }
    void STDMETHODCALLTYPE Free(void* block) override {
        Freed = block;
        ++FreeCount;
    }
    SIZE_T STDMETHODCALLTYPE GetSize(void*) override { return 0; }
    int STDMETHODCALLTYPE DidAlloc(void*) override { return 0; }
    void STDMETHODCALLTYPE HeapMinimize() override {}

    ULONG References = 1;
    void* Freed = nullptr;
    int FreeCount = 0;
    bool ReleasedAfterFree = false;
};

} // namespace

TEST(OwningTypes, KernelHandleClosesOnceAndTakesBothEmptyValues) {
    testsupport::TempFolder folder;
    const std::string path = folder / "held.bin";
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "x"));

    EXPECT_FALSE(KernelHandle(INVALID_HANDLE_VALUE).IsOpen());
    EXPECT_FALSE(KernelHandle(nullptr).IsOpen());
    {
        KernelHandle first(OpenShared(path));
        ASSERT_TRUE(first.IsOpen());
        KernelHandle second(std::move(first));
        EXPECT_FALSE(first.IsOpen()) << "a moved-from handle owns nothing";
        EXPECT_FALSE(OpenedByNobody(path));
        KernelHandle third;
        third = std::move(second);
        EXPECT_FALSE(OpenedByNobody(path));
        EXPECT_TRUE(third.Reset()) << "the close succeeded";
        EXPECT_TRUE(OpenedByNobody(path));
        EXPECT_TRUE(third.Reset()) << "nothing left to close";
    }
    {
        KernelHandle held(OpenShared(path));
        HANDLE raw = held.Release();
        EXPECT_FALSE(held.IsOpen());
        EXPECT_FALSE(OpenedByNobody(path)) << "Release gives up the handle without closing it";
        KernelHandle adopt(raw);
    }
    EXPECT_TRUE(OpenedByNobody(path));
    {
        KernelHandle replaced(OpenShared(path));
        *replaced.Receive() = OpenShared(path);
        replaced.Reset(OpenShared(path)); // each step closes what was held before
    }
    EXPECT_TRUE(OpenedByNobody(path));
}

TEST(OwningTypes, StdioFileClosesItsStreamOnceAndFlushesIt) {
    testsupport::TempFolder temp;
    const std::string path = temp / "stream.txt";
    {
        StdioFile file(std::fopen(path.c_str(), "wb"));
        ASSERT_TRUE(file.IsOpen());
        EXPECT_GE(std::fputs("kept", file.Get()), 0);
        EXPECT_FALSE(OpenedByNobody(path));
    }
    EXPECT_TRUE(OpenedByNobody(path));
    EXPECT_EQ(testsupport::ReadFileBytes(path), "kept") << "the close writes what was buffered";

    StdioFile absent(std::fopen((temp / "absent\\x.txt").c_str(), "rb"));
    EXPECT_FALSE(absent);
    EXPECT_TRUE(absent.Reset()) << "nothing held, nothing to close";

    StdioFile reader(std::fopen(path.c_str(), "rb"));
    ASSERT_TRUE(reader);
    EXPECT_TRUE(reader.Reset());
    EXPECT_FALSE(reader);
    EXPECT_TRUE(OpenedByNobody(path));
    StdioFile moved(std::fopen(path.c_str(), "rb"));
    StdioFile target(std::move(moved));
    EXPECT_FALSE(moved);
    EXPECT_FALSE(OpenedByNobody(path));
    target.Reset();
    EXPECT_TRUE(OpenedByNobody(path));
}

TEST(OwningTypes, FindHandleAndRegKeyTreatFailuresAsEmpty) {
    testsupport::TempFolder folder;
    WIN32_FIND_DATAA found;
    FindHandle none(FindFirstFileA((folder / "absent*.none").c_str(), &found));
    EXPECT_FALSE(none);
    FindHandle listing(FindFirstFileA((folder / "*").c_str(), &found));
    EXPECT_TRUE(listing);

    testsupport::ScratchKey scratch;
    RegKey key;
    EXPECT_EQ(
        RegOpenKeyExA(scratch.Root(), (scratch / "absent").c_str(), 0, KEY_READ, key.Receive()),
        ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(key);
    ASSERT_EQ(
        RegOpenKeyExA(scratch.Root(), scratch.KeyPath().c_str(), 0, KEY_ALL_ACCESS, key.Receive()),
        ERROR_SUCCESS);
    EXPECT_TRUE(key);
    EXPECT_TRUE(key.Reset());
    EXPECT_FALSE(key);
}

// An owner that closes (or goes out of scope) between a failing call and its GetLastError()
// leaves the error as the call set it, for every owning type, whether its close succeeds or
// fails.
TEST(OwningTypes, ClosingKeepsTheThreadsLastError) {
    testsupport::TempFolder temp;
    const std::string path = temp / "held.txt";
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "x"));
    testsupport::ScratchKey scratch;
    const std::string absent = temp / "absent.txt";
    auto failingCall = [&absent] {
        KernelHandle none(CreateFileA(absent.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        return !none.IsOpen() && GetLastError() == ERROR_FILE_NOT_FOUND;
    };
    WIN32_FIND_DATAA found;
    const struct {
        const char* owner;
        std::function<void()> closeAfterFailure;
    } rows[] = {
        {"KernelHandle::Reset",
         [&] {
             KernelHandle file(OpenShared(path));
             ASSERT_TRUE(file && failingCall());
             EXPECT_TRUE(file.Reset());
         }},
        {"KernelHandle going out of scope",
         [&] {
             KernelHandle file(OpenShared(path));
             ASSERT_TRUE(file && failingCall());
         }},
        {"KernelHandle whose close fails",
         [&] {
             KernelHandle bogus(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0xfffff0)));
             ASSERT_TRUE(failingCall());
             EXPECT_FALSE(bogus.Reset());
         }},
        {"FindHandle",
         [&] {
             FindHandle listing(FindFirstFileA((temp / "*").c_str(), &found));
             ASSERT_TRUE(listing && failingCall());
         }},
        {"RegKey",
         [&] {
             HKEY h = nullptr;
             ASSERT_EQ(RegOpenKeyExA(scratch.Root(), scratch.KeyPath().c_str(), 0, KEY_READ, &h),
                       ERROR_SUCCESS);
             RegKey key(h);
             ASSERT_TRUE(failingCall());
         }},
        {"LoadedModule",
         [&] {
             LoadedModule module(LoadLibraryA("version.dll"));
             ASSERT_TRUE(module && failingCall());
         }},
        {"StdioFile",
         [&] {
             StdioFile stream(std::fopen(path.c_str(), "rb"));
             ASSERT_TRUE(stream && failingCall());
         }},
    };
    for (const auto& row : rows) {
        SetLastError(0);
        row.closeAfterFailure();
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND))
            << row.owner << ": saw " << GetLastError();
    }
}

TEST(OwningTypes, LoadedModuleUnloadsItsLibrary) {
    const char* const library = "imagehlp.dll";
    if (GetModuleHandleA(library))
        GTEST_SKIP() << library << " is loaded by the program itself";
    {
        LoadedModule module(LoadLibraryA(library));
        ASSERT_TRUE(module);
        EXPECT_EQ(GetModuleHandleA(library), module.Get());
    }
    EXPECT_EQ(GetModuleHandleA(library), nullptr);
}

TEST(OwningTypes, ComPtrReleasesOnceAndIsEmptyWhileReleasing) {
    CountedObject object;
    {
        ComPtr<IUnknown> first(&object);
        object.Owner = &first;
        first.Reset();
        EXPECT_EQ(object.References, 0u);
        EXPECT_TRUE(object.OwnerEmptyOnRelease);
        first.Reset();
        EXPECT_EQ(object.References, 0u) << "released once only";
    }
    object.References = 1;
    object.Owner = nullptr;
    {
        ComPtr<IUnknown> first(&object);
        ComPtr<IUnknown> second(std::move(first));
        EXPECT_FALSE(first);
        ComPtr<IUnknown> third;
        third = std::move(second);
        EXPECT_EQ(object.References, 1u);
        object.AddRef();
        *third.Receive() = &object; // releases the reference held before
        EXPECT_EQ(object.References, 1u);
    }
    EXPECT_EQ(object.References, 0u);
}

TEST(OwningTypes, ShellMemoryFreesThroughItsAllocatorThenReleasesIt) {
    RecordingAllocator allocator;
    char block = 0;
    {
        ShellMemory<char> memory(&allocator, &block);
        EXPECT_EQ(memory.Get(), &block);
    }
    EXPECT_EQ(allocator.Freed, &block);
    EXPECT_EQ(allocator.FreeCount, 1);
    EXPECT_EQ(allocator.References, 0u);
    EXPECT_TRUE(allocator.ReleasedAfterFree);

    RecordingAllocator second;
    {
        ShellMemory<char> memory(&second);
        *memory.Receive() = &block;
        memory.Reset();
        memory.Reset();
    }
    EXPECT_EQ(second.FreeCount, 1);
    EXPECT_EQ(second.References, 0u);
}

TEST(OwningTypes, ComScopeUndoesExactlyItsOwnInitialisation) {
    {
        ComScope outer;
        ASSERT_TRUE(outer.Succeeded());
        ComScope inner; // S_FALSE: still needs its own uninitialisation
        EXPECT_EQ(inner.Result(), S_FALSE);
        EXPECT_TRUE(inner.Succeeded());
    }
    // Fully uninitialised: the thread may now enter the other apartment mode.
    HRESULT multi = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ASSERT_EQ(multi, S_OK);
    {
        ComScope other;
        EXPECT_EQ(other.Result(), RPC_E_CHANGED_MODE);
        EXPECT_FALSE(other.Succeeded());
        EXPECT_TRUE(other.Usable());
    }
    // The scope that could not initialise left the thread's own initialisation alone.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
}
