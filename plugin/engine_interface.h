// The records that a setup engine hands to the plug-in's entry points.
//
// The engine owns these records; the plug-in reads and changes the fields named here in place,
// for the duration of one call, and never frees anything. Every other byte belongs to the engine
// and is declared below only as named padding, so that an engine author can embed the records
// in larger structures of their own or allocate them as they are. On 32-bit Windows the offsets
// are a binary interface (checked at compile time below); a 64-bit build uses the same
// declarations, with the field widths of that platform, and is only meant to meet an engine
// built from the same declarations.
//
// The components the records lead to are the library's WSetupComponent objects, and the macro
// context is the library's SetupContext: the engine creates and owns both.
#pragma once

#include <cstddef>

#include "setup/core/framework.h"

class SetupContext;
class WSetupComponent;
class ComponentRegistry;

// Second argument of Initialize, PreInstall and PostInstall.
struct InstallRecord {
    // Engine state before RunMode; never touched by the plug-in.
    unsigned char EngineFieldsBeforeRunMode[848];
    // Offset 848. The engine's run mode. In mode 1 Initialize and PostInstall leave everything
    // alone and PreInstall marks both conduit components for installation.
    int RunMode;
    // Engine state between RunMode and the two pointers; never touched by the plug-in.
    unsigned char EngineFieldsBeforeRegistry[72];
    // Offset 924. The engine's component index, where the plug-in finds components by name.
    ComponentRegistry* Registry;
    // Offset 928. The engine's macro context; the plug-in rewrites entries of its CustomMacros.
    SetupContext* Macros;
};

// The part of the component index that names components: an object with a virtual table,
// followed by seven maps from names (compared exactly) to objects, numbered 0 to 6. The engine
// decides what each map holds; map 1 holds the components of the feature being removed when
// PreUNInstall is called. The maps may hold objects of other classes too: the plug-in only
// takes those whose run-time class is WSetupComponent or derives from it.
class ComponentNameIndex : public FwObject {
public:
    static constexpr int MapCount = 7;

    ComponentNameIndex() = default;
    // Map n (0 to 6), in which name lookups and group listings are made.
    FwMapStringToPtr Maps[MapCount];
};

// The engine's index of its components: second argument of PreUNInstall, and reached through
// InstallRecord::Registry in the other entry points.
class ComponentRegistry {
public:
    ComponentRegistry() = default;
    ComponentRegistry(const ComponentRegistry&) = delete;
    ComponentRegistry& operator=(const ComponentRegistry&) = delete;

    // The first component named `name` in map 0, then map 1, and so on up to map 6. The first
    // map that holds the name decides: when the object it gives is not a WSetupComponent (or of
    // a class derived from it), the answer is null, as it is for a name in no map.
    WSetupComponent* FindComponent(const char* name) const;

    // Empties `list`, then appends every WSetupComponent (or derived) object of map `group`, in
    // the map's own iteration order; returns 1. A group outside 0 to 6 leaves `list` empty and
    // returns 0.
    int ListGroupComponents(int group, FwPtrArray& list) const;

    // Engine state before the name index; never touched by the plug-in.
    unsigned char EngineFieldsBeforeIndex[524];
    // Offset 524. The name index (virtual-table pointer, then maps 0 to 6 at 528, 556, ...).
    ComponentNameIndex Index;
    // Engine state between the name index and the removal list; never touched by the plug-in.
    unsigned char EngineFieldsBeforeRemovalList[2852];
    // Offset 3576. The components that the engine is about to remove (WSetupComponent pointers,
    // null entries allowed): data pointer at 3580, element count at 3584.
    FwPtrArray RemovalList;
};

#if defined(__i386__)
FW_LAYOUT_CHECKS_BEGIN
static_assert(offsetof(InstallRecord, RunMode) == 848, "InstallRecord layout");
static_assert(offsetof(InstallRecord, Registry) == 924, "InstallRecord layout");
static_assert(offsetof(InstallRecord, Macros) == 928, "InstallRecord layout");
static_assert(sizeof(InstallRecord) == 932, "InstallRecord layout");
static_assert(sizeof(ComponentNameIndex) == 4 + 7 * 28, "component name index layout");
static_assert(offsetof(ComponentNameIndex, Maps) == 4, "component name index layout");
static_assert(offsetof(ComponentRegistry, Index) == 524, "ComponentRegistry layout");
static_assert(offsetof(ComponentRegistry, RemovalList) == 3576, "ComponentRegistry layout");
static_assert(sizeof(ComponentRegistry) == 3596, "ComponentRegistry layout");
FW_LAYOUT_CHECKS_END
#endif
