#include "setup/core/framework.h"

#include <cstdlib>
#include <cstring>
#include <new>

// ---------------------------------------------------------------------------------------------
// Run-time classes

const FwRuntimeClass FwObject::classFwObject = {"FwObject", static_cast<int>(sizeof(FwObject)),
                                                FwNoSchema, nullptr, nullptr};

const FwRuntimeClass* FwObject::GetRuntimeClass() const {
    return &classFwObject;
}

void* FwObject::DestroyObject(unsigned int flags) {
    this->~FwObject();
    if (flags & 1)
        ::operator delete(this);
    return this;
}

void FwObject::Serialize(void*) {}

bool FwObject::IsKindOf(const FwRuntimeClass* cls) const {
    return GetRuntimeClass()->IsDerivedFrom(cls);
}

bool FwRuntimeClass::IsDerivedFrom(const FwRuntimeClass* base) const {
    if (!base)
        return false;
    for (const FwRuntimeClass* c = this; c; c = c->BaseClass) {
        if (c == base ||
            (c->ClassName && base->ClassName && std::strcmp(c->ClassName, base->ClassName) == 0))
            return true;
    }
    return false;
}

FwObject* FwRuntimeClass::CreateObject() const {
    return CreateFn ? CreateFn() : nullptr;
}

namespace {

// Zero before a table is installed (static storage: nothing runs at load).
const FwRuntimeClass* const* g_classTable;
std::size_t g_classCount;

} // namespace

void FwRuntimeClass::UseClassTable(const FwRuntimeClass* const* classes, std::size_t count) {
    g_classTable = classes;
    g_classCount = classes ? count : 0;
}

const FwRuntimeClass* FwRuntimeClass::FromName(const char* name) {
    if (!name)
        return nullptr;
    for (std::size_t i = 0; i < g_classCount; ++i)
        if (std::strcmp(g_classTable[i]->ClassName, name) == 0)
            return g_classTable[i];
    return nullptr;
}

FwObject* FwRuntimeClass::CreateObject(const char* name) {
    const FwRuntimeClass* cls = FromName(name);
    return cls ? cls->CreateObject() : nullptr;
}

// ---------------------------------------------------------------------------------------------
// FwString

namespace {

struct StringHeader {
    int Refs; // negative: the shared empty block, never freed
    int Length;
    int Capacity;
    char* Chars() { return reinterpret_cast<char*>(this + 1); }
};

struct EmptyBlock {
    StringHeader Header;
    char Text[4];
};
EmptyBlock g_emptyBlock = {{-1, 0, 0}, {0, 0, 0, 0}};

StringHeader* HeaderOf(char* data) {
    return reinterpret_cast<StringHeader*>(data) - 1;
}

} // namespace

FwString::FwString() : m_data(g_emptyBlock.Text) {}
FwString::FwString(const char* text) : m_data(g_emptyBlock.Text) {
    if (text)
        Assign(text, std::strlen(text));
}
FwString::FwString(const char* text, std::size_t length) : m_data(g_emptyBlock.Text) {
    Assign(text, length);
}
FwString::FwString(const std::string& text) : m_data(g_emptyBlock.Text) {
    Assign(text.data(), text.size());
}
FwString::FwString(const FwString& other) : m_data(other.m_data) {
    StringHeader* h = HeaderOf(m_data);
    if (h->Refs >= 0)
        ++h->Refs;
}
FwString::FwString(FwString&& other) noexcept : m_data(other.m_data) {
    other.m_data = g_emptyBlock.Text;
}
FwString::~FwString() {
    Release();
}

FwString& FwString::operator=(const FwString& other) {
    if (this != &other && m_data != other.m_data) {
        StringHeader* h = HeaderOf(other.m_data);
        if (h->Refs >= 0)
            ++h->Refs;
        Release();
        m_data = other.m_data;
    }
    return *this;
}
FwString& FwString::operator=(FwString&& other) noexcept {
    if (this != &other) {
        Release();
        m_data = other.m_data;
        other.m_data = g_emptyBlock.Text;
    }
    return *this;
}
FwString& FwString::operator=(const char* text) {
    Assign(text ? text : "", text ? std::strlen(text) : 0);
    return *this;
}
FwString& FwString::operator=(const std::string& text) {
    Assign(text.data(), text.size());
    return *this;
}

std::size_t FwString::size() const {
    return static_cast<std::size_t>(HeaderOf(m_data)->Length);
}

void FwString::Release() {
    if (m_data == g_emptyBlock.Text)
        return;
    StringHeader* h = HeaderOf(m_data);
    if (h->Refs >= 0 && --h->Refs <= 0)
        std::free(h);
    m_data = g_emptyBlock.Text;
}

