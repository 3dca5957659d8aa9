// Reading a text value through a buffer of the caller's size: the value as it is stored.
#include "setup/core/registry.h"

#include <gtest/gtest.h>

#include <string>

#include "setup/core/handles.h"
#include "support/fixtures.h"

namespace {

void SetRaw(const testsupport::ScratchKey& key, const char* name, const std::string& bytes) {
    ASSERT_TRUE(WriteRegStringAt(key.Root(), key / name, "")); // creates the key
    RegKey handle;
    ASSERT_EQ(RegOpenKeyExA(key.Root(), key.KeyPath().c_str(), 0, KEY_ALL_ACCESS, handle.Receive()),
              ERROR_SUCCESS);
    RegSetValueExA(handle.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
}

} // namespace

TEST(RegistryText, ValueThatFillsTheBufferIsReadWhole) {
    testsupport::ScratchKey key;
    const std::string longest = "C:\\" + std::string(256, 'p'); // 259 characters and a zero
    ASSERT_TRUE(WriteRegStringAt(key.Root(), key / "Path", longest));
    EXPECT_EQ(ReadRegTextAt(key.Root(), key / "Path", 260), longest);
    EXPECT_EQ(ReadRegStringAt(key.Root(), key / "Path"), "") << "the short read gives up";

    ASSERT_TRUE(WriteRegStringAt(key.Root(), key / "Path", longest + "q"));
    EXPECT_EQ(ReadRegTextAt(key.Root(), key / "Path", 260), "") << "does not fit: not cut";

    // Stored without a terminating zero: all of it.
    SetRaw(key, "Bare", "C:\\Palm");
    EXPECT_EQ(ReadRegTextAt(key.Root(), key / "Bare", 260), "C:\\Palm");
}

TEST(RegistryText, TextIsKeptAsStored) {
    testsupport::ScratchKey key;
    ASSERT_TRUE(WriteRegStringAt(key.Root(), key / "Path", "  C:\\Palm \t"));
    EXPECT_EQ(ReadRegTextAt(key.Root(), key / "Path", 260), "  C:\\Palm \t");
    SetRaw(key, "Inner", std::string("C:\\A\0junk", 9));
    EXPECT_EQ(ReadRegTextAt(key.Root(), key / "Inner", 260), "C:\\A");

    EXPECT_EQ(ReadRegTextAt(key.Root(), key / "Absent", 260), "");
    EXPECT_EQ(ReadRegTextAt(key.Root(), key / "missing\\Path", 260), "");
    EXPECT_EQ(ReadRegTextAt(key.Root(), key / "Path", 0), "");
}
