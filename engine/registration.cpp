#include "registration.h"

#include "setup/core/path.h"

namespace {

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
    description.elements.push_back(Element("WSetupFile", "EngineCopy",
                                           {{"SourceDir", ParentOf(enginePath), 0},
                                            {"MediaName", engineName, 0},
                                            {"DestDir", "<D>", 0},
                                            {"DestName", engineName, 0},
                                            {"CopyMode", "0", 0},
                                            {"Attributes", "010000", 0}}));
    const std::string key = UninstallKeyOf(description.name);
    description.elements.push_back(Element("WSetupRegEntry", "UninstallName",
                                           {{"RootName", "HKEY_LOCAL_MACHINE", 0},
                                            {"KeyPath", key, 0},
                                            {"ValueName", "DisplayName", 0},
                                            {"ValueData", description.name, 0},
                                            {"ValueType", "STRING", 0}}));
    description.elements.push_back(Element(
        "WSetupRegEntry", "UninstallCommand",
        {{"RootName", "HKEY_LOCAL_MACHINE", 0},
         {"KeyPath", key, 0},
         {"ValueName", "UninstallString", 0},
         {"ValueData", "\"<D>\\" + engineName + "\" mode=remove \"log=" + logPath + "\"", 0},
         {"ValueType", "STRING", 0}}));
}