void FwString::Assign(const char* text, std::size_t length) {
    if (length == 0) {
        Release();
        return;
    }
    // The text may live inside the current block: build the new block before releasing.
    auto* h = static_cast<StringHeader*>(std::malloc(sizeof(StringHeader) + length + 1));
    // The run-time library's own report of a failed allocation: std::bad_alloc where the build
    // has exceptions, the end of the program where it has none (setup/core/product_runtime.cpp).
    if (!h)
        std::__throw_bad_alloc();
    h->Refs = 1;
    h->Length = static_cast<int>(length);
    h->Capacity = static_cast<int>(length);
    std::memcpy(h->Chars(), text, length);
    h->Chars()[length] = 0;
    Release();
    m_data = h->Chars();
}

// ---------------------------------------------------------------------------------------------
// Arrays

FW_IMPLEMENT_DYNCREATE(FwPtrArray, FwObject)
FW_IMPLEMENT_DYNCREATE(FwStringArray, FwObject)
FW_IMPLEMENT_DYNCREATE(FwMapStringToPtr, FwObject)
FW_IMPLEMENT_DYNCREATE(FwMapStringToString, FwObject)

FwPtrArray::~FwPtrArray() {
    RemoveAll();
}

void FwPtrArray::Reserve(int capacity) {
    if (capacity <= m_nMaxSize)
        return;
    int grow = m_nGrowBy > 0 ? m_nGrowBy : (m_nSize < 32 ? 4 : m_nSize / 2);
    int newMax = m_nMaxSize + grow;
    if (newMax < capacity)
        newMax = capacity;
    void** data = static_cast<void**>(std::realloc(m_pData, sizeof(void*) * newMax));
    if (!data)
        std::__throw_bad_alloc();
    m_pData = data;
    m_nMaxSize = newMax;
}

int FwPtrArray::Add(void* value) {
    Reserve(m_nSize + 1);
    m_pData[m_nSize] = value;
    return m_nSize++;
}

void FwPtrArray::InsertAt(int index, void* value) {
    if (index < 0)
        index = 0;
    if (index > m_nSize)
        index = m_nSize;
    Reserve(m_nSize + 1);
    std::memmove(m_pData + index + 1, m_pData + index, sizeof(void*) * (m_nSize - index));
    m_pData[index] = value;
    ++m_nSize;
}

void FwPtrArray::RemoveAt(int index) {
    if (index < 0 || index >= m_nSize)
        return;
    std::memmove(m_pData + index, m_pData + index + 1, sizeof(void*) * (m_nSize - index - 1));
    --m_nSize;
}

void FwPtrArray::RemoveAll() {
    std::free(m_pData);
    m_pData = nullptr;
    m_nSize = 0;
    m_nMaxSize = 0;
}

FwStringArray::~FwStringArray() {
    RemoveAll();
}

int FwStringArray::Add(const FwString& value) {
    // The value may be an element of this array: it is taken before the storage moves.
    FwString copy(value);
    if (m_nSize == m_nMaxSize) {
        int grow = m_nGrowBy > 0 ? m_nGrowBy : (m_nSize < 32 ? 4 : m_nSize / 2);
        int newMax = m_nMaxSize + grow;
        auto* data = static_cast<FwString*>(::operator new(sizeof(FwString) * newMax));
        for (int i = 0; i < m_nSize; ++i) {
            new (&data[i]) FwString(std::move(m_pData[i]));
            m_pData[i].~FwString();
        }
        ::operator delete(m_pData);
        m_pData = data;
        m_nMaxSize = newMax;
    }
    new (&m_pData[m_nSize]) FwString(std::move(copy));
    return m_nSize++;
}

void FwStringArray::RemoveAt(int index) {
    if (index < 0 || index >= m_nSize)
        return;
    for (int i = index; i + 1 < m_nSize; ++i)
        m_pData[i] = std::move(m_pData[i + 1]);
    m_pData[--m_nSize].~FwString();
}

void FwStringArray::RemoveAll() {
    for (int i = 0; i < m_nSize; ++i)
        m_pData[i].~FwString();
    ::operator delete(m_pData);
    m_pData = nullptr;
    m_nSize = 0;
    m_nMaxSize = 0;
}

// ---------------------------------------------------------------------------------------------
// Maps

namespace {

unsigned int HashKey(const char* key) {
    unsigned int hash = 0;
    while (*key)
        hash = (hash << 5) + hash + static_cast<unsigned char>(*key++);
    return hash;
}

template <class Map, class Assoc> FwPosition StartOf(Assoc** table, unsigned int size, int count) {
    if (count == 0 || !table)
        return nullptr;
    for (unsigned int b = 0; b < size; ++b)
        if (table[b])
            return reinterpret_cast<FwPosition>(table[b]);
    return nullptr;
}

template <class Assoc> Assoc* NextOf(Assoc* assoc, Assoc** table, unsigned int size) {
    if (assoc->Next)
        return assoc->Next;
    for (unsigned int b = assoc->Hash % size + 1; b < size; ++b)
        if (table[b])
            return table[b];
    return nullptr;
}

} // namespace

