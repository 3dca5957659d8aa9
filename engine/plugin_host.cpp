#include "plugin_host.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "output.h"
#include "plugin_records.h"
#include "product.h"
#include "registration.h"
#include "removal.h"
#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/sysfolders.h"
#include "setup/core/text.h"
#include "setup/elements/crash_guard.h"
#include "transaction_log.h"

namespace {

enum Entry { Initialize, PreInstall, PostInstall, PreUNInstall, PostUNInstall, UNInitialize };
const char* const EntryNames[] = {"Initialize",   "PreInstall",    "PostInstall",
                                  "PreUNInstall", "PostUNInstall", "UNInitialize"};
constexpr int EntryCount = sizeof EntryNames / sizeof EntryNames[0];

std::string Hex(std::uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(code));
    return text;
}

// The records of one run, owned by the engine (plugin_records.h).
struct Records {
    PluginInstallRecord install;
    PluginRegistry registry;
    SetupContext context;
    // The definitions as handed over, with their buffers' sizes: what is read back.
    std::vector<char*> buffers;
    std::vector<std::size_t> sizes;
    unsigned char other[256];
    std::string text;

    Records() {
        std::memset(install.EngineBeforeRunMode, 0, sizeof install.EngineBeforeRunMode);
        std::memset(install.EngineBeforeRegistry, 0, sizeof install.EngineBeforeRegistry);
        install.RunMode = 0;
        install.Registry = &registry;
        install.Macros = &context;
        std::memset(registry.EngineBeforeIndex, 0, sizeof registry.EngineBeforeIndex);
        std::memset(registry.EngineBeforeRemovalList, 0, sizeof registry.EngineBeforeRemovalList);
        std::memset(other, 0, sizeof other);
    }
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;
};

bool IsProductComponent(const WSetupComponent& component) {
    return component.Id != RegistrationComponent;
}

} // namespace

std::string PluginNameOf(const std::string& componentId) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < componentId.size(); i += CharLengthAt(componentId, i))
        if (componentId[i] == ':' || componentId[i] == '.')
            start = i + 1;
    return componentId.substr(start);
}

