// Owning types for every handle the library opens: registry keys, kernel objects (files,
// processes, threads), find handles, loaded modules, C run-time streams, COM interface pointers,
// the COM initialisation of a thread, memory from the shell's allocator and zlib's inflate state.
//
// Each type closes what it holds when it goes out of scope, on every path, and can be moved but
// not copied. This header is the only place in the library, the plug-in and the loader that calls
// the platform's close functions; everything else holds its handles through these types.
//
// Quirks a reader could trip on:
// - Kernel object handles have two "no handle" values: CreateFileA and FindFirstFileA answer
//   INVALID_HANDLE_VALUE, CreateProcessA and most others a null handle. KernelHandle treats both
//   as empty, so either result can be stored directly.
// - A COM scope must end on the thread that began it; CoInitialize answers S_FALSE when the
//   thread was already initialised and still needs its matching CoUninitialize, while
//   RPC_E_CHANGED_MODE (initialised in another apartment mode) needs none.
// - Never put a predefined registry root (HKEY_CURRENT_USER, ...) or a module from
//   GetModuleHandleA into these types: they would close what the process does not own.
// - Each type gives up its handle before closing it, so a close that calls back into code that
//   looks at the owner finds it already empty.
// - Closing keeps the thread's last error as it was: an owner that goes out of scope (or is
//   Reset) between a failing call and its GetLastError() does not change what that reads.
// - Receive() hands a call the owner's own handle field. It is only for calls that write their
//   output when they succeed and leave it empty (or untouched) when they fail, as COM's
//   out-pointer rule has every interface call do. The platform promises that for none of
//   RegOpenKeyExA, RegCreateKeyExA, DdeInitializeA or OpenProcessToken: what a failed call
//   leaves there is not defined on every platform, and the owner would later close a value it
//   never got. Those receive into a local, and the owner takes it with Reset() only on success
//   (the registry's OpenRegKey and CreateRegKey do that for keys).
#pragma once

#include <windows.h>

#include <ddeml.h>
#include <objbase.h>
#include <ole2.h>

#include <zlib.h>

#include <cstdio>
#include <utility>

