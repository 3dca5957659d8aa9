// Registry utilities against the real registry, under a scratch key per test. Key deletion is
// checked on both families: the Windows 98 run deletes whole trees in one platform call, the
// Windows 2000 run must delete them depth first.
#include "setup/core/registry.h"

#include <gtest/gtest.h>

#include <string>

#include "setup/core/handles.h"
#include "support/fixtures.h"

namespace {

bool KeyExists(HKEY root, const std::string& path) {
    RegKey key;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

// A scratch key, also open, so that it can stand in for a root key.
struct Scratch : testsupport::ScratchKey {
    Scratch() {
        RegOpenKeyExA(Root(), KeyPath().c_str(), 0, KEY_ALL_ACCESS, m_open.Receive());
        key = m_open.Get();
    }
    void SetRaw(const char* name, DWORD type, const std::string& bytes) const {
        RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
    }
    HKEY key = nullptr;

private:
    RegKey m_open;
};

bool IsWin9x() {
    return testsupport::PlatformId() == VER_PLATFORM_WIN32_WINDOWS;
}

// A three-level tree: k\a\a1\deep, k\a\a2, k\b; or a chain k\a\a1\deep. Wine's Windows 98
// emulation removes a tree in one call only when no key in it has more than one subkey.
void MakeTree(HKEY root, const std::string& k, bool chain = false) {
    for (const char* sub : {"\\a\\a1\\deep\\v", "\\a\\a2\\v", "\\b\\v"}) {
        ASSERT_TRUE(WriteRegStringAt(root, k + sub, "x"));
        if (chain)
            return;
    }
}

} // namespace

TEST(RegistryRoots, ParsesExactNamesOnly) {
    HKEY root = nullptr;
    EXPECT_TRUE(ParseRootKeyName("  HKEY_LOCAL_MACHINE\t", root));
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(ParseRootKeyName("HKEY_DYN_DATA", root));
    EXPECT_EQ(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(root)), 0x80000006u);
    for (const char* bad : {"hkey_local_machine", "HKLM", "", "HKEY_LOCAL_MACHINE\\Software"}) {
        EXPECT_FALSE(ParseRootKeyName(bad, root)) << bad;
        EXPECT_EQ(root, nullptr) << bad;
    }
}

TEST(RegistryValues, WritingCreatesKeysAndDeletingAbsentValuesSucceeds) {
    Scratch s;
    EXPECT_TRUE(WriteRegStringAt(s.Root(), s / "one\\two\\three\\Name", "  text  "));
    EXPECT_EQ(ReadRegStringAt(s.Root(), s / "one\\two\\three\\Name"), "text");
    // Without a backslash the value belongs to the root key itself.
    EXPECT_TRUE(WriteRegDwordAt(s.key, "Plain", 0x01020304));
    DWORD number = 0;
    EXPECT_TRUE(ReadRegDword(s.key, "Plain", number));
    EXPECT_EQ(number, 0x01020304u);
    EXPECT_TRUE(WriteRegKeyDefault(s.Root(), s / "def", "dflt"));
    EXPECT_EQ(ReadRegKeyDefault(s.Root(), s / "def"), "dflt");
    EXPECT_EQ(ReadRegDwordAt(s.Root(), s / "missing\\Name"), 0u);
    EXPECT_FALSE(WriteRegBinaryAt(s.Root(), s / "Empty", nullptr, 0));

    EXPECT_TRUE(DeleteRegValue(s.Root(), s / "NoSuchValue"));
    EXPECT_TRUE(DeleteRegValue(s.Root(), s / "no\\such\\key\\Value"));
    EXPECT_TRUE(DeleteRegValue(s.Root(), s / "Plain"));
    EXPECT_NE(RegQueryValueExA(s.key, "Plain", nullptr, nullptr, nullptr, nullptr), 0);
}

