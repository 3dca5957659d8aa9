// The small application framework that the setup objects are built on: a root object class
// with run-time class records and creation by class name, a reference-counted 8-bit string one
// pointer wide, growable arrays and string-keyed maps. Their layouts are part of the binary
// interface between a setup engine and the plug-in, which exchange objects by pointer, so every
// class here keeps the field order and widths of the classic framework it mirrors.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>

class FwObject;

// Run-time class record: registered class name, object size, schema and base class.
struct FwRuntimeClass {
    const char* ClassName;
    int ObjectSize;
    unsigned int Schema; // 0xFFFF: no versioning
    FwObject* (*CreateFn)();
    const FwRuntimeClass* BaseClass;

    // True when this class is `base` or derives from it. Classes are compared by record and,
    // for records of another module (an engine and a plug-in each carry their own), by name.
    bool IsDerivedFrom(const FwRuntimeClass* base) const;
    FwObject* CreateObject() const;

    // The record registered under `name` (exact comparison) in the table installed with
    // UseClassTable, or null; null for every name until a table is installed.
    static const FwRuntimeClass* FromName(const char* name);
    // A new default-constructed object of the class registered under `name`, or null.
    static FwObject* CreateObject(const char* name);
    // Installs the table that FromName searches: `count` records, kept by pointer (the table
    // must outlive every search). A program that creates objects by name installs the setup
    // library's table at its start (setup/assembly/class_table.h); one that does not links none
    // of the classes it never names.
    static void UseClassTable(const FwRuntimeClass* const* classes, std::size_t count);
};

constexpr unsigned int FwNoSchema = 0xFFFF;

// Root of every setup object. Its virtual table starts with GetRuntimeClass (slot 0), then a
// single destruction slot (slot 1, which frees the object when bit 0 of `flags` is set), then
// Serialize (slot 2). Destruction takes exactly one slot, as the platform's native C++ layout of
// a virtual destructor does, so the slot numbers of derived classes are the documented ones.
class FwObject {
public:
    virtual const FwRuntimeClass* GetRuntimeClass() const;
    virtual void* DestroyObject(unsigned int flags);
    virtual void Serialize(void* archive);

    bool IsKindOf(const FwRuntimeClass* cls) const;

    static const FwRuntimeClass classFwObject;

protected:
    FwObject() = default;
    FwObject(const FwObject&) = default;
    FwObject& operator=(const FwObject&) = default;
    ~FwObject() = default; // objects are destroyed through DestroyObject (slot 1)
};

// Destroys and frees an object created with new or by class name (null is allowed).
inline void FwDelete(FwObject* object) {
    if (object)
        object->DestroyObject(1);
}

// Owning pointer that destroys through DestroyObject.
struct FwDeleter {
    void operator()(FwObject* object) const { FwDelete(object); }
};
template <class T> using FwPtr = std::unique_ptr<T, FwDeleter>;

// Declares the run-time class record, the by-name factory and the destruction slot.
#define FW_DECLARE_DYNCREATE(cls)                                                                  \
public:                                                                                            \
    static const FwRuntimeClass class##cls;                                                        \
    static FwObject* CreateObject();                                                               \
    const FwRuntimeClass* GetRuntimeClass() const override;                                        \
    void* DestroyObject(unsigned int flags) override;

#define FW_IMPLEMENT_DYNCREATE(cls, base)                                                          \
    FwObject* cls::CreateObject() {                                                                \
        return new cls;                                                                            \
    }                                                                                              \
    const FwRuntimeClass cls::class##cls = {#cls, static_cast<int>(sizeof(cls)), FwNoSchema,       \
                                            &cls::CreateObject, &base::class##base};               \
    const FwRuntimeClass* cls::GetRuntimeClass() const {                                           \
        return &class##cls;                                                                        \
    }                                                                                              \
    void* cls::DestroyObject(unsigned int flags) {                                                 \
        this->~cls();                                                                              \
        if (flags & 1)                                                                             \
            ::operator delete(this);                                                               \
        return this;                                                                               \
    }

#define FW_RUNTIME_CLASS(cls) (&cls::class##cls)

// Layout checks of the binary interface: offsetof on classes with virtual tables is what the
// checks are about, so the compiler's note about it is silenced between these two markers.
#define FW_LAYOUT_CHECKS_BEGIN                                                                     \
    _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Winvalid-offsetof\"")
#define FW_LAYOUT_CHECKS_END _Pragma("GCC diagnostic pop")

// Reference-counted 8-bit string, one pointer wide: the pointer addresses the characters, which
// are preceded by a header (reference count, length, capacity). Copies share the block until one
// of them is assigned. The empty string uses a shared block whose count is negative and which
// is never freed, so an empty string crossing from another module is harmless.
class FwString {
public:
    FwString();
    FwString(const char* text);
    FwString(const char* text, std::size_t length);
    FwString(const std::string& text);
    FwString(const FwString& other);
    FwString(FwString&& other) noexcept;
    ~FwString();

    FwString& operator=(const FwString& other);
    FwString& operator=(FwString&& other) noexcept;
    FwString& operator=(const char* text);
    FwString& operator=(const std::string& text);

    const char* c_str() const { return m_data; }
    std::size_t size() const;
    std::size_t length() const { return size(); }
    bool empty() const { return size() == 0; }
    std::string str() const { return std::string(m_data, size()); }
    operator std::string() const { return str(); }

    friend bool operator==(const FwString& a, const FwString& b) { return a.str() == b.str(); }
    friend bool operator==(const FwString& a, const char* b) { return a.str() == b; }
    friend bool operator!=(const FwString& a, const char* b) { return !(a == b); }