namespace {

// Map 0: every component of the product; map 1: those of the installation (`installation`
// true: all of them; false: those selected now). The removal list, when `removing`, holds all.
void FillMaps(Records& records, const Product& product, bool installation, bool removing) {
    for (FwMapStringToPtr& map : records.registry.Index.Maps)
        map.RemoveAll();
    records.registry.RemovalList.RemoveAll();
    for (const auto& component : product.components) {
        if (!IsProductComponent(*component))
            continue;
        const std::string name = PluginNameOf(component->Id.c_str());
        records.registry.Index.Maps[0].SetAt(name.c_str(), component.get());
        if (installation || component->IsSelected())
            records.registry.Index.Maps[1].SetAt(name.c_str(), component.get());
        if (removing)
            records.registry.RemovalList.Add(component.get());
    }
}

void ForgetComponents(Records& records) {
    for (FwMapStringToPtr& map : records.registry.Index.Maps)
        map.RemoveAll();
    records.registry.RemovalList.RemoveAll();
}

// The process-wide context's custom definitions, copied into the record's context.
void CopyMacrosIn(Records& records) {
    records.context.ClearCustomMacros();
    records.buffers.clear();
    records.sizes.clear();
    const SetupContext& from = TheSetupContext();
    for (int i = 0; i < from.CustomMacros.GetSize(); ++i) {
        const char* text = static_cast<const char*>(from.CustomMacros.GetAt(i));
        const std::string definition = text ? text : "";
        records.context.AddCustomMacro(definition);
        const int last = records.context.CustomMacros.GetSize() - 1;
        records.buffers.push_back(static_cast<char*>(records.context.CustomMacros.GetAt(last)));
        std::size_t size = definition.size() + 1;
        if (size < static_cast<std::size_t>(SetupContext::CustomMacroBufferSize))
            size = SetupContext::CustomMacroBufferSize;
        records.sizes.push_back(size);
    }
}

// The definitions as the plug-in left them, back into the process-wide context.
void ReadMacrosBack(Records& records, Entry entry) {
    SetupContext& to = TheSetupContext();
    std::vector<std::string> definitions;
    for (std::size_t i = 0; i < records.buffers.size(); ++i) {
        const char* buffer = records.buffers[i];
        if (std::memchr(buffer, 0, records.sizes[i])) {
            definitions.push_back(buffer);
            continue;
        }
        Say(std::string("plugin ") + EntryNames[entry] + " left custom macro " + std::to_string(i) +
            " without its end; it stays as it was");
        definitions.push_back(static_cast<const char*>(to.CustomMacros.GetAt(static_cast<int>(i))));
    }
    to.ClearCustomMacros();
    for (const std::string& definition : definitions)
        to.AddCustomMacro(definition);
}

// The meaning of the action codes (plugin_host.h) in the components' selection.
void ApplyActions(const Product& product, std::set<std::string>& excluded) {
    for (const auto& component : product.components) {
        if (!IsProductComponent(*component))
            continue;
        if (component->ModeIndex < 0 || component->ModeIndex > 3)
            component->ModeIndex = 2;
        int& state = component->ModeStates[component->ModeIndex];
        if (component->Action == 8)
            excluded.insert(component->Id.c_str());
        if (excluded.count(component->Id.c_str()))
            state = 0;
        else if (component->Action == 4)
            state = 2;
    }
}

// The loaded plug-in and its calls.
class Plugin {
public:
    // Loads the module and finds the six entry points; false, with the line said, when it
    // cannot. `shown` is the path the lines name, `consequence` what the failure left.
    bool Load(const std::string& path, const std::string& shown, const std::string& consequence) {
        m_shown = shown;
        m_module.Reset(LoadLibraryA(path.c_str()));
        if (!m_module) {
            Say("plugin " + shown + " cannot be loaded (error " + std::to_string(GetLastError()) +
                "): " + consequence);
            return false;
        }
        for (int i = 0; i < EntryCount; ++i) {
            m_entries[i] = GetProcAddress(m_module.Get(), EntryNames[i]);
            if (!m_entries[i]) {
                Say("plugin " + shown + " has no entry point " + EntryNames[i] + ": " +
                    consequence);
                m_module.Reset();
                return false;
            }
        }
        return true;
    }

    bool Usable() const { return m_module && !m_crashed; }

    // Calls the entry point; false, with the line said, when it crashed: no call follows then.
    bool Call(Entry entry, void* record, Records& records, const std::string& afterCrash) {
        const std::uintptr_t arguments[4] = {
            0, reinterpret_cast<std::uintptr_t>(record),
            reinterpret_cast<std::uintptr_t>(records.other),
            reinterpret_cast<std::uintptr_t>(records.text.c_str())};
        long result = 0;
        CSetupCException caught(0);
        if (!CallGuardedEntry(m_entries[entry], arguments, 4, result, caught)) {
            m_crashed = true;
            Say(std::string("plugin ") + EntryNames[entry] + " crashed (exception " +
                Hex(caught.GetCode()) + "): " + afterCrash);
            return false;
        }
        Say(std::string("plugin ") + EntryNames[entry] + " returned " + std::to_string(result));
        return true;
    }

    void Unload() { m_module.Reset(); }

private:
    LoadedModule m_module;
    FARPROC m_entries[EntryCount] = {};
    bool m_crashed = false;
    std::string m_shown;
};

DescribedItem CopyElement(const ProductDescription& description, const std::string& logPath) {
    const std::string onMedium = JoinPath("<S>", description.plugin, true);
    DescribedItem item;
    item.className = "WSetupFile";
    item.id = "PluginCopy";
    item.line = description.pluginLine;
    const int line = description.pluginLine;
    item.values = {{"Component", RegistrationComponent, line},
                   {"SourceDir", ParentOf(onMedium), line},
                   {"MediaName", FileNameOf(onMedium), line},
                   {"DestDir", "<W>", line},
                   {"DestName", PluginCopyName(description.name, logPath), line},
                   {"CopyMode", "0", line},
                   {"Attributes", "010000", line}};
    return item;
}

} // namespace

