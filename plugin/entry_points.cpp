#include "plugin/entry_points.h"

#include "plugin/custom_macro.h"
#include "plugin/entry_guard.h"
#include "plugin/hotsync_interface.h"
#include "plugin/hotsync_probe.h"
#include "plugin/shortcut_refresh.h"
#include "setup/core/component.h"
#include "setup/core/sysfolders.h"
#include "setup/core/text.h"

// The plug-in's application object, the one every module built on the framework has. It holds
// nothing and does no work at load or unload.
class MorvikApp {
public:
    const char* Name() const { return "Morvik"; }
};
MorvikApp TheMorvikApp;

// The engine loads the plug-in from its medium and may change its current folder before the
// first entry point builds the system folders: the folder library is the medium's.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        RecordStartFolder();
    return TRUE;
}

namespace {

// The engine's text argument, copied as the entry points receive it; no entry point uses it.
std::string CopyArgument(const char* text) {
    return text ? std::string(text) : std::string();
}

WSetupComponent* Find(const ComponentRegistry* registry, const char* name) {
    return registry ? registry->FindComponent(name) : nullptr;
}

ComponentRegistry* RegistryOf(const InstallRecord* record) {
    return record ? record->Registry : nullptr;
}

void SetAction(WSetupComponent* component, int action) {
    if (component)
        component->Action = action;
}

// Sets the action of a component and points its custom macro at the HotSync folder.
void SetActionAndFolder(WSetupComponent* component, int action, SetupContext* macros,
                        const std::string& folder) {
    if (!component)
        return;
    component->Action = action;
    morvik::RetargetCustomMacro(macros, component->QualifiedName.str(), folder);
}

// Makes the feature available and offers only the conduit component that fits the HotSync
// generation found: `fitting` gets action 3, `other` action 8.
void OfferConduits(const InstallRecord* record, const char* coreKey, const char* other,
                   const char* fitting) {
    const std::string folder = ReadHotSyncFolder(coreKey);
    const ComponentRegistry* registry = record->Registry;
    WSetupComponent* feature = Find(registry, morvik::FeatureComponent);
    if (!feature)
        return;
    SetActionAndFolder(feature, morvik::ActionAvailable, record->Macros, folder);
    SetActionAndFolder(Find(registry, other), morvik::ActionUnavailable, record->Macros, folder);
    SetActionAndFolder(Find(registry, fitting), morvik::ActionFits, record->Macros, folder);
}

// Number of the components in `list` (null entries skipped) that belong to the feature.
int CountFeatureComponents(const FwPtrArray& list) {
    int count = 0;
    for (int i = 0; i < list.GetSize(); ++i) {
        auto* component = static_cast<WSetupComponent*>(list.GetAt(i));
        if (component && ContainsText(component->Id.str(), morvik::FeatureIdMarker, false))
            ++count;
    }
    return count;
}

} // namespace

static LONG InitializeWork(InstallRecord* record, const char* text) {
    const std::string argument = CopyArgument(text);
    if (!record || record->RunMode == 1)
        return 1;

    HotSyncProbe probe;
    const double version = probe.GetHotSyncVersion();
    const ComponentRegistry* registry = record->Registry;
    if (version == 0.0) {
        // No HotSync for this user: nothing of the feature can be used.
        if (WSetupComponent* feature = Find(registry, morvik::FeatureComponent)) {
            feature->Flags16 &= ~2;
            feature->Action = morvik::ActionUnavailable;
        }
        SetAction(Find(registry, morvik::Conduit1Component), morvik::ActionUnavailable);
        SetAction(Find(registry, morvik::Conduit2Component), morvik::ActionUnavailable);
    } else if (IsFirstGeneration(version)) {
        OfferConduits(record, hotsync::PalmCoreKey, morvik::Conduit2Component,
                      morvik::Conduit1Component);
    } else if (version >= 2.0 && version < 3.0) {
        OfferConduits(record, hotsync::RoboticsCoreKey, morvik::Conduit1Component,
                      morvik::Conduit2Component);
    }
    // Any other version (-1.0: HotSync 2 that cannot be asked; 3.0 and above): no change.
    return 1;
}