    friend std::ostream& operator<<(std::ostream& out, const FwString& text);

private:
    void Assign(const char* text, std::size_t length);
    void Release();
    char* m_data;
};

// Growable array of pointers (table pointer, data, size, capacity, growth step).
class FwPtrArray : public FwObject {
    FW_DECLARE_DYNCREATE(FwPtrArray)
public:
    FwPtrArray() = default;
    FwPtrArray(const FwPtrArray&) = delete;
    FwPtrArray& operator=(const FwPtrArray&) = delete;
    ~FwPtrArray();

    int GetSize() const { return m_nSize; }
    void* GetAt(int index) const { return m_pData[index]; }
    void SetAt(int index, void* value) { m_pData[index] = value; }
    void* operator[](int index) const { return m_pData[index]; }
    int Add(void* value);
    void InsertAt(int index, void* value);
    void RemoveAt(int index);
    void RemoveAll(); // size 0, storage freed
    void** GetData() const { return m_pData; }
    void SetGrowBy(int growBy) { m_nGrowBy = growBy; }

private:
    void Reserve(int capacity);
    void** m_pData = nullptr;
    int m_nSize = 0;
    int m_nMaxSize = 0;
    int m_nGrowBy = 0;
};

// Growable array of strings, same layout as FwPtrArray. Add and SetAt may be given an element
// of the array itself.
class FwStringArray : public FwObject {
    FW_DECLARE_DYNCREATE(FwStringArray)
public:
    FwStringArray() = default;
    FwStringArray(const FwStringArray&) = delete;
    FwStringArray& operator=(const FwStringArray&) = delete;
    ~FwStringArray();

    int GetSize() const { return m_nSize; }
    const FwString& GetAt(int index) const { return m_pData[index]; }
    void SetAt(int index, const FwString& value) { m_pData[index] = value; }
    const FwString& operator[](int index) const { return m_pData[index]; }
    int Add(const FwString& value);
    void RemoveAt(int index);
    void RemoveAll();

private:
    FwString* m_pData = nullptr;
    int m_nSize = 0;
    int m_nMaxSize = 0;
    int m_nGrowBy = 0;
};

// Opaque iteration position of the maps.
typedef struct FwPositionTag* FwPosition;

// Hash map from strings (compared exactly) to pointers: table pointer, hash table, hash table
// size, count, free list, block list, block size. Entries are allocated one by one; the free
// list and block list are kept at null for the layout's sake.
class FwMapStringToPtr : public FwObject {
    FW_DECLARE_DYNCREATE(FwMapStringToPtr)
public:
    explicit FwMapStringToPtr(int blockSize = 10) : m_nBlockSize(blockSize) {}
    FwMapStringToPtr(const FwMapStringToPtr&) = delete;
    FwMapStringToPtr& operator=(const FwMapStringToPtr&) = delete;
    ~FwMapStringToPtr();

    int GetCount() const { return m_nCount; }
    bool Lookup(const char* key, void*& value) const;
    void SetAt(const char* key, void* value);
    bool RemoveKey(const char* key);
    void RemoveAll();
    // Iteration in the map's own order (bucket by bucket).
    FwPosition GetStartPosition() const;
    void GetNextAssoc(FwPosition& position, FwString& key, void*& value) const;

    struct Assoc {
        Assoc* Next;
        unsigned int Hash;
        FwString Key;
        void* Value;
    };

private:
    Assoc* Find(const char* key, unsigned int& bucket) const;
    Assoc** m_pHashTable = nullptr;
    unsigned int m_nHashTableSize = 17;
    int m_nCount = 0;
    Assoc* m_pFreeList = nullptr;
    void* m_pBlocks = nullptr;
    int m_nBlockSize;
};

// Hash map from strings to strings, same layout as FwMapStringToPtr.
class FwMapStringToString : public FwObject {
    FW_DECLARE_DYNCREATE(FwMapStringToString)
public:
    explicit FwMapStringToString(int blockSize = 10) : m_nBlockSize(blockSize) {}
    FwMapStringToString(const FwMapStringToString&) = delete;
    FwMapStringToString& operator=(const FwMapStringToString&) = delete;
    ~FwMapStringToString();

    int GetCount() const { return m_nCount; }
    bool Lookup(const char* key, FwString& value) const;
    void SetAt(const char* key, const FwString& value);
    bool RemoveKey(const char* key);
    void RemoveAll();
    FwPosition GetStartPosition() const;
    void GetNextAssoc(FwPosition& position, FwString& key, FwString& value) const;

    struct Assoc {
        Assoc* Next;
        unsigned int Hash;
        FwString Key;
        FwString Value;
    };

private:
    Assoc* Find(const char* key, unsigned int& bucket) const;
    Assoc** m_pHashTable = nullptr;
    unsigned int m_nHashTableSize = 17;
    int m_nCount = 0;
    Assoc* m_pFreeList = nullptr;
    void* m_pBlocks = nullptr;
    int m_nBlockSize;
};

#if defined(__i386__)
static_assert(sizeof(FwString) == 4, "string is one pointer wide");
static_assert(sizeof(FwPtrArray) == 20, "pointer array layout");
static_assert(sizeof(FwStringArray) == 20, "string array layout");
static_assert(sizeof(FwMapStringToPtr) == 28, "string-to-pointer map layout");
static_assert(sizeof(FwMapStringToString) == 28, "string-to-string map layout");
#endif
static_assert(sizeof(FwString) == sizeof(void*), "string is one pointer wide");
