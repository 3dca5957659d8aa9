#include "registration.h"

#include <cstdint>
#include <cstdio>

#include <vector>

#include "preflight.h"
#include "restart.h"
#include "setup/core/platform_version.h"
#include "setup/elements/registry_entry.h"
#include "setup/core/path.h"
#include "setup/core/sysfolders.h"
#include "setup/core/text.h"

namespace {

// The EstimatedSize value's element: its data is the size, known once the components are chosen.
const char* const SizeEntryId = "UninstallSize";

DescribedItem Element(const char* className, const char* id,
                      std::initializer_list<DescribedValue> values) {
    DescribedItem item;
    item.className = className;
    item.id = id;
    item.values.push_back({"Component", RegistrationComponent, 0});
    for (const DescribedValue& v : values)
        item.values.push_back(v);
    return item;
}

} // namespace

std::string EngineCopyName(const std::string& productName, const std::string& logPath,
                           const std::string& engineName, int generation) {
    std::uint32_t hash = 2166136261u; // FNV-1a
    std::string hashed = productName + '\n' + logPath;
    if (generation > 0)
        hashed += '\n' + std::to_string(generation);
    for (const char c : Uppercased(hashed)) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    char name[16];
    std::snprintf(name, sizeof name, "rv%06lx", static_cast<unsigned long>(hash & 0xFFFFFFu));
    const std::string file = FileNameOf(engineName);
    const std::string::size_type dot = file.rfind('.');
    return name + (dot == std::string::npos ? std::string() : file.substr(dot));
}

namespace {

std::string QuotedIfBlank(const std::string& text) {
    return text.find_first_of(" \t") == std::string::npos ? text : "\"" + text + "\"";
}

// The copy's name: the first generation whose file does not wait for its deletion at the restart.
std::string FreeCopyName(const std::string& productName, const std::string& logPath,
                         const std::string& engineName) {
    const std::vector<PendingRename> pending = PendingRenames();
    const std::string windows = TheSystemFolders().Windows();
    for (int generation = 0;; ++generation) {
        const std::string name = EngineCopyName(productName, logPath, engineName, generation);
        const std::string path = JoinPath(windows, name, true);
        bool deleted = false;
        for (const PendingRename& entry : pending)
            if (entry.target.empty() && WaitsForRestart(path, {entry}))
                deleted = true;
        if (!deleted || generation >= 15)
            return name;
    }
}

} // namespace

std::string RemovalCommand(const std::string& copyPath, const std::string& logPath) {
    return QuotedIfBlank(copyPath) + " mode=remove " + QuotedIfBlank("log=" + logPath);
}

std::string UninstallKeyOf(const std::string& productName) {
    return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + productName;
}

void AddRegistration(ProductDescription& description, const std::string& enginePath,
                     const std::string& logPath) {
    if (description.name.empty())
        return;
    DescribedItem component;
    component.className = "Component";
    component.id = RegistrationComponent;
    component.values.push_back({"Selected", "1", 0});
    description.components.push_back(component);

    const std::string engineName = FileNameOf(enginePath);
    const std::string copyName = FreeCopyName(description.name, logPath, engineName);
    description.elements.push_back(Element("WSetupFile", "EngineCopy",
                                           {{"SourceDir", ParentOf(enginePath), 0},
                                            {"MediaName", engineName, 0},
                                            {"DestDir", "<W>", 0},
                                            {"DestName", copyName, 0},
                                            {"CopyMode", "0", 0},
                                            {"Attributes", "010000", 0}}));
    const std::string key = UninstallKeyOf(description.name);
    description.elements.push_back(Element("WSetupRegEntry", "UninstallName",
                                           {{"RootName", "HKEY_LOCAL_MACHINE", 0},
                                            {"KeyPath", key, 0},
                                            {"ValueName", "DisplayName", 0},
                                            {"ValueData", description.name, 0},
                                            {"ValueType", "STRING", 0}}));
    const auto value = [&](const char* id, const char* name, const std::string& data,
                           const char* type) {
        description.elements.push_back(Element("WSetupRegEntry", id,
                                               {{"RootName", "HKEY_LOCAL_MACHINE", 0},
                                                {"KeyPath", key, 0},
                                                {"ValueName", name, 0},
                                                {"ValueData", data, 0},
                                                {"ValueType", type, 0}}));
    };
    value("UninstallLocation", "InstallLocation", "<D>", "STRING");
    if (!description.version.empty())
        value("UninstallVersion", "DisplayVersion", description.version, "STRING");
    if (!description.publisher.empty())
        value("UninstallPublisher", "Publisher", description.publisher, "STRING");
    if (!description.displayIcon.empty())
        value("UninstallIcon", "DisplayIcon", description.displayIcon, "STRING");
    const PlatformVersion& platform = ThePlatformVersion();
    if (platform.PlatformId() == VER_PLATFORM_WIN32_NT && platform.Info().dwMajorVersion >= 5)
        value(SizeEntryId, "EstimatedSize", "0", "DWORD");
    description.elements.push_back(Element(
        "WSetupRegEntry", "UninstallCommand",
        {{"RootName", "HKEY_LOCAL_MACHINE", 0},
         {"KeyPath", key, 0},
         {"ValueName", "UninstallString", 0},
         {"ValueData",
          RemovalCommand(JoinPath(TheSystemFolders().Windows(), copyName, true), logPath), 0},
         {"ValueType", "STRING", 0}}));
}

void CompleteRegistration(const std::vector<WSetupElement*>& order) {
    WSetupRegEntry* size = nullptr;
    for (WSetupElement* element : order)
        if (element->Id == SizeEntryId && element->IsKindOf(&WSetupRegEntry::classWSetupRegEntry))
            size = static_cast<WSetupRegEntry*>(element);
    if (!size)
        return;
    std::uint64_t bytes = 0;
    for (const DriveSpace& drive : SpaceNeeded(order))
        bytes += drive.needed;
    size->ValueData = std::to_string((bytes + 1023) / 1024).c_str();
}
