#include "setup/core/framework.h"

#include <gtest/gtest.h>

#include <string>

TEST(FwString, SharesAndDetachesOnAssignment) {
    FwString a("alpha");
    FwString b = a;
    EXPECT_EQ(a.c_str(), b.c_str()); // one block, two references
    b = "beta";
    EXPECT_EQ(a, "alpha");
    EXPECT_EQ(b, "beta");
    FwString empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_STREQ(empty.c_str(), "");
    a = a; // self-assignment keeps the text
    EXPECT_EQ(a.str(), "alpha");
    std::string s = a;
    EXPECT_EQ(s, "alpha");
}

TEST(FwPtrArray, GrowsInsertsAndRemoves) {
    FwPtrArray array;
    int values[100];
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(array.Add(&values[i]), i);
    array.InsertAt(0, nullptr);
    EXPECT_EQ(array.GetSize(), 101);
    EXPECT_EQ(array[0], nullptr);
    array.RemoveAt(0);
    EXPECT_EQ(array[99], &values[99]);
    array.RemoveAll();
    EXPECT_EQ(array.GetSize(), 0);
    EXPECT_EQ(array.GetData(), nullptr);
}

TEST(FwMaps, LookupIterateAndRemove) {
    FwMapStringToPtr map;
    int x = 1, y = 2;
    map.SetAt("one", &x);
    map.SetAt("two", &y);
    map.SetAt("one", &y);
    void* found = nullptr;
    ASSERT_TRUE(map.Lookup("one", found));
    EXPECT_EQ(found, &y);
    EXPECT_FALSE(map.Lookup("ONE", found)); // keys compare exactly
    int seen = 0;
    for (FwPosition pos = map.GetStartPosition(); pos;) {
        FwString key;
        void* value;
        map.GetNextAssoc(pos, key, value);
        ++seen;
    }
    EXPECT_EQ(seen, 2);
    EXPECT_TRUE(map.RemoveKey("two"));
    EXPECT_EQ(map.GetCount(), 1);

    FwMapStringToString names(100);
    names.SetAt("A", "alpha");
    FwString value;
    ASSERT_TRUE(names.Lookup("A", value));
    EXPECT_EQ(value, "alpha");
}

// Operations that take an element by reference may be given an element of the same container,
// also when the operation moves or frees the storage that element lives in.
TEST(FwContainers, TakeTheirOwnElements) {
    FwStringArray array;
    for (int i = 0; i < 4; ++i) // exactly full: the next Add grows the storage
        array.Add(FwString(("entry number " + std::to_string(i)).c_str()));
    for (int round = 0; round < 40; ++round) // grows many times, always from a full array
        array.Add(array[round % 4]);
    ASSERT_EQ(array.GetSize(), 44);
    for (int i = 0; i < 44; ++i)
        EXPECT_EQ(array[i].str(), "entry number " + std::to_string(i < 4 ? i : (i - 4) % 4)) << i;
    array.SetAt(0, array[1]);
    array.SetAt(1, array[1]);
    EXPECT_EQ(array[0].str(), "entry number 1");
    EXPECT_EQ(array[1].str(), "entry number 1");

    FwMapStringToString names;
    names.SetAt("key", "value");
    FwPosition pos = names.GetStartPosition();
    FwString key, value;
    names.GetNextAssoc(pos, key, value);
    names.SetAt(key.c_str(), value); // the entry's own texts
    names.SetAt(value.c_str(), key);
    ASSERT_TRUE(names.Lookup("key", value));
    EXPECT_EQ(value, "value");
    ASSERT_TRUE(names.Lookup(value.c_str(), value)); // key text and result are one string
    EXPECT_EQ(value, "key");
}

// The core searches whatever table a program installs, and none before.
TEST(FwClassTable, SearchesTheInstalledTableOnly) {
    const FwRuntimeClass* const table[] = {FW_RUNTIME_CLASS(FwPtrArray),
                                           FW_RUNTIME_CLASS(FwStringArray)};
    FwRuntimeClass::UseClassTable(nullptr, 0);
    EXPECT_EQ(FwRuntimeClass::FromName("FwPtrArray"), nullptr);
    EXPECT_EQ(FwRuntimeClass::CreateObject("FwPtrArray"), nullptr);

    FwRuntimeClass::UseClassTable(table, 2);
    EXPECT_EQ(FwRuntimeClass::FromName("FwPtrArray"), FW_RUNTIME_CLASS(FwPtrArray));
    EXPECT_EQ(FwRuntimeClass::FromName("FwStringArray"), FW_RUNTIME_CLASS(FwStringArray));
    EXPECT_EQ(FwRuntimeClass::FromName("fwptrarray"), nullptr); // names compare exactly
    EXPECT_EQ(FwRuntimeClass::FromName("FwMapStringToPtr"), nullptr);
    EXPECT_EQ(FwRuntimeClass::FromName(nullptr), nullptr);
    FwPtr<FwObject> created(FwRuntimeClass::CreateObject("FwStringArray"));
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->GetRuntimeClass(), FW_RUNTIME_CLASS(FwStringArray));

    // Only the first `count` records count.
    FwRuntimeClass::UseClassTable(table, 1);
    EXPECT_EQ(FwRuntimeClass::FromName("FwStringArray"), nullptr);
    FwRuntimeClass::UseClassTable(nullptr, 5);
    EXPECT_EQ(FwRuntimeClass::FromName("FwPtrArray"), nullptr);
}
