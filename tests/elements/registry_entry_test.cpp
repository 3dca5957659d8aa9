// Registry entries against the real registry, under a scratch key per test. Where a broken guard
// could delete a key of the system, the root is redirected onto a scratch key first, so that
// only scratch data is at stake.
#include "setup/elements/registry_entry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/core/text.h"
#include "support/fixtures.h"

namespace {

using testsupport::ScratchKey;

bool IsNt() {
    return testsupport::PlatformId() == VER_PLATFORM_WIN32_NT;
}

bool KeyExists(HKEY root, const std::string& path) {
    RegKey key;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

// A value as stored: its type and bytes; type REG_NONE with no bytes when it cannot be read.
struct Stored {
    DWORD type = REG_NONE;
    std::string bytes;
    bool operator==(const Stored& o) const { return type == o.type && bytes == o.bytes; }
};

std::ostream& operator<<(std::ostream& out, const Stored& s) {
    return out << "type " << s.type << " (" << s.bytes.size() << " bytes)";
}

Stored Read(HKEY root, const std::string& keyPath, const std::string& name) {
    Stored s;
    RegKey key;
    if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return s;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &s.type, nullptr, &size) !=
        ERROR_SUCCESS)
        return Stored();
    s.bytes.resize(size);
    RegQueryValueExA(key.Get(), name.c_str(), nullptr, &s.type,
                     reinterpret_cast<BYTE*>(&s.bytes[0]), &size);
    s.bytes.resize(size);
    return s;
}

void Write(HKEY root, const std::string& keyPath, const std::string& name, DWORD type,
           const std::string& bytes) {
    RegKey key;
    ASSERT_EQ(RegCreateKeyExA(root, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.Receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.Get(), name.c_str(), 0, type,
                             reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
}

Stored Sz(const std::string& text) {
    return {REG_SZ, text + '\0'};
}
Stored Dword(DWORD n) {
    return {REG_DWORD, std::string(reinterpret_cast<const char*>(&n), 4)};
}
Stored Binary(const std::string& bytes) {
    return {REG_BINARY, bytes};
}

void WriteSz(HKEY root, const std::string& keyPath, const std::string& name,
             const std::string& text) {
    Write(root, keyPath, name, REG_SZ, text + '\0');
}

// A volatile key: the platform refuses to create a lasting key below it, so every write that
// needs a new key there fails.
std::string VolatileKey(const ScratchKey& s) {
    RegKey key;
    RegCreateKeyExA(s.Root(), (s / "volatile").c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                    KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr);
    return s / "volatile";
}

// A key name the platform refuses (a component longer than 255 characters).
std::string RefusedKey(const ScratchKey& s) {
    return s / std::string(300, 'k');
}

void Entry(WSetupRegEntry& e, const std::string& root, const std::string& key,
           const std::string& name, const std::string& data, const std::string& type = "STRING") {
    e.RootName = root;
    e.KeyPath = key;
    e.ValueName = name;
    e.ValueData = data;
    e.ValueType = type;
}

// The install code of a fresh entry.
int Install(const std::string& key, const std::string& name, const std::string& data,
            const std::string& type = "STRING", const std::string& root = "HKEY_CURRENT_USER") {
    WSetupRegEntry e;
    Entry(e, root, key, name, data, type);
    const int code = e.Install();
    EXPECT_EQ(e.Status, code);
    return code;
}

// The previous value a fresh entry of the type remembers over what is stored now.
std::string PreviousOf(const std::string& key, const std::string& name, const std::string& type,
                       const std::string& data) {
    WSetupRegEntry e;
    Entry(e, "HKEY_CURRENT_USER", key, name, data, type);
    e.Install();
    return e.PreviousValue.str();
}

int Uninstall(WSetupRegEntry& e) {
    const int code = e.Uninstall();
    EXPECT_EQ(e.Status, code);
    return code;
}

int Remove(const std::string& root, const std::string& keyPath, const std::string& kind,
           int withSubkeys, FwStringArray* list = nullptr) {
    WSetupRuntimeRegEntry r;
    r.RootName = root;
    r.KeyPath = keyPath;
    r.EntryKind = kind;
    r.DeleteSubkeys = withSubkeys;
    FwStringArray own;
    const int code = r.Remove(list ? *list : own);
    EXPECT_EQ(r.Status, code);
    return code;
}

// Points a predefined root key at a scratch key for this process until destruction.
class Redirect {
public:
    Redirect(HKEY root, HKEY target) : m_root(root) {
        m_ok = RegOverridePredefKey(root, target) == ERROR_SUCCESS;
    }
    ~Redirect() { RegOverridePredefKey(m_root, nullptr); }
    bool Ok() const { return m_ok; }

private:
    HKEY m_root;
    bool m_ok;
};

std::string Lowercased(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// Denies everyone the right to change values of the key (its values can still be read).
bool LockKey(HKEY root, const std::string& keyPath) {
    RegKey key;
    if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_ALL_ACCESS, key.Receive()) != ERROR_SUCCESS)
        return false;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
        return false;
    BYTE aclBuffer[256];
    ACL* acl = reinterpret_cast<ACL*>(aclBuffer);
    SECURITY_DESCRIPTOR sd;
    const bool ok = InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) &&
                    AddAccessDeniedAce(acl, ACL_REVISION, KEY_SET_VALUE, everyone) &&
                    AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone) &&
                    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
                    SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) &&
                    RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
    FreeSid(everyone);
    return ok;
}

} // namespace