std::string PluginCopyName(const std::string& productName, const std::string& logPath) {
    return "rp" + EngineCopyName(productName, logPath, "copy.dll").substr(2);
}

std::string PluginSourcePath(const ProductDescription& description) {
    if (description.plugin.empty())
        return "";
    return JoinPath(TheSetupContext().MacroS.c_str(), description.plugin, true);
}

bool AddPluginCopy(ProductDescription& description, const std::string& logPath,
                   std::string& problem) {
    if (description.plugin.empty())
        return true;
    if (description.name.empty()) {
        problem = description.path + "(" + std::to_string(description.pluginLine) +
                  "): a Plugin needs the product's Name (the removal finds the plug-in through "
                  "the product's registration)";
        return false;
    }
    std::map<std::string, const DescribedItem*> byName;
    for (const DescribedItem& component : description.components) {
        const std::string name = PluginNameOf(component.id);
        auto known = byName.emplace(name, &component);
        if (!known.second) {
            problem = description.path + "(" + std::to_string(component.line) +
                      "): the plug-in would find two components by the name \"" + name +
                      "\" (the other is " + known.first->second->id + ", line " +
                      std::to_string(known.first->second->line) + ")";
            return false;
        }
    }
    description.elements.push_back(CopyElement(description, logPath));
    return true;
}

struct PluginInstallHost::State {
    std::string source;
    std::string copy;
    Plugin plugin;
    Records records;
    std::set<std::string> excluded; // by Id: the product may be built again after the offer
    std::string productName;
    bool offered = false;
};

PluginInstallHost::PluginInstallHost(const ProductDescription& description,
                                     const std::string& logPath)
    : m_state(new State) {
    m_state->source = PluginSourcePath(description);
    if (!m_state->source.empty())
        m_state->copy =
            JoinPath(TheSystemFolders().Windows(), PluginCopyName(description.name, logPath), true);
    m_state->records.text = description.name;
    m_state->productName = description.name;
}

void PluginInstallHost::SetLog(const std::string& logPath) {
    if (!m_state->source.empty())
        m_state->copy = JoinPath(TheSystemFolders().Windows(),
                                 PluginCopyName(m_state->productName, logPath), true);
}

PluginInstallHost::~PluginInstallHost() = default;

int PluginInstallHost::BeforeOffer(Product& product) {
    State& s = *m_state;
    if (s.source.empty())
        return ExitOk;
    if (s.offered) {
        // Built again after the user's choice: what Initialize decided holds for it too.
        if (s.plugin.Usable()) {
            ReadMacrosBack(s.records, Initialize);
            ApplyActions(product, s.excluded);
        }
        return ExitOk;
    }
    s.offered = true;
    if (!s.plugin.Load(s.source, s.source, "nothing was installed"))
        return ExitPluginFailed;
    FillMaps(s.records, product, false, false);
    CopyMacrosIn(s.records);
    if (!s.plugin.Call(Initialize, &s.records.install, s.records, "nothing was installed"))
        return ExitPluginCrashed;
    ReadMacrosBack(s.records, Initialize);
    ApplyActions(product, s.excluded);
    return ExitOk;
}

