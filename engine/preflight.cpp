#include "preflight.h"

#include <windows.h>

#include <set>

#include "kind_table.h"
#include "output.h"
#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/core/medium_file.h"
#include "setup/core/path.h"
#include "setup/core/platform_version.h"
#include "setup/core/text.h"
#include "setup/elements/element_paths.h"
#include "setup/elements/file.h"

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// "C:\" for a full drive path, "\\server\share\" for a UNC path; "" for any other (a relative
// path, a drive without its folder).
std::string RootFolderOf(const std::string& path) {
    if (path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == ':' && path[2] == '\\')
        return path.substr(0, 3);
    if (!IsUncPath(path))
        return "";
    const std::string server = NthField(path, "\\", 3);
    const std::string share = NthField(path, "\\", 4);
    if (server.empty() || share.empty())
        return "";
    return "\\\\" + server + "\\" + share + "\\";
}

// The file on the medium that a copying element takes.
std::string SourceOf(WSetupElement& element) {
    auto& file = static_cast<WSetupFile&>(element);
    const std::string name = file.MediaName.empty() ? file.SourceName.str() : file.MediaName.str();
    SetupContext& context = TheSetupContext();
    return context.ResolvePath(context.ExpandVariables(file.SourceDir.c_str()), name);
}

using FreeSpaceEx = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

// ERROR_SUCCESS when the user may create keys and set values under HKEY_LOCAL_MACHINE\Software.
LONG MachineSettingsAccess() {
    RegKey key;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_CREATE_SUB_KEY | KEY_SET_VALUE,
                         key.Receive());
}

} // namespace

bool SourceSizeOf(WSetupElement& element, std::uint32_t& size) {
    return InstalledSizeOf(SourceOf(element), size);
}

bool FreeSpaceOn(const std::string& root, std::uint64_t& free) {
    // The module is the process's own kernel: looked up, never loaded or freed.
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const auto extended = kernel ? reinterpret_cast<FreeSpaceEx>(reinterpret_cast<void*>(
                                       GetProcAddress(kernel, "GetDiskFreeSpaceExA")))
                                 : nullptr;
    if (extended) {
        ULARGE_INTEGER available, total, totalFree;
        if (extended(root.c_str(), &available, &total, &totalFree)) {
            free = available.QuadPart;
            return true;
        }
    }
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &clusters))
        return false;
    free = static_cast<std::uint64_t>(sectorsPerCluster) * bytesPerSector * freeClusters;
    return true;
}

std::vector<DriveSpace> SpaceNeeded(const std::vector<WSetupElement*>& order) {
    std::vector<DriveSpace> drives;
    for (WSetupElement* element : order) {
        if (!RowOf(*element).copiesAFile)
            continue;
        std::uint32_t size = 0;
        if (!SourceSizeOf(*element, size))
            continue; // the description's check has refused a missing source already
        const std::string root = RootFolderOf(ElementPath(*element, false));
        if (root.empty())
            continue;
        DriveSpace* drive = nullptr;
        for (DriveSpace& d : drives)
            if (EqualText(d.root, root, false))
                drive = &d;
        if (!drive) {
            drives.push_back(DriveSpace{root, 0, 0, false});
            drive = &drives.back();
            drive->known = FreeSpaceOn(root, drive->free);
        }
        drive->needed += size;
    }
    return drives;
}

std::string DestinationRefusal(const std::string& destination, bool chosen) {
    const std::string root = RootFolderOf(destination);
    if (root.empty() || destination.size() <= root.size())
        return "it is not a full path below a drive or a network share";
    std::string medium = TheSetupContext().MacroS.c_str();
    if (!medium.empty() && medium.back() != '\\')
        medium += '\\';
    std::string folder = destination;
    if (folder.back() != '\\')
        folder += '\\';
    if (chosen && !medium.empty() && folder.size() >= medium.size() &&
        EqualText(folder.substr(0, medium.size()), medium, false))
        return "it lies on the installation medium";
    const DWORD attributes = GetFileAttributesA(destination.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return "it names a file";
    return "";
}

int CheckBeforeInstall(const std::vector<WSetupElement*>& order) {
    int code = ExitOk;
    for (const DriveSpace& drive : SpaceNeeded(order)) {
        Say("space " + drive.root + " needed " + std::to_string(drive.needed) + " free " +
            (drive.known ? std::to_string(drive.free) : std::string("unknown")));
        if (drive.known && drive.needed > drive.free) {
            Say("refused: not enough disk space on " + drive.root + ": " +
                std::to_string(drive.needed) + " bytes needed, " + std::to_string(drive.free) +
                " free");
            code = ExitNoSpace;
        }
    }
    if (code != ExitOk)
        return code;

    std::set<std::string> folders;
    bool machineSettings = false;
    for (WSetupElement* element : order) {
        const KindRow& row = RowOf(*element);
        if (row.writesMachineSettings && row.writesMachineSettings(*element))
            machineSettings = true;
        if (!row.copiesAFile)
            continue;
        const std::string folder = ParentOf(ElementPath(*element, false));
        if (!folder.empty())
            folders.insert(Uppercased(folder) + '\n' + folder);
    }
    for (const std::string& entry : folders) {
        const std::string folder = TextAfter(entry, "\n");
        if (!CanWriteTo(folder, false)) {
            Say("refused: the folder " + folder + " cannot be written (error " +
                std::to_string(GetLastError()) + ")");
            code = ExitNoRights;
        }
    }
    if (machineSettings && ThePlatformVersion().PlatformId() == VER_PLATFORM_WIN32_NT) {
        const LONG access = MachineSettingsAccess();
        if (access != ERROR_SUCCESS) {
            Say("refused: the installation writes the machine's settings "
                "(HKEY_LOCAL_MACHINE\\Software) and this user may not change them (error " +
                std::to_string(access) + "); log on as an administrator");
            code = ExitNoRights;
        }
    }
    return code;
}