TEST(RegEntryText, BinaryTextBothWays) {
    ByteList bytes;
    EXPECT_TRUE(HexTextToBytes("hex:0A,0b, FF", bytes));
    EXPECT_EQ(bytes, (ByteList{0x0A, 0x0B, 0xFF}));
    EXPECT_TRUE(HexTextToBytes("a:b:01 a0 ", bytes)); // after the last colon; blank-separated
    EXPECT_EQ(bytes, (ByteList{0x01, 0xA0}));
    for (const char* empty : {"", "  ", "hex:", "hex: \t"}) {
        bytes = {1};
        EXPECT_TRUE(HexTextToBytes(empty, bytes)) << empty;
        EXPECT_TRUE(bytes.empty()) << empty;
    }
    for (const char* bad :
         {"0A  0B", "0A,,0B", "0A,0B,", "A", "0AB", "0G", "0A 0B,", "hex:0a;0b"}) {
        bytes = {1};
        EXPECT_FALSE(HexTextToBytes(bad, bytes)) << bad;
        EXPECT_TRUE(bytes.empty()) << bad;
    }
    EXPECT_TRUE(HexTextToBytes("41,0a,7F,7e,20,1F", bytes, true));
    EXPECT_EQ(bytes, (ByteList{0x41, 0x20, 0x20, 0x7E, 0x20, 0x20}));

    const auto hexText = [](const ByteList& b) {
        return BytesToHex(b.data(), b.size(), HexLayout::Separated);
    };
    EXPECT_EQ(hexText(ByteList{0x0A, 0xFF}), "0a ff ");
    EXPECT_EQ(hexText(ByteList{}), "");
    ByteList all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<BYTE>(b));
    EXPECT_TRUE(HexTextToBytes(hexText(all), bytes));
    EXPECT_EQ(bytes, all);
}

TEST(RegEntryNames, NormalisationAndTheProtectedKeys) {
    for (const char* variant : {"Software", "\\Software", "\\\\\\Software", "Software\\\\",
                                " \\ \\Software\\ ", "\t\\Software \\\\"})
        EXPECT_EQ(NormalizeRegName(variant), "Software") << variant;
    EXPECT_EQ(NormalizeRegName("\\.Default\\\\\\Software\\"), ".Default\\Software");
    EXPECT_EQ(NormalizeRegName("Software \\ Acme"), "Software \\ Acme"); // inner blanks are names
    EXPECT_EQ(NormalizeRegName("\\\\ \\"), "");

    EXPECT_TRUE(IsProtectedRegKey("hkey_users", ".DEFAULT\\software"));
    EXPECT_FALSE(IsProtectedRegKey("HKEY_CURRENT_USER", "Software\\Acme"));
    EXPECT_FALSE(IsProtectedRegKey("HKEY_CURRENT_USER", "CLSID")); // another root's key
    EXPECT_FALSE(IsProtectedRegKey("HKEY_USERS", ".Default\\Software\\Acme"));
    EXPECT_TRUE(IsRegEntryRootName("hkey_dyn_data"));
    EXPECT_FALSE(IsRegEntryRootName("HKEY_PERFORMANCE_DATA"));
    EXPECT_FALSE(IsRegEntryRootName(" HKEY_CURRENT_USER"));

    if (GetACP() == 932) {
        // "\x95\x5C" is one character whose second byte is a backslash.
        EXPECT_EQ(NormalizeRegName("\\\x95\x5C\\\\"), "\x95\x5C");
        EXPECT_EQ(NormalizeRegName("A\\\x95\x5C\\B"), "A\\\x95\x5C\\B");
    }
}

