#include "hotsync_fixture.h"
#include "setup/core/handles.h"

#include <gtest/gtest.h>

namespace plugintest {

namespace {

RegKey CreateKey(const std::string& path) {
    RegKey key;
    RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    key.Receive(), nullptr);
    return key;
}

// Copies the tree below HKEY_CURRENT_USER\from into HKEY_CURRENT_USER\to (created).
bool CopyTree(const std::string& from, const std::string& to) {
    RegKey source;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, from.c_str(), 0, KEY_READ, source.Receive()) !=
        ERROR_SUCCESS)
        return false;
    RegKey target = CreateKey(to);
    bool ok = target && RegCopyTreeA(source.Get(), nullptr, target.Get()) == ERROR_SUCCESS;
    return ok;
}

} // namespace

HotSyncRegistry::HotSyncRegistry()
    : m_saved{{"Software\\Palm Computing", PalmDesktop, false, false},
              {"Software\\U.S. Robotics", RoboticsDesktop, false, false}} {
    for (int i = 0; i < 2; ++i) {
        Saved& saved = m_saved[i];
        saved.HadParent = KeyExists(saved.Parent);
        saved.HadKey = KeyExists(saved.Key);
        if (saved.HadKey) {
            EXPECT_TRUE(CopyTree(saved.Key, m_store / std::to_string(i)));
            RegDeleteTreeA(HKEY_CURRENT_USER, saved.Key);
        }
    }
}

HotSyncRegistry::~HotSyncRegistry() {
    for (int i = 0; i < 2; ++i) {
        const Saved& saved = m_saved[i];
        RegDeleteTreeA(HKEY_CURRENT_USER, saved.Key);
        if (saved.HadKey)
            CopyTree(m_store / std::to_string(i), saved.Key);
        if (!saved.HadParent)
            RegDeleteTreeA(HKEY_CURRENT_USER, saved.Parent);
    }
}

void HotSyncRegistry::SetText(const std::string& key, const std::string& value,
                              const std::string& text) {
    RegKey handle = CreateKey(key);
    ASSERT_TRUE(handle) << key;
    EXPECT_EQ(RegSetValueExA(handle.Get(), value.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
}

void HotSyncRegistry::SetDword(const std::string& key, const std::string& value, DWORD number) {
    RegKey handle = CreateKey(key);
    ASSERT_TRUE(handle) << key;
    EXPECT_EQ(RegSetValueExA(handle.Get(), value.c_str(), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&number), sizeof number),
              ERROR_SUCCESS);
}

bool HotSyncRegistry::HasValue(const std::string& key, const std::string& value) {
    RegKey handle;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, handle.Receive()) !=
        ERROR_SUCCESS)
        return false;
    bool found = RegQueryValueExA(handle.Get(), value.c_str(), nullptr, nullptr, nullptr,
                                  nullptr) == ERROR_SUCCESS;
    return found;
}

std::string HotSyncRegistry::Text(const std::string& key, const std::string& value) {
    RegKey handle;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, handle.Receive()) !=
        ERROR_SUCCESS)
        return {};
    char buffer[1024] = {};
    DWORD size = sizeof buffer - 1;
    std::string text;
    if (RegQueryValueExA(handle.Get(), value.c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS)
        text = buffer;
    return text;
}

bool HotSyncRegistry::KeyExists(const std::string& key) {
    RegKey handle;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, handle.Receive()) !=
        ERROR_SUCCESS)
        return false;
    return true;
}

void HotSyncRegistry::InstallFirstGeneration(bool withNotifier, const std::string& folder) {
    SetText(PalmManager, "DirectComPort", "1");
    if (withNotifier)
        SetText(PalmManager, "Notifier0", "pdn20.dll");
    SetText(PalmCore, "Path", folder);
}

void HotSyncRegistry::InstallSecondGeneration(const std::string& folder) {
    SetText(RoboticsManager, "DirectComPort", "1");
    SetText(RoboticsCore, "Path", folder);
}

std::string HotSyncRegistry::ApplicationKey(const std::string& desktopKey, int n) {
    return desktopKey + "\\Application" + std::to_string(n);
}

void HotSyncRegistry::AddConduit(const std::string& desktopKey, int n, DWORD creator,
                                 const std::string& conduit) {
    const std::string key = ApplicationKey(desktopKey, n);
    SetDword(key, "Creator", creator);
    if (!conduit.empty())
        SetText(key, "Conduit", conduit);
}

std::string StandinFolder() {
    return testsupport::ProgramFolder() + "\\standins";
}

void HotSyncFolder::InstallInterface(const std::string& versionText) {
    ASSERT_TRUE(CopyFileA((StandinFolder() + "\\Sync20.dll").c_str(),
                          (*this / "Sync20.dll").c_str(), FALSE));
    if (!versionText.empty()) {
        ASSERT_TRUE(testsupport::WriteFileBytes(*this / "sync20.version", versionText));
    }
}

void HotSyncFolder::InstallInterfaceWithoutApi() {
    ASSERT_TRUE(CopyFileA((StandinFolder() + "\\Sync20NoApi.dll").c_str(),
                          (*this / "Sync20.dll").c_str(), FALSE));
}

} // namespace plugintest