static LONG PreInstallWork(InstallRecord* record, const char* text) {
    const std::string argument = CopyArgument(text);
    HotSyncProbe probe;
    const double version = probe.GetHotSyncVersion();
    const ComponentRegistry* registry = RegistryOf(record);
    WSetupComponent* feature = Find(registry, morvik::FeatureComponent);
    if (!feature || !feature->IsSelected())
        return 1;
    if (record->RunMode == 1) {
        SetAction(Find(registry, morvik::Conduit1Component), morvik::ActionInstall);
        SetAction(Find(registry, morvik::Conduit2Component), morvik::ActionInstall);
    } else if (IsFirstGeneration(version)) {
        SetAction(Find(registry, morvik::Conduit1Component), morvik::ActionInstall);
    } else if (version >= 2.0) {
        SetAction(Find(registry, morvik::Conduit2Component), morvik::ActionInstall);
    }
    return 1;
}

static LONG PostInstallWork(InstallRecord* record, const char* text) {
    const std::string argument = CopyArgument(text);
    if (!record || record->RunMode == 1)
        return 1;
    WSetupComponent* feature = Find(record->Registry, morvik::FeatureComponent);
    if (!feature || !feature->IsSelected())
        return 1;

    HotSyncProbe probe;
    probe.SyncConduitTable(ConduitSyncMode::Install);

    WSetupComponent* conduit1 = Find(record->Registry, morvik::Conduit1Component);
    if (conduit1 && conduit1->IsSelected())
        RefreshHotSyncShortcuts();
    return 1;
}

static LONG PreUNInstallWork(ComponentRegistry* registry, const char* text) {
    const std::string argument = CopyArgument(text);
    if (!registry)
        return 1;
    // The conduit registrations go only when the whole feature is being removed: every feature
    // component of group 1 is also in the removal list.
    FwPtrArray group;
    registry->ListGroupComponents(1, group);
    const int inGroup = CountFeatureComponents(group);
    const int beingRemoved = CountFeatureComponents(registry->RemovalList);
    if (inGroup != 0 && inGroup == beingRemoved) {
        HotSyncProbe probe;
        probe.SyncConduitTable(ConduitSyncMode::Remove);
    }
    return 1;
}

static LONG PostUNInstallWork(const char* text) {
    const std::string argument = CopyArgument(text);
    return 1;
}

static LONG UNInitializeWork(const char* text) {
    const std::string argument = CopyArgument(text);
    return 1;
}

// The exports: each runs its work through RunEntry, so that nothing but the result reaches the
// engine (plugin/entry_guard.h).
extern "C" LONG WINAPI Initialize(LONG, InstallRecord* record, void*, const char* text) {
    return morvik::RunEntry([=] { return InitializeWork(record, text); });
}

extern "C" LONG WINAPI PreInstall(LONG, InstallRecord* record, void*, const char* text) {
    return morvik::RunEntry([=] { return PreInstallWork(record, text); });
}

extern "C" LONG WINAPI PostInstall(LONG, InstallRecord* record, void*, const char* text) {
    return morvik::RunEntry([=] { return PostInstallWork(record, text); });
}

extern "C" LONG WINAPI PreUNInstall(LONG, ComponentRegistry* registry, void*, const char* text) {
    return morvik::RunEntry([=] { return PreUNInstallWork(registry, text); });
}

extern "C" LONG WINAPI PostUNInstall(LONG, void*, void*, const char* text) {
    return morvik::RunEntry([=] { return PostUNInstallWork(text); });
}

extern "C" LONG WINAPI UNInitialize(LONG, void*, void*, const char* text) {
    return morvik::RunEntry([=] { return UNInitializeWork(text); });
}