TEST(RegEntryInstall, WritesEachKindOfEntry) {
    ScratchKey s;
    const HKEY hkcu = HKEY_CURRENT_USER;
    EXPECT_EQ(Install(s / "a", "Str", "text"), EntryStringWritten);
    EXPECT_EQ(Read(hkcu, s / "a", "Str"), Sz("text"));
    EXPECT_EQ(Install(s / "a", "Other", "x", "anything"),
              EntryStringWritten); // any other type writes a string
    EXPECT_EQ(Read(hkcu, s / "a", "Other"), Sz("x"));
    EXPECT_EQ(Install(s / "a", "Num", "123456", "dword"), EntryDwordWritten);
    EXPECT_EQ(Read(hkcu, s / "a", "Num"), Dword(123456));
    EXPECT_EQ(Install(s / "a", "NaN", "twelve", "DWORD"), EntryDwordWritten);
    EXPECT_EQ(Read(hkcu, s / "a", "NaN"), Dword(0));
    EXPECT_EQ(Install(s / "a", "Raw", "hex:0A,0b, FF", "BINARY-RAW"), EntryBinaryWritten);
    EXPECT_EQ(Read(hkcu, s / "a", "Raw"), Binary("\x0A\x0B\xFF"));
    EXPECT_EQ(Install(s / "a", "BStr", "ab", "binary-string"), EntryBinaryWritten);
    EXPECT_EQ(Read(hkcu, s / "a", "BStr"), Binary(std::string("ab\0", 3)));
    EXPECT_EQ(Install(s / "a", "BWide", "ab", "BINARY-WIDESTRING"), EntryBinaryWritten);
    EXPECT_EQ(Read(hkcu, s / "a", "BWide"), Binary(std::string("a\0b\0\0\0", 6)));
    EXPECT_EQ(Install(s / "b\\c", "", "dflt", "string"), EntryDefaultWritten);
    EXPECT_EQ(Read(hkcu, s / "b\\c", ""), Sz("dflt"));
    EXPECT_EQ(Install(s / "new\\key", "", ""), EntryKeyCreated);
    EXPECT_TRUE(KeyExists(hkcu, s / "new\\key"));
    EXPECT_EQ(Install(s / "new\\key", "", ""), EntryKeyCreated); // opened when present

    // A leading backslash and two trailing ones are not part of the names.
    EXPECT_EQ(Install("\\" + s / "d\\\\", "\\Val\\\\", "v"), EntryStringWritten);
    EXPECT_EQ(Read(hkcu, s / "d", "Val"), Sz("v"));

    // Macros are expanded, and the expanded texts replace the fields.
    SetupContext& context = TheSetupContext();
    const int enabled = context.Enabled;
    const FwString macroD = context.MacroD;
    context.Enabled = 1;
    context.MacroD = "C:\\Prog";
    WSetupRegEntry e;
    Entry(e, "HKEY_CURRENT_USER", s.KeyPath() + "\\<D>", "Path", "<D>\\bin");
    EXPECT_EQ(e.Install(), EntryStringWritten);
    context.Enabled = enabled;
    context.MacroD = macroD;
    EXPECT_EQ(e.KeyPath, s.KeyPath() + "\\C:\\Prog");
    EXPECT_EQ(e.ValueData, "C:\\Prog\\bin");
    EXPECT_EQ(Read(hkcu, s / "C:\\Prog", "Path"), Sz("C:\\Prog\\bin"));
}

TEST(RegEntryInstall, FailureCodes) {
    ScratchKey s;
    const HKEY hkcu = HKEY_CURRENT_USER;
    EXPECT_EQ(Install(s / "a", "v", "x", "STRING", "HKEY_CURRENT_USERS"), EntryRootRefused);
    EXPECT_EQ(Install(s / "a", "v", "x", "STRING", "hkey_current_user"),
              EntryRootRefused); // fails the lookup
    EXPECT_FALSE(KeyExists(hkcu, s / "a"));
    EXPECT_EQ(Install("", "", "data"), EntryDataWithoutName);
    EXPECT_EQ(Install("\\\\", "", "data"), EntryDataWithoutName); // nothing left of the key path
    EXPECT_EQ(Install("", "", ""), EntryNothingNamed);
    EXPECT_EQ(Install(s / "a", "", "data", "DWORD"), EntryDefaultNotString);
    EXPECT_EQ(Install(s / "a", "", "data", ""), EntryDefaultNotString);
    for (const char* all : {"4294967295", "-1", "99999999999"}) {
        EXPECT_EQ(Install(s / "a", "Num", all, "DWORD"), EntryDwordOutOfRange) << all;
        EXPECT_EQ(Read(hkcu, s / "a", "Num"), Stored()) << all;
    }
    EXPECT_EQ(Install(s / "a", "Raw", "0A  0B", "BINARY-RAW"), EntryBinaryFailed);
    EXPECT_EQ(Install(s / "a", "Raw", "", "BINARY-RAW"),
              EntryBinaryFailed); // zero bytes are not written
    EXPECT_EQ(Read(hkcu, s / "a", "Raw"), Stored());

    // The platform refuses a lasting key below a volatile one.
    const std::string v = VolatileKey(s) + "\\sub";
    EXPECT_EQ(Install(v, "", "dflt"), EntryDefaultFailed);
    EXPECT_EQ(Install(v, "Str", "x"), EntryStringFailed);
    EXPECT_EQ(Install(v, "Raw", "01", "BINARY-RAW"), EntryBinaryFailed);
    EXPECT_EQ(Install(v, "", ""), EntryKeyFailed);
    EXPECT_EQ(Install(v, "Num", "1", "DWORD"), EntryDwordFailed);
    EXPECT_FALSE(KeyExists(hkcu, v));
}

