#include "plugin/hotsync_probe.h"

#include <windows.h>

#include "plugin/hotsync_interface.h"
#include "setup/core/handles.h"
#include "setup/core/registry.h"

namespace {

constexpr DWORD FolderBufferSize = 260;

std::string ReadUserText(const char* key, const char* valueName) {
    return ReadRegStringAt(HKEY_CURRENT_USER, std::string(key) + "\\" + valueName);
}

} // namespace

std::string ReadHotSyncFolder(const char* coreKey) {
    return ReadRegTextAt(HKEY_CURRENT_USER, std::string(coreKey) + "\\" + hotsync::CorePathValue,
                         FolderBufferSize);
}

double HotSyncProbe::GetHotSyncVersion() {
    if (!ReadUserText(hotsync::PalmManagerKey, hotsync::DirectComPortValue).empty())
        return ReadUserText(hotsync::PalmManagerKey, hotsync::Notifier0Value).empty() ? 1.0 : 1.1;

    if (ReadUserText(hotsync::RoboticsManagerKey, hotsync::DirectComPortValue).empty())
        return 0.0;

    // A missing "Path" would make the module name "\Sync20", a file in the root folder of the
    // current drive: no module is loaded from there.
    std::string folder = ReadUserText(hotsync::RoboticsCoreKey, hotsync::CorePathValue);
    if (folder.empty())
        return Version;
    std::string modulePath = folder + "\\" + hotsync::InterfaceModuleName;
    LoadedModule module(LoadLibraryExA(modulePath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (module) {
        auto getApiVersion = reinterpret_cast<hotsync::SyncGetApiVersionFunction>(
            reinterpret_cast<void*>(GetProcAddress(module.Get(), hotsync::GetApiVersionExport)));
        if (getApiVersion) {
            unsigned long major = 0;
            unsigned long minor = 0;
            getApiVersion(&major, &minor); // the result code is HotSync's business
            Version = static_cast<double>(static_cast<unsigned int>(major)) +
                      static_cast<double>(static_cast<unsigned int>(minor)) / 10.0;
        }
    }
    return Version;
}