int PluginInstallHost::BeforeTransaction(Product& product) {
    State& s = *m_state;
    if (!s.plugin.Usable())
        return ExitOk;
    FillMaps(s.records, product, false, false);
    CopyMacrosIn(s.records);
    if (!s.plugin.Call(PreInstall, &s.records.install, s.records, "nothing was installed"))
        return ExitPluginCrashed;
    ReadMacrosBack(s.records, PreInstall);
    ApplyActions(product, s.excluded);
    for (const auto& component : product.components)
        if (IsProductComponent(*component))
            Say(std::string("plugin choice ") + component->Id.c_str() +
                " action=" + std::to_string(component->Action) +
                (component->IsSelected() ? " installed" : " left out"));
    for (int i = 0; i < TheSetupContext().CustomMacros.GetSize(); ++i)
        Say(std::string("plugin macro ") +
            static_cast<const char*>(TheSetupContext().CustomMacros.GetAt(i)));
    product.pluginCopy = s.copy;
    return ExitOk;
}

int PluginInstallHost::AfterCommit(Product& product) {
    State& s = *m_state;
    if (!s.plugin.Usable())
        return ExitOk;
    FillMaps(s.records, product, false, false);
    CopyMacrosIn(s.records);
    const bool returned = s.plugin.Call(PostInstall, &s.records.install, s.records,
                                        "the installation is complete and stays");
    ForgetComponents(s.records); // the components end with the installation
    return returned ? ExitOk : ExitPluginCrashed;
}

int PluginInstallHost::Finish(int code) {
    State& s = *m_state;
    ForgetComponents(s.records);
    if (s.plugin.Usable() &&
        !s.plugin.Call(UNInitialize, &s.records.registry, s.records,
                       code == ExitOk || code == ExitRestartNeeded
                           ? "the installation is complete and stays"
                           : "the run had ended already") &&
        (code == ExitOk || code == ExitRestartNeeded))
        code = ExitPluginCrashed;
    s.plugin.Unload();
    return code;
}

int RemoveWithPlugin(const std::string& logPath) {
    TransactionLog log;
    std::string error;
    std::string copy;
    if (ReadTransactionLog(logPath, log, error))
        for (const std::string& line : log.header)
            if (line.compare(0, 7, "plugin ") == 0)
                copy = line.substr(7);
    if (copy.empty())
        return Remove(logPath); // which reports a log it cannot read
    if (WhatIsAt(copy) != PathKind::File) {
        Say("plugin " + copy +
            " is missing: nothing was removed (the removal calls it; put it back and remove "
            "again)");
        return ExitPluginFailed;
    }
    Product product;
    if (!ApplyHeader(log.header, product, error))
        return Remove(logPath);
    // The kept copy goes with the removal: the calls use a temporary copy of it.
    char temporary[MAX_PATH] = {};
    if (!GetTempFileNameA(TheSystemFolders().Temp().c_str(), "rvp", 0, temporary) ||
        !CopyFileA(copy.c_str(), temporary, FALSE)) {
        Say("plugin " + copy + " cannot be copied for its calls (error " +
            std::to_string(GetLastError()) + "): nothing was removed");
        if (temporary[0])
            (void)DeleteFileA(temporary);
        return ExitPluginFailed;
    }
    Records records;
    records.text = TheSetupContext().MacroProduct.c_str();
    Plugin plugin;
    int code = ExitPluginFailed;
    if (plugin.Load(temporary, copy, "nothing was removed")) {
        for (const auto& component : product.components)
            component->ModeStates[component->ModeIndex] = 2; // installed
        FillMaps(records, product, true, true);
        CopyMacrosIn(records);
        code = ExitPluginCrashed;
        if (plugin.Call(PreUNInstall, &records.registry, records, "nothing was removed")) {
            ForgetComponents(records);
            code = Remove(logPath);
            const bool removed = code == ExitOk || code == ExitRestartNeeded;
            if (!plugin.Call(PostUNInstall, &records.registry, records,
                             removed ? "the removal is done" : "the removal had ended") ||
                !plugin.Call(UNInitialize, &records.registry, records,
                             removed ? "the removal is done" : "the removal had ended")) {
                if (removed)
                    code = ExitPluginCrashed;
            }
        }
    }
    plugin.Unload();
    (void)DeleteFileA(temporary);
    return code;
}