TEST(RegistryValues, NumbersAndBinaryData) {
    Scratch s;
    s.SetRaw("bin4", REG_BINARY, std::string("\x78\x56\x34\x12", 4));
    s.SetRaw("bin8", REG_BINARY, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
    s.SetRaw("sz4", REG_SZ, std::string("abc\0", 4));
    DWORD number = 7;
    EXPECT_TRUE(ReadRegDword(s.key, "bin4", number));
    EXPECT_EQ(number, 0x12345678u);
    EXPECT_FALSE(ReadRegDword(s.key, "bin8", number) || ReadRegDword(s.key, "sz4", number));

    BYTE buffer[8] = {};
    DWORD size = 2;
    EXPECT_FALSE(ReadRegBinary(s.key, "bin8", buffer, size));
    EXPECT_EQ(size, 8u); // the needed length
    EXPECT_TRUE(ReadRegBinaryAt(s.Root(), s / "bin8", buffer, size));
    EXPECT_EQ(buffer[7], 8);
    EXPECT_FALSE(ReadRegBinary(s.key, "sz4", buffer, size)); // not REG_BINARY
    EXPECT_EQ(size, 0u);
}

TEST(RegistryValues, StringsNeverReadPastTheBuffer) {
    Scratch s;
    const std::string longest(254, 'a');
    ASSERT_TRUE(WriteRegString(s.key, "s254", longest) &&
                WriteRegString(s.key, "s255", longest + "b"));
    EXPECT_EQ(ReadRegString(s.key, "s254"), longest);
    EXPECT_EQ(ReadRegString(s.key, "s255"), ""); // longer than the buffer
    // Stored without a terminating zero (as binary: the Windows 98 family adds the zero to
    // strings itself); the type is not examined.
    s.SetRaw("short", REG_BINARY, "abc");
    s.SetRaw("full", REG_BINARY, std::string(255, 'x'));
    s.SetRaw("zero", REG_BINARY, std::string("ab\0cd", 5));
    EXPECT_EQ(ReadRegString(s.key, "short"), "abc");
    EXPECT_EQ(ReadRegString(s.key, "full"), "");
    EXPECT_EQ(ReadRegString(s.key, "zero"), "ab");
}

TEST(RegistryKeys, WithoutSubkeysRefusesAKeyThatHasSome) {
    Scratch s;
    const std::string k = s / "tree";
    MakeTree(s.Root(), k);
    TextList names = {"stale"};
    EXPECT_EQ(EnumSubkeyNames(s.key, names), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(names, TextList{"tree"});

    EXPECT_FALSE(DeleteRegKey(s.Root(), k, false));
    EXPECT_EQ(DeleteRegKeyStatus(s.Root(), k, false),
              IsWin9x() ? RegKeyWin9xHasSubkeys : RegKeyNtHasSubkeys);
    EXPECT_TRUE(KeyExists(s.Root(), k + "\\a\\a1\\deep"));
    EXPECT_EQ(DeleteRegKeyStatus(s.Root(), k + "\\b", false),
              IsWin9x() ? RegKeyWin9xDeleted : RegKeyNtDeleted);
    EXPECT_EQ(DeleteRegKeyStatus(s.Root(), k + "\\b", false),
              IsWin9x() ? RegKeyWin9xDeleteFailed : RegKeyNtDeleteFailed);
}

TEST(RegistryKeys, WithSubkeysDeletesAThreeLevelTree) {
    Scratch s;
    const std::string k = s / "tree";
    MakeTree(s.Root(), k, IsWin9x());
    // One platform call on Windows 98; depth first on the NT family.
    EXPECT_EQ(DeleteRegKeyStatus(s.Root(), k, true),
              IsWin9x() ? RegKeyWin9xTreeDeleted : RegKeyNtTreeDeleted);
    EXPECT_FALSE(KeyExists(s.Root(), k));
    EXPECT_TRUE(KeyExists(s.Root(), s.KeyPath()));
    EXPECT_EQ(DeleteRegKeyStatus(s.Root(), k, true),
              IsWin9x() ? RegKeyWin9xTreeDeleteFailed : RegKeyNtTreeDeleteFailed);
    MakeTree(s.Root(), k, IsWin9x());
    EXPECT_TRUE(DeleteRegKey(s.Root(), k, true));
}

TEST(RegistryKeys, FamilyBranchesMeetTheRealPlatform) {
    Scratch s;
    const std::string k = s / "tree";
    // The one-call deletion removes a tree only where the platform does so itself.
    MakeTree(s.Root(), k, true);
    EXPECT_EQ(DeleteRegKeyStatusAs(1, s.Root(), k, true),
              IsWin9x() ? RegKeyWin9xTreeDeleted : RegKeyWin9xTreeDeleteFailed);
    EXPECT_EQ(KeyExists(s.Root(), k + "\\a\\a1"), !IsWin9x());
    // The depth-first deletion works on both; any other platform id deletes plainly.
    MakeTree(s.Root(), k);
    EXPECT_EQ(DeleteRegKeyStatusAs(2, s.Root(), k, true), RegKeyNtTreeDeleted);
    ASSERT_TRUE(WriteRegStringAt(s.Root(), k + "\\v", "x"));
    EXPECT_EQ(DeleteRegKeyStatusAs(0, s.Root(), k, true), RegKeyDeleted);
    EXPECT_EQ(DeleteRegKeyStatusAs(0, s.Root(), k, false), RegKeyDeleteFailed);
    // An empty last component would make the platform delete the opened key itself.
    MakeTree(s.Root(), k);
    EXPECT_FALSE(DeleteRegKey(s.key, "", true));
    EXPECT_FALSE(DeleteRegKey(s.Root(), k + "\\", true));
    EXPECT_TRUE(KeyExists(s.Root(), k + "\\a\\a1\\deep"));
}

TEST(RegistryKeys, SubkeyNamesAreTakenAsTheyAre) {
    Scratch s;
    const std::string k = s / "tree";
    // Legal key names that path rules would change: a colon, blanks at either end.
    for (const char* sub : {"\\a:b\\c:\\v", "\\x \\ y\\v", "\\ lead\\v", "\\C:dir\\v"})
        ASSERT_TRUE(WriteRegStringAt(s.Root(), k + sub, "x"));
    ASSERT_TRUE(KeyExists(s.Root(), k + "\\x \\ y"));
    EXPECT_EQ(DeleteRegKeyStatusAs(2, s.Root(), k, true), 4);
    EXPECT_FALSE(KeyExists(s.Root(), k));
    for (const char* sub : {"\\a:b\\c:\\v", "\\x \\v"})
        ASSERT_TRUE(WriteRegStringAt(s.Root(), k + sub, "x"));
    EXPECT_TRUE(DeleteRegKey(s.Root(), k, true));
    EXPECT_FALSE(KeyExists(s.Root(), k));
}

// The Windows 95/98 deletion without subkeys asks for the number of subkeys first, because the
// platform's deletion there would take the whole tree: when it cannot find out, nothing goes.
TEST(RegistryKeys, UncountableSubkeysKeepTheTree) {
    Scratch s;
    const std::string k = s / "tree";
    MakeTree(s.Root(), k, true);
    int status;
    bool deleted;
    {
        OverrideForTesting uncountable(SubkeyCountQueryForTesting(),
                                       [](HKEY, DWORD& subkeys) -> LONG {
                                           subkeys = 0;
                                           return ERROR_ACCESS_DENIED;
                                       });
        status = DeleteRegKeyStatusAs(1, s.Root(), k, false);
        deleted = DeleteRegKey(s.Root(), k, false);
    }
    EXPECT_EQ(status, 8);
    EXPECT_FALSE(deleted);
    EXPECT_TRUE(KeyExists(s.Root(), k + "\\a\\a1\\deep"));
    // The real query again: the key has subkeys, so it is refused.
    EXPECT_EQ(DeleteRegKeyStatusAs(1, s.Root(), k, false), 2);
    EXPECT_EQ(DeleteRegKeyStatusAs(1, s.Root(), k + "\\missing", false), 8);
}

// Opening and creating keys: the owner takes a handle only when the platform gives one, so a
// failed open never replaces (or closes) what it held.
TEST(RegistryKeys, OpeningTakesTheHandleOnlyOnSuccess) {
    Scratch scratch;
    RegKey key;
    ASSERT_EQ(OpenRegKey(scratch.Root(), scratch.KeyPath(), KEY_ALL_ACCESS, key), ERROR_SUCCESS);
    const HKEY held = key.Get();
    ASSERT_NE(held, nullptr);
    const struct {
        const char* what;
        LONG answer;
    } rows[] = {
        {"absent key", OpenRegKey(scratch.Root(), scratch / "absent", KEY_READ, key)},
        {"absent key by root name",
         OpenRegKey("HKEY_CURRENT_USER", scratch / "absent\\deeper", KEY_READ, key)},
        {"no such root", OpenRegKey("HKEY_NOWHERE", scratch.KeyPath(), KEY_READ, key)},
    };
    for (const auto& row : rows) {
        EXPECT_NE(row.answer, ERROR_SUCCESS) << row.what;
        EXPECT_EQ(key.Get(), held) << row.what << ": the owner keeps what it held";
    }
    EXPECT_EQ(rows[0].answer, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(rows[2].answer, ERROR_INVALID_HANDLE);
    ASSERT_TRUE(key);
    EXPECT_EQ(
        RegSetValueExA(key.Get(), "still", 0, REG_SZ, reinterpret_cast<const BYTE*>("open"), 5),
        ERROR_SUCCESS)
        << "the kept handle still works";

    RegKey created;
    EXPECT_EQ(CreateRegKey(scratch.Root(), scratch / "a\\b\\c", KEY_ALL_ACCESS, created),
              ERROR_SUCCESS);
    EXPECT_TRUE(created);
    EXPECT_TRUE(KeyExists(scratch.Root(), scratch / "a\\b\\c")) << "missing parents are made";
    RegKey byName;
    EXPECT_EQ(OpenRegKey("HKEY_CURRENT_USER", scratch / "a\\b", KEY_READ, byName), ERROR_SUCCESS);
    EXPECT_TRUE(byName);
}

// A value's type and bytes whatever its size: below, at and far above the first buffer.
TEST(RegistryValues, ReadRegValueReadsAnySizeAndTellsAbsence) {
    Scratch scratch;
    const struct {
        const char* name;
        DWORD type;
        std::string bytes;
    } rows[] = {
        {"empty", REG_BINARY, ""},
        {"small", REG_SZ, std::string("text\0", 5)},
        {"exactly", REG_BINARY, std::string(256, '\x5c')},
        {"one more", REG_BINARY, std::string(257, '\x01')},
        {"large", REG_MULTI_SZ, std::string(5000, 'm') + std::string("\0\0", 2)},
        {"", REG_DWORD, std::string("\x04\x03\x02\x01", 4)},
    };
    for (const auto& row : rows) {
        scratch.SetRaw(row.name, row.type, row.bytes);
        DWORD type = 99;
        std::string bytes = "left over";
        EXPECT_TRUE(ReadRegValue(scratch.key, row.name, type, bytes)) << "'" << row.name << "'";
        EXPECT_EQ(type, row.type) << "'" << row.name << "'";
        EXPECT_EQ(bytes.size(), row.bytes.size()) << "'" << row.name << "'";
        EXPECT_EQ(bytes, row.bytes) << "'" << row.name << "'";
    }
    DWORD type = 99;
    std::string bytes = "left over";
    EXPECT_FALSE(ReadRegValue(scratch.key, "absent", type, bytes));
    EXPECT_EQ(type, 0u);
    EXPECT_EQ(bytes, "");
}