namespace handles_detail {

// A handle of type H, closed by Traits::Close when it is not Traits::Empty().
template <class H, class Traits> class Owned {
public:
    Owned() = default;
    explicit Owned(H h) : m_h(h) {}
    ~Owned() { Reset(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : m_h(other.Release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    H Get() const { return m_h; }
    bool IsOpen() const { return !Traits::IsEmpty(m_h); }
    explicit operator bool() const { return IsOpen(); }

    // Closes what is held (if anything) and takes the new handle. Answers whether the close
    // succeeded (true when nothing was held); the thread's last error is left as it was.
    bool Reset(H h = Traits::Empty()) {
        H old = m_h;
        m_h = h;
        if (Traits::IsEmpty(old))
            return true;
        const DWORD error = GetLastError();
        const bool closed = Traits::Close(old);
        SetLastError(error);
        return closed;
    }
    // Gives up ownership without closing.
    H Release() {
        H h = m_h;
        m_h = Traits::Empty();
        return h;
    }
    // Closes what is held first; see the header's note for the calls it may be given to.
    H* Receive() {
        Reset();
        return &m_h;
    }

private:
    H m_h = Traits::Empty();
};

struct RegKeyTraits {
    static HKEY Empty() { return nullptr; }
    static bool IsEmpty(HKEY h) { return h == nullptr; }
    static bool Close(HKEY h) { return RegCloseKey(h) == ERROR_SUCCESS; }
};

struct KernelHandleTraits {
    static HANDLE Empty() { return nullptr; }
    static bool IsEmpty(HANDLE h) { return h == nullptr || h == INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE h) { return CloseHandle(h) != FALSE; }
};

struct FindHandleTraits {
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static bool IsEmpty(HANDLE h) { return h == INVALID_HANDLE_VALUE || h == nullptr; }
    static bool Close(HANDLE h) { return FindClose(h) != FALSE; }
};

struct ModuleTraits {
    static HMODULE Empty() { return nullptr; }
    static bool IsEmpty(HMODULE h) { return h == nullptr; }
    static bool Close(HMODULE h) { return FreeLibrary(h) != FALSE; }
};

struct StdioFileTraits {
    static std::FILE* Empty() { return nullptr; }
    static bool IsEmpty(std::FILE* f) { return f == nullptr; }
    static bool Close(std::FILE* f) { return std::fclose(f) == 0; }
};

struct DdeInstanceTraits {
    static DWORD Empty() { return 0; }
    static bool IsEmpty(DWORD h) { return h == 0; }
    static bool Close(DWORD h) { return DdeUninitialize(h) != FALSE; }
};

struct DdeConversationTraits {
    static HCONV Empty() { return nullptr; }
    static bool IsEmpty(HCONV h) { return h == nullptr; }
    static bool Close(HCONV h) { return DdeDisconnect(h) != FALSE; }
};

struct DdeDataTraits {
    static HDDEDATA Empty() { return nullptr; }
    static bool IsEmpty(HDDEDATA h) { return h == nullptr; }
    static bool Close(HDDEDATA h) { return DdeFreeDataHandle(h) != FALSE; }
};

} // namespace handles_detail

// An open registry key (RegOpenKeyExA, RegCreateKeyExA).
using RegKey = handles_detail::Owned<HKEY, handles_detail::RegKeyTraits>;
// A kernel object: file, process, thread, event, mapping.
using KernelHandle = handles_detail::Owned<HANDLE, handles_detail::KernelHandleTraits>;
// A FindFirstFileA search.
using FindHandle = handles_detail::Owned<HANDLE, handles_detail::FindHandleTraits>;
// A module loaded with LoadLibraryA / LoadLibraryExA (never one from GetModuleHandleA).
using LoadedModule = handles_detail::Owned<HMODULE, handles_detail::ModuleTraits>;
// A C run-time stream (std::fopen). Closing it writes what is still buffered: Reset() answers
// false when that fails.
using StdioFile = handles_detail::Owned<std::FILE*, handles_detail::StdioFileTraits>;
// A DDE instance (DdeInitializeA).
using DdeInstance = handles_detail::Owned<DWORD, handles_detail::DdeInstanceTraits>;
// A DDE conversation (DdeConnect).
using DdeConversation = handles_detail::Owned<HCONV, handles_detail::DdeConversationTraits>;
// A DDE data handle that the caller owns: the answer of a request transaction, or one made by
// DdeCreateDataHandle that was not handed to a transaction (the transaction takes it over:
// Release() it then).
using DdeData = handles_detail::Owned<HDDEDATA, handles_detail::DdeDataTraits>;

// A DDE string handle (DdeCreateStringHandleA), freed through the instance that made it.
class DdeString {
public:
    DdeString(DWORD instance, const char* text)
        : m_instance(instance),
          m_h(instance ? DdeCreateStringHandleA(instance, text, CP_WINANSI) : nullptr) {}
    ~DdeString() {
        if (m_h)
            DdeFreeStringHandle(m_instance, m_h);
    }
    DdeString(const DdeString&) = delete;
    DdeString& operator=(const DdeString&) = delete;

    HSZ Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    DWORD m_instance;
    HSZ m_h;
};

// A COM interface pointer, released when it goes out of scope.
template <class I> class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(I* p) : m_p(p) {}
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }

    I* Get() const { return m_p; }
    I* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    void Reset() {
        if (I* p = std::exchange(m_p, nullptr))
            p->Release();
    }
    // For CoCreateInstance and QueryInterface, which set their output to null when they fail:
    // releases what is held first.
    void** Receive() {
        Reset();
        return reinterpret_cast<void**>(&m_p);
    }
    I** ReceiveTyped() {
        Reset();
        return &m_p;
    }

private:
    I* m_p = nullptr;
};

// The COM (or OLE) initialisation of the calling thread for one scope. Construct it, check
// Succeeded(); the matching uninitialisation runs at the end of the scope only when the
// initialisation succeeded (S_OK or S_FALSE).
class ComScope {
public:
    enum class Kind { Com, Ole };
    explicit ComScope(Kind kind = Kind::Com)
        : m_kind(kind),
          m_result(kind == Kind::Ole ? OleInitialize(nullptr) : CoInitialize(nullptr)) {}
    ~ComScope() {
        if (SUCCEEDED(m_result)) {
            if (m_kind == Kind::Ole)
                OleUninitialize();
            else
                CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

    HRESULT Result() const { return m_result; }
    bool Succeeded() const { return SUCCEEDED(m_result); }
    // Already initialised in another apartment mode: COM is usable, nothing to undo.
    bool Usable() const { return SUCCEEDED(m_result) || m_result == RPC_E_CHANGED_MODE; }

private:
    Kind m_kind;
    HRESULT m_result;
};

// A block from the shell's allocator (an item ID list from SHGetSpecialFolderLocation), freed
// through the allocator it came from. The object owns one reference to the allocator, released
// after the block is freed.
template <class T> class ShellMemory {
public:
    explicit ShellMemory(IMalloc* allocator) : m_allocator(allocator) {}
    // Takes over a block that was received before the allocator was asked for.
    ShellMemory(IMalloc* allocator, T* block) : m_allocator(allocator), m_p(block) {}
    ~ShellMemory() { Reset(); }
    ShellMemory(const ShellMemory&) = delete;
    ShellMemory& operator=(const ShellMemory&) = delete;

    T* Get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    void Reset() {
        T* p = std::exchange(m_p, nullptr);
        if (p && m_allocator)
            m_allocator->Free(p);
    }
    T** Receive() {
        Reset();
        return &m_p;
    }

private:
    ComPtr<IMalloc> m_allocator;
    T* m_p = nullptr;
};

// A zlib inflate state (inflateInit), whose memory zlib allocates; inflateEnd frees it. The
// stream lives inside the owner, which therefore neither moves nor copies.
class InflateStream {
public:
    InflateStream() { m_open = inflateInit(&m_z) == Z_OK; }
    ~InflateStream() {
        if (m_open)
            inflateEnd(&m_z);
    }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    // False when zlib could not make the state (out of memory).
    bool IsOpen() const { return m_open; }
    z_stream& Get() { return m_z; }

private:
    z_stream m_z{};
    bool m_open = false;
};