#define FW_MAP_COMMON(Map)                                                                         \
    Map::~Map() {                                                                                  \
        RemoveAll();                                                                               \
    }                                                                                              \
    Map::Assoc* Map::Find(const char* key, unsigned int& bucket) const {                           \
        unsigned int hash = HashKey(key);                                                          \
        bucket = hash % m_nHashTableSize;                                                          \
        if (!m_pHashTable)                                                                         \
            return nullptr;                                                                        \
        for (Assoc* a = m_pHashTable[bucket]; a; a = a->Next)                                      \
            if (a->Hash == hash && std::strcmp(a->Key.c_str(), key) == 0)                          \
                return a;                                                                          \
        return nullptr;                                                                            \
    }                                                                                              \
    bool Map::RemoveKey(const char* key) {                                                         \
        unsigned int bucket;                                                                       \
        if (!Find(key, bucket))                                                                    \
            return false;                                                                          \
        for (Assoc** link = &m_pHashTable[bucket]; *link; link = &(*link)->Next) {                 \
            if (std::strcmp((*link)->Key.c_str(), key) == 0) {                                     \
                Assoc* gone = *link;                                                               \
                *link = gone->Next;                                                                \
                delete gone;                                                                       \
                --m_nCount;                                                                        \
                return true;                                                                       \
            }                                                                                      \
        }                                                                                          \
        return false;                                                                              \
    }                                                                                              \
    void Map::RemoveAll() {                                                                        \
        if (m_pHashTable) {                                                                        \
            for (unsigned int b = 0; b < m_nHashTableSize; ++b) {                                  \
                for (Assoc* a = m_pHashTable[b]; a;) {                                             \
                    Assoc* next = a->Next;                                                         \
                    delete a;                                                                      \
                    a = next;                                                                      \
                }                                                                                  \
            }                                                                                      \
            delete[] m_pHashTable;                                                                 \
        }                                                                                          \
        m_pHashTable = nullptr;                                                                    \
        m_nCount = 0;                                                                              \
    }                                                                                              \
    FwPosition Map::GetStartPosition() const {                                                     \
        return StartOf<Map, Assoc>(m_pHashTable, m_nHashTableSize, m_nCount);                      \
    }

FW_MAP_COMMON(FwMapStringToPtr)
FW_MAP_COMMON(FwMapStringToString)

bool FwMapStringToPtr::Lookup(const char* key, void*& value) const {
    unsigned int bucket;
    Assoc* a = Find(key, bucket);
    if (!a)
        return false;
    value = a->Value;
    return true;
}

void FwMapStringToPtr::SetAt(const char* key, void* value) {
    unsigned int bucket;
    if (Assoc* a = Find(key, bucket)) {
        a->Value = value;
        return;
    }
    if (!m_pHashTable)
        m_pHashTable = new Assoc*[m_nHashTableSize]();
    m_pHashTable[bucket] = new Assoc{m_pHashTable[bucket], HashKey(key), FwString(key), value};
    ++m_nCount;
}

void FwMapStringToPtr::GetNextAssoc(FwPosition& position, FwString& key, void*& value) const {
    auto* a = reinterpret_cast<Assoc*>(position);
    key = a->Key;
    value = a->Value;
    position = reinterpret_cast<FwPosition>(NextOf(a, m_pHashTable, m_nHashTableSize));
}

bool FwMapStringToString::Lookup(const char* key, FwString& value) const {
    unsigned int bucket;
    Assoc* a = Find(key, bucket);
    if (!a)
        return false;
    value = a->Value;
    return true;
}

void FwMapStringToString::SetAt(const char* key, const FwString& value) {
    unsigned int bucket;
    if (Assoc* a = Find(key, bucket)) {
        a->Value = value;
        return;
    }
    if (!m_pHashTable)
        m_pHashTable = new Assoc*[m_nHashTableSize]();
    m_pHashTable[bucket] = new Assoc{m_pHashTable[bucket], HashKey(key), FwString(key), value};
    ++m_nCount;
}

void FwMapStringToString::GetNextAssoc(FwPosition& position, FwString& key, FwString& value) const {
    auto* a = reinterpret_cast<Assoc*>(position);
    key = a->Key;
    value = a->Value;
    position = reinterpret_cast<FwPosition>(NextOf(a, m_pHashTable, m_nHashTableSize));
}