TEST(RegEntryInstall, RemembersWhatWasStoredFaithfully) {
    ScratchKey s;
    const HKEY hkcu = HKEY_CURRENT_USER;
    const std::string longText = "  " + std::string(1000, 'x') + "\\ ";
    WriteSz(hkcu, s.KeyPath(), "Long", longText);
    EXPECT_EQ(PreviousOf(s.KeyPath(), "Long", "STRING", "new"), longText);
    WriteSz(hkcu, s.KeyPath(), "", "old default");
    EXPECT_EQ(PreviousOf(s.KeyPath(), "", "STRING", "new"), "old default");
    Write(hkcu, s.KeyPath(), "Num", REG_DWORD, Dword(0xFFFFFFFF).bytes);
    EXPECT_EQ(PreviousOf(s.KeyPath(), "Num", "DWORD", "1"), "4294967295");
    std::string big(65536, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7);
    Write(hkcu, s.KeyPath(), "Big", REG_BINARY, big);
    const std::string bigText = PreviousOf(s.KeyPath(), "Big", "BINARY-RAW", "01");
    ByteList back;
    ASSERT_TRUE(HexTextToBytes(bigText, back));
    EXPECT_EQ(std::string(back.begin(), back.end()), big);

    // A string entry takes the text of every string type (a multi-string's first string); a
    // DWORD entry takes a DWORD or a four-byte binary value, and 0 for anything else; a binary
    // entry only a binary value.
    Write(hkcu, s.KeyPath(), "D", REG_DWORD, Dword(0x00414243).bytes);
    EXPECT_EQ(PreviousOf(s.KeyPath(), "D", "STRING", "x"), "");
    Write(hkcu, s.KeyPath(), "E", REG_EXPAND_SZ, std::string("%SystemRoot%\\tarvo\0", 19));
    EXPECT_EQ(PreviousOf(s.KeyPath(), "E", "STRING", "x"), "%SystemRoot%\\tarvo");
    Write(hkcu, s.KeyPath(), "M", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
    EXPECT_EQ(PreviousOf(s.KeyPath(), "M", "STRING", "x"), "one");
    WriteSz(hkcu, s.KeyPath(), "S", "12");
    EXPECT_EQ(PreviousOf(s.KeyPath(), "S", "DWORD", "1"), "0");
    WriteSz(hkcu, s.KeyPath(), "S2", "ab");
    EXPECT_EQ(PreviousOf(s.KeyPath(), "S2", "BINARY-STRING", "x"), "");
    Write(hkcu, s.KeyPath(), "B4", REG_BINARY, "\1\2\3\4");
    EXPECT_EQ(PreviousOf(s.KeyPath(), "B4", "DWORD", "1"), "67305985");
    Write(hkcu, s.KeyPath(), "B8", REG_BINARY, "\1\2\3\4\5\6\7\x08");
    EXPECT_EQ(PreviousOf(s.KeyPath(), "B8", "DWORD", "1"), "0");
    EXPECT_EQ(PreviousOf(s.KeyPath(), "Absent", "DWORD", "1"), "0");
}

TEST(RegEntryUninstall, DeletesWhatInstallWrote) {
    ScratchKey s;
    const HKEY hkcu = HKEY_CURRENT_USER;
    WSetupRegEntry e;
    Entry(e, "HKEY_CURRENT_USER", s / "k", "v", "x");
    ASSERT_EQ(e.Install(), EntryStringWritten);
    e.ChangeMark = 1;
    e.RemoveOnUninstall = 0;
    EXPECT_EQ(Uninstall(e), EntryRemovalSkipped);
    EXPECT_EQ(e.ChangeMark, 0);
    EXPECT_EQ(Read(hkcu, s / "k", "v"), Sz("x"));
    e.RemoveOnUninstall = 1;
    EXPECT_EQ(Uninstall(e), EntryValueGone);
    EXPECT_EQ(Read(hkcu, s / "k", "v"), Stored());
    EXPECT_EQ(Uninstall(e), EntryValueGone); // already gone
    e.RootName = "hkey_current_user";
    EXPECT_EQ(Uninstall(e), EntryRemovalRootRefused);
    e.RootName = "HKEY_CURRENT_USERS";
    EXPECT_EQ(Uninstall(e), EntryRemovalRootRefused);

    WriteSz(hkcu, s / "k\\sub", "v", "x");
    Entry(e, "HKEY_CURRENT_USER", "\\" + s / "k\\\\", "", "");
    e.DeleteSubkeys = 0;
    EXPECT_EQ(Uninstall(e), EntryKeyDeleted); // left alone: it has a subkey
    EXPECT_TRUE(KeyExists(hkcu, s / "k\\sub"));
    e.DeleteSubkeys = 1;
    EXPECT_EQ(Uninstall(e), EntryKeyTreeDeleted);
    EXPECT_FALSE(KeyExists(hkcu, s / "k"));
    EXPECT_TRUE(KeyExists(hkcu, s.KeyPath()));
    EXPECT_EQ(Uninstall(e), EntryKeyTreeDeleted); // already gone
    WriteSz(hkcu, s / "leaf", "v", "x");
    Entry(e, "HKEY_CURRENT_USER", s / "leaf", "", "");
    e.DeleteSubkeys = 0;
    EXPECT_EQ(Uninstall(e), EntryKeyDeleted);
    EXPECT_FALSE(KeyExists(hkcu, s / "leaf"));

    // Under every root the root itself is protected; so is a protected key given in any case.
    for (const char* root : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                             "HKEY_USERS", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"}) {
        Entry(e, root, "\\", "", "");
        EXPECT_EQ(Uninstall(e), EntryRemovalProtected) << root;
    }
}

TEST(RegEntryUninstall, RestoresThePreviousValueAsItWasRead) {
    ScratchKey s;
    const HKEY hkcu = HKEY_CURRENT_USER;
    struct Case {
        const char* name;
        const char* type;
        Stored before;
        const char* data;
    } cases[] = {
        {"Dir", "STRING", Sz("C:\\Dir\\"), "new"},
        {"Unc", "STRING", Sz("\\\\srv\\share"), "new"},
        {"Blanks", "STRING", Sz("  padded  "), "new"},
        {"Max", "DWORD", Dword(0xFFFFFFFF), "1"},
        {"Zero", "DWORD", Dword(0), "1"},
        {"Bin", "BINARY-RAW", Binary("\x01\xA0"), "ff"},
        {"BinS", "BINARY-STRING", Binary(std::string("a\0b", 3)), "z"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write(hkcu, s.KeyPath(), c.name, c.before.type, c.before.bytes);
        WSetupRegEntry e;
        Entry(e, "HKEY_CURRENT_USER", s.KeyPath(), c.name, c.data, c.type);
        e.RestoreOnUninstall = 1;
        EXPECT_LE(e.Install(), EntryDwordWritten);
        EXPECT_FALSE(Read(hkcu, s.KeyPath(), c.name) == c.before);
        EXPECT_EQ(Uninstall(e), EntryPreviousRestored);
        EXPECT_EQ(Read(hkcu, s.KeyPath(), c.name), c.before);
    }
    EXPECT_EQ(PreviousOf(s.KeyPath(), "Bin", "BINARY-RAW", "ff"), "01 a0 ");

    WSetupRegEntry e;
    WriteSz(hkcu, s / "d", "", "old default");
    Entry(e, "HKEY_CURRENT_USER", s / "d", "", "new", "STRING");
    e.RestoreOnUninstall = 1;
    ASSERT_EQ(e.Install(), EntryDefaultWritten);
    EXPECT_EQ(Uninstall(e), EntryPreviousRestored);
    EXPECT_EQ(Read(hkcu, s / "d", ""), Sz("old default"));
    e.ValueType = "DWORD"; // a default value is only ever a string
    EXPECT_EQ(Uninstall(e), EntryRestoreFailed);

    // A value of another type leaves nothing to restore: the installed value stays.
    WriteSz(hkcu, s.KeyPath(), "Text", "was text");
    Entry(e, "HKEY_CURRENT_USER", s.KeyPath(), "Text", "01 02", "BINARY-RAW");
    ASSERT_EQ(e.Install(), EntryBinaryWritten);
    EXPECT_EQ(e.PreviousValue, "");
    EXPECT_EQ(Uninstall(e), EntryValueGone);
    EXPECT_EQ(Read(hkcu, s.KeyPath(), "Text"), Binary("\x01\x02"));

    // Texts that cannot be written back, and a write the platform refuses.
    Entry(e, "HKEY_CURRENT_USER", s.KeyPath(), "Num", "", "DWORD");
    for (const char* bad : {"12x", "-1", "4294967296", " 7"}) {
        e.PreviousValue = bad;
        EXPECT_EQ(Uninstall(e), EntryRestoreFailed) << bad;
    }
    Entry(e, "HKEY_CURRENT_USER", s.KeyPath(), "Raw", "", "BINARY-RAW");
    e.PreviousValue = "0A  0B";
    EXPECT_EQ(Uninstall(e), EntryRestoreFailed);
    Entry(e, "HKEY_CURRENT_USER", VolatileKey(s) + "\\sub", "Str", "", "STRING");
    e.PreviousValue = "old";
    EXPECT_EQ(Uninstall(e), EntryRestoreFailed);
    EXPECT_EQ(Read(hkcu, s.KeyPath(), "Num"), Stored());
    EXPECT_EQ(Read(hkcu, s.KeyPath(), "Raw"), Stored());
}

// The user's value comes back as it was, with its type: an expandable string keeps its "%"
// variables unexpanded, a multi-string all its strings, a four-byte binary value under a DWORD
// entry its type. The element keeps what it found in memory; the record carries the text alone.
TEST(RegEntryUninstall, GivesTheUsersValueBackWithItsType) {
    ScratchKey s;
    const HKEY hkcu = HKEY_CURRENT_USER;
    struct Row {
        const char* name; // empty: the key's default value
        const char* type;
        Stored before;
        const char* previous;
        Stored after; // what Uninstall leaves
    };
    const Stored expand{REG_EXPAND_SZ, std::string("%SystemRoot%\\tarvo\0", 19)};
    const Stored multi{REG_MULTI_SZ, std::string("one\0two\0\0", 9)};
    const Stored binary4 = Binary("\x01\x02\x03\x04");
    const Row rows[] = {
        {"Expand", "STRING", expand, "%SystemRoot%\\tarvo", expand},
        {"Multi", "STRING", multi, "one", multi},
        {"", "STRING", expand, "%SystemRoot%\\tarvo", expand},
        {"Binary4", "DWORD", binary4, "67305985", binary4},
        {"Text", "DWORD", Sz("12"), "0", Sz("12")},
        {"Dword", "DWORD", Dword(42), "42", Dword(42)},
        // Nothing was there: the DWORD read answers 0, and 0 is written back.
        {"Absent", "DWORD", Stored(), "0", Dword(0)},
    };
    for (const Row& row : rows) {
        const std::string key = s / (std::string("k") + row.name);
        if (row.before.type != REG_NONE)
            Write(hkcu, key, row.name, row.before.type, row.before.bytes);
        WSetupRegEntry e;
        Entry(e, "HKEY_CURRENT_USER", key, row.name, "plain", row.type);
        e.RestoreOnUninstall = 1;
        const int installed = e.Install();
        const Stored during = Read(hkcu, key, row.name);
        const int uninstalled = Uninstall(e);
        const Stored after = Read(hkcu, key, row.name);
        std::printf("%-8s %-6s before %-22s install %d previous \"%s\" uninstall %d after %s\n",
                    row.name, row.type, testing::PrintToString(row.before).c_str(), installed,
                    e.PreviousValue.c_str(), uninstalled, testing::PrintToString(after).c_str());
        SCOPED_TRACE(row.name);
        EXPECT_LE(installed, 5);
        EXPECT_FALSE(during == row.before) << "the entry's own value was written";
        EXPECT_EQ(e.PreviousValue, row.previous);
        EXPECT_EQ(uninstalled, 7);
        EXPECT_EQ(after, row.after);
        EXPECT_EQ(after.bytes, row.after.bytes);
    }

    // The record's text alone (an entry built again from its record, or whose text the engine
    // changed) is written back as the entry's type says.
    Write(hkcu, s / "again", "v", expand.type, expand.bytes);
    WSetupRegEntry installed;
    Entry(installed, "HKEY_CURRENT_USER", s / "again", "v", "plain", "STRING");
    installed.RestoreOnUninstall = 1;
    ASSERT_EQ(installed.Install(), 2);
    WSetupRegEntry rebuilt;
    Entry(rebuilt, "HKEY_CURRENT_USER", s / "again", "v", "plain", "STRING");
    rebuilt.RestoreOnUninstall = 1;
    rebuilt.PreviousValue = installed.PreviousValue;
    EXPECT_EQ(Uninstall(rebuilt), 7);
    EXPECT_EQ(Read(hkcu, s / "again", "v"), Sz("%SystemRoot%\\tarvo"));
    installed.PreviousValue = "changed";
    DWORD type = REG_NONE;
    ByteList bytes;
    EXPECT_FALSE(installed.GetPreviousStored(type, bytes)) << "no longer the text it found";
    EXPECT_EQ(Uninstall(installed), 7);
    EXPECT_EQ(Read(hkcu, s / "again", "v"), Sz("changed"));

    // What an entry found can be read and handed to an entry built again from its record.
    Write(hkcu, s / "again", "v", expand.type, expand.bytes);
    WSetupRegEntry first;
    Entry(first, "HKEY_CURRENT_USER", s / "again", "v", "plain", "STRING");
    ASSERT_EQ(first.Install(), 2);
    ASSERT_TRUE(first.GetPreviousStored(type, bytes));
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expand.bytes);
    WSetupRegEntry fromLog;
    Entry(fromLog, "HKEY_CURRENT_USER", s / "again", "v", "plain", "STRING");
    fromLog.RestoreOnUninstall = 1;
    fromLog.PreviousValue = first.PreviousValue;
    DWORD noType = REG_NONE;
    ByteList noBytes;
    EXPECT_FALSE(fromLog.GetPreviousStored(noType, noBytes));
    fromLog.SetPreviousStored(type, bytes);
    EXPECT_EQ(Uninstall(fromLog), 7);
    EXPECT_EQ(Read(hkcu, s / "again", "v"), expand);
}

TEST(RegEntryUninstall, DeletionFailuresAreReported) {
    ScratchKey s;
    WSetupRegEntry e;
    Entry(e, "HKEY_CURRENT_USER", RefusedKey(s), "v", "");
    EXPECT_EQ(Uninstall(e), EntryValueNotDeleted);
    Entry(e, "HKEY_CURRENT_USER", RefusedKey(s), "", "");
    e.DeleteSubkeys = 1;
    EXPECT_EQ(Uninstall(e), EntryKeyTreeNotDeleted);
    e.DeleteSubkeys = 0;
    EXPECT_EQ(Uninstall(e), EntryKeyNotDeleted);
    EXPECT_EQ(Remove("HKEY_CURRENT_USER", RefusedKey(s) + "\\v", "VALUE", 0),
              RuntimeRegValueNotDeleted);

    if (!IsNt())
        return; // the Windows 95/98 family keeps no permissions on keys
    const HKEY hkcu = HKEY_CURRENT_USER;
    WriteSz(hkcu, s / "locked", "v", "x");
    ASSERT_TRUE(LockKey(hkcu, s / "locked"));
    Entry(e, "HKEY_CURRENT_USER", s / "locked", "v", "");
    EXPECT_EQ(Uninstall(e), EntryValueNotDeleted);
    EXPECT_EQ(Remove("HKEY_CURRENT_USER", s / "locked\\v", "VALUE", 0), RuntimeRegValueNotDeleted);
    EXPECT_EQ(Read(hkcu, s / "locked", "v"), Sz("x"));
}

TEST(RegEntryVerify, AnswersByTheFieldsOnly) {
    WSetupRegEntry e;
    Entry(e, "HKEY_NOWHERE", "Software\\Acme", "v", "x");
    EXPECT_EQ(e.Verify(), EntryCheckRootRefused);
    EXPECT_EQ(e.Status, EntryCheckRootRefused);
    Entry(e, "HKEY_CURRENT_USER", "\\", "", "x");
    EXPECT_EQ(e.Verify(), EntryCheckDataWithoutName);
    EXPECT_EQ(e.Status, EntryCheckDataWithoutName);
    Entry(e, "HKEY_CURRENT_USER", "", "", "");
    EXPECT_EQ(e.Verify(), EntryCheckNothingNamed);
    Entry(e, "hkey_current_user", "Software\\TarvoNowhere", "v", "x");
    EXPECT_EQ(e.Verify(), EntryCheckReadable);
    EXPECT_EQ(e.Status, EntryCheckReadable);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\TarvoNowhere"));
}

TEST(RuntimeRegEntry, RemoveCodes) {
    ScratchKey s;
    const HKEY hkcu = HKEY_CURRENT_USER;
    WriteSz(hkcu, s / "Acme", "Path", "x");
    EXPECT_EQ(Remove("HKEY_CURRENT_USER", s / "Acme\\Path", "value", 0), RuntimeRegValueGone);
    EXPECT_EQ(Read(hkcu, s / "Acme", "Path"), Stored());
    EXPECT_TRUE(KeyExists(hkcu, s / "Acme"));
    EXPECT_EQ(Remove("HKEY_CURRENT_USER", s / "Acme\\Path", "VALUE", 0),
              RuntimeRegValueGone); // already gone

    WriteSz(hkcu, s / "Acme\\Sub", "v", "x");
    EXPECT_EQ(Remove("HKEY_CURRENT_USER", s / "Acme", "KEY", 0),
              RuntimeRegKeyDeleted); // left alone
    EXPECT_TRUE(KeyExists(hkcu, s / "Acme\\Sub"));
    EXPECT_EQ(Remove("HKEY_CURRENT_USER", s / "Acme\\", "", 1), RuntimeRegKeyTreeDeleted);
    EXPECT_FALSE(KeyExists(hkcu, s / "Acme"));
    EXPECT_EQ(Remove("HKEY_CURRENT_USER", s / "Acme", "", 0), RuntimeRegKeyDeleted); // already gone
    EXPECT_EQ(Remove("hkey_current_user", s / "Acme", "", 0), RuntimeRegRootRefused);
    EXPECT_EQ(Remove("HKEY_CURRENT_USERS", s / "Acme", "", 0), RuntimeRegRootRefused);
    EXPECT_EQ(Remove("HKEY_LOCAL_MACHINE", "", "VALUE", 0), RuntimeRegProtected);
    EXPECT_EQ(Remove("HKEY_LOCAL_MACHINE", "\\\\", "", 1), RuntimeRegProtected);

    FwStringArray failed;
    EXPECT_EQ(Remove("HKEY_CURRENT_USER", RefusedKey(s), "", 0, &failed), RuntimeRegKeyNotDeleted);
    EXPECT_EQ(Remove("HKEY_CURRENT_USER", RefusedKey(s), "", 1, &failed),
              RuntimeRegKeyTreeNotDeleted);
    ASSERT_EQ(failed.GetSize(), 2);
    WSetupRuntimeRegEntry r;
    r.RootName = "HKEY_CURRENT_USER";
    r.KeyPath = RefusedKey(s);
    r.EntryKind = "";
    EXPECT_EQ(failed[0], r.GetRecord());
    r.DeleteSubkeys = 1;
    EXPECT_EQ(failed[1], r.GetRecord());

    EXPECT_EQ(r.Install(), ElementDone);
    EXPECT_EQ(r.Status, ElementDone);
    EXPECT_EQ(r.Uninstall(), ElementNothingDone);
    EXPECT_EQ(r.Status, ElementNothingDone);
    EXPECT_EQ(r.Verify(), ElementDone);
}

// Protected keys, written with extra backslashes, blanks or another case, stay in place. Each
// root is redirected onto a scratch key that holds the protected keys (with a subkey each), so
// a guard that let one through would only delete scratch data.
TEST(ProtectedKeys, NoSpellingReachesThem) {
    const struct {
        const char* root;
        HKEY key;
        std::vector<const char*> paths;
    } roots[] = {
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER, {"Software", "Control Panel"}},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, {"SOFTWARE"}},
        {"HKEY_USERS", HKEY_USERS, {".Default\\Software"}},
    };
    ScratchKey s;
    for (const auto& root : roots) {
        SCOPED_TRACE(root.root);
        const std::string base = s / root.root;
        RegKey target;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, base.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, target.Receive(), nullptr),
                  ERROR_SUCCESS);
        for (const char* path : root.paths)
            WriteSz(target.Get(), std::string(path) + "\\Child", "v", "x");
        WriteSz(target.Get(), "Mine\\Child", "v", "x");
        {
            Redirect redirect(root.key, target.Get());
            ASSERT_TRUE(redirect.Ok());
            // The redirection is live: the scratch key answers for the root.
            ASSERT_TRUE(KeyExists(root.key, "Mine\\Child"));
            for (const char* path : root.paths) {
                const std::string p = path;
                for (const std::string& variant :
                     {p, Lowercased(p), Uppercased(p), "\\" + p, "\\\\\\" + p, p + "\\\\",
                      " \\" + p + "\\ ", "\\\\" + p + "\\"}) {
                    SCOPED_TRACE(variant);
                    for (int withSubkeys : {1, 0}) {
                        WSetupRegEntry e;
                        Entry(e, root.root, variant, "", "");
                        e.DeleteSubkeys = withSubkeys;
                        EXPECT_EQ(Uninstall(e), EntryRemovalProtected);
                        EXPECT_EQ(Remove(root.root, variant, "", withSubkeys), RuntimeRegProtected);
                    }
                }
                EXPECT_TRUE(KeyExists(root.key, p + "\\Child")) << p;
            }
            // A key of one's own below the root is deleted there, whatever its spelling.
            WSetupRegEntry mine;
            Entry(mine, root.root, "\\\\Mine\\\\", "", "");
            mine.DeleteSubkeys = 1;
            EXPECT_EQ(Uninstall(mine), EntryKeyTreeDeleted);
            EXPECT_FALSE(KeyExists(root.key, "Mine"));
        }
        for (const char* path : root.paths)
            EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, base + "\\" + path + "\\Child")) << path;
    }
}

// Under a double-byte code page a name whose last character ends in the byte 0x5C is removed
// as itself, never as its parent.
TEST(RegEntryNames, DoubleByteNamesStayWhole) {
    if (GetACP() != 932)
        GTEST_SKIP() << "needs the double-byte code page 932";
    ScratchKey s;
    const HKEY hkcu = HKEY_CURRENT_USER;
    const std::string name = "\x95\x5C"; // one character
    EXPECT_EQ(Install(s / name + "\\", "v", "x"), EntryStringWritten);
    EXPECT_EQ(Read(hkcu, s / name, "v"), Sz("x"));
    WriteSz(hkcu, s.KeyPath(), "keep", "x");
    WSetupRegEntry e;
    Entry(e, "HKEY_CURRENT_USER", s / name + "\\\\", "", "");
    e.DeleteSubkeys = 1;
    EXPECT_EQ(Uninstall(e), EntryKeyTreeDeleted);
    EXPECT_FALSE(KeyExists(hkcu, s / name));
    EXPECT_EQ(Read(hkcu, s.KeyPath(), "keep"), Sz("x"));
}
