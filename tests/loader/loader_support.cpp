#include "loader_support.h"

#include "support/fixtures.h"
#include "setup/core/handles.h"

#include <cstring>

using namespace testsupport;

namespace loadertest {

std::string QuendaExe() {
    return WindowsPathOf(QUENDA_EXE_PATH);
}
std::string StandinEngine() {
    return WindowsPathOf(STANDIN_ENGINE_PATH);
}

bool PlaceEngine(const std::string& path) {
    return CopyFileA(StandinEngine().c_str(), path.c_str(), FALSE) != FALSE;
}

std::string EngineCommandLine(const std::string& engineFolder) {
    return ReadFileBytes(engineFolder + "\\ravell32.cmdline.txt");
}

std::string EngineLog(const std::string& engineFolder) {
    return ReadFileBytes(engineFolder + "\\ravell32.log");
}

std::string EngineEndLog(const std::string& engineFolder) {
    return ReadFileBytes(engineFolder + "\\ravell32.ended.log");
}

bool WaitForEngineStart(const std::string& engineFolder, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (EngineLog(engineFolder).empty()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

MediaDrive::MediaDrive(char letter, const std::string& mediaFolderName) : m_letter(letter) {
    m_folder = WindowsPathOf(EnvText("TARVO_BUILD_DIR") + "/wine-media/" + mediaFolderName);
    m_folderExisted = GetFileAttributesA(m_folder.c_str()) != INVALID_FILE_ATTRIBUTES;
}

MediaDrive::~MediaDrive() {
    Eject();
    if (!m_folderExisted)
        RemoveDirectoryA(m_folder.c_str());
}

std::string MediaDrive::OnDrive(const std::string& name) const {
    return std::string(1, m_letter) + ":\\" + name;
}

void MediaDrive::Connect() {
    CreateDirectoryA(m_folder.c_str(), nullptr);
}

bool MediaDrive::Insert() {
    Connect();
    return PlaceEngine(m_folder + "\\ravell32.dll");
}

void MediaDrive::Eject() {
    for (const char* name :
         {"ravell32.dll", "ravell32.cmdline.txt", "ravell32.log", "ravell32.ended.log"})
        DeleteFileA((m_folder + "\\" + name).c_str());
}

ScriptedAnswers& ScriptedAnswers::Answer(int button, std::function<void()> action) {
    m_steps.push_back({false, button, std::move(action)});
    return *this;
}

ScriptedAnswers& ScriptedAnswers::Connect(DWORD result, std::function<void()> action) {
    m_steps.push_back({true, static_cast<long>(result), std::move(action)});
    return *this;
}

int ScriptedAnswers::AskMessage(const std::string& text, const std::string& caption, UINT flags) {
    messages.push_back({text, caption, flags});
    calls += 'M';
    if (m_next < m_steps.size() && !m_steps[m_next].connection) {
        Step& step = m_steps[m_next++];
        if (step.action)
            step.action();
        return static_cast<int>(step.result);
    }
    ++unscripted;
    if (unscripted > 20)
        return IDYES;
    return (flags & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL;
}

DWORD ScriptedAnswers::AskConnection(CONNECTDLGSTRUCTA& dialog) {
    Connection seen = {};
    seen.structureSize = dialog.cbStructure;
    seen.owner = dialog.hwndOwner;
    seen.flags = dialog.dwFlags;
    if (dialog.lpConnRes) {
        const NETRESOURCEA& resource = *dialog.lpConnRes;
        seen.resourceType = resource.dwType;
        seen.hasLocalName = resource.lpLocalName != nullptr;
        seen.localName = resource.lpLocalName ? resource.lpLocalName : "";
        seen.hasRemoteName = resource.lpRemoteName != nullptr;
        seen.remoteName = resource.lpRemoteName ? resource.lpRemoteName : "";
        seen.comment = resource.lpComment ? resource.lpComment : "";
    }
    connections.push_back(seen);
    calls += 'C';
    if (m_next < m_steps.size() && m_steps[m_next].connection) {
        Step& step = m_steps[m_next++];
        if (step.action)
            step.action();
        return static_cast<DWORD>(step.result);
    }
    ++unscripted;
    return ERROR_CANCELLED;
}

namespace {

// The loader runs as the version of the test program (Windows 95, 98, NT 4.0, 2000).
std::string LoaderVersion() {
    const std::string version = HarnessVersion();
    if (!version.empty())
        return version;
    return PlatformId() == VER_PLATFORM_WIN32_NT ? "win2k" : "win98";
}

std::string QuendaName() {
    return "Quenda-" + LoaderVersion() + ".exe";
}

// Wine takes a program's Windows version from its per-program key, as the test wrapper sets
// it for the test programs themselves.
void SetWineVersionFor(const std::string& programName) {
    const std::string key = "Software\\Wine\\AppDefaults\\" + programName;
    const std::string versionText = LoaderVersion();
    const char* version = versionText.c_str();
    RegKey handle;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        handle.Receive(), nullptr) == ERROR_SUCCESS)
        RegSetValueExA(handle.Get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                       static_cast<DWORD>(std::strlen(version) + 1));
}

} // namespace

bool PlaceQuenda(const std::string& folder) {
    SetWineVersionFor(QuendaName());
    return CopyFileA(QuendaExe().c_str(), (folder + "\\" + QuendaName()).c_str(), FALSE) != FALSE;
}

long RunQuenda(const std::string& folder, const std::string& commandText, DWORD timeoutMs) {
    return RunAndWait("\"" + folder + "\\" + QuendaName() + "\" " + commandText, timeoutMs, folder);
}

} // namespace loadertest
