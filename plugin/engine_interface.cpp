#include "plugin/engine_interface.h"

#include "setup/core/component.h"

namespace {

// The object as a component, when its run-time class is WSetupComponent or derives from it.
// The engine's objects carry the engine's own class records, which the derivation test
// recognises by name.
WSetupComponent* AsComponent(void* object) {
    FwObject* candidate = static_cast<FwObject*>(object);
    if (!candidate || !candidate->IsKindOf(FW_RUNTIME_CLASS(WSetupComponent)))
        return nullptr;
    return static_cast<WSetupComponent*>(candidate);
}

} // namespace

WSetupComponent* ComponentRegistry::FindComponent(const char* name) const {
    if (!name)
        return nullptr;
    for (const FwMapStringToPtr& map : Index.Maps) {
        void* object = nullptr;
        if (map.Lookup(name, object))
            return AsComponent(object);
    }
    return nullptr;
}

int ComponentRegistry::ListGroupComponents(int group, FwPtrArray& list) const {
    list.RemoveAll();
    if (group < 0 || group >= ComponentNameIndex::MapCount)
        return 0;
    const FwMapStringToPtr& map = Index.Maps[group];
    FwPosition position = map.GetStartPosition();
    while (position) {
        FwString key;
        void* object = nullptr;
        map.GetNextAssoc(position, key, object);
        if (WSetupComponent* component = AsComponent(object))
            list.Add(component);
    }
    return 1;
}
