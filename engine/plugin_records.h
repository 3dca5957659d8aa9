// The records the engine hands to a plug-in's entry points, in the engine's own declarations.
//
// A plug-in is built by another maker against its own declarations of these records: on 32-bit
// Windows the offsets below are the binary interface between the two (checked at compile time
// at the end of this file). The engine owns every record, fills its own fields with zeros and
// lets the plug-in change only the fields named here, for the duration of one call. The 64-bit
// test build uses the same declarations with that platform's field widths, and meets only
// plug-ins built from declarations of the same shape.
//
// The components the records lead to are the engine's WSetupComponent objects, and the macro
// context is a SetupContext of the engine's (not the process-wide one the elements expand with:
// the engine reads the plug-in's changes back from it after each call).
#pragma once

#include <cstddef>

#include "setup/core/framework.h"

class SetupContext;
struct PluginRegistry;

// Second argument of Initialize, PreInstall and PostInstall.
struct PluginInstallRecord {
    unsigned char EngineBeforeRunMode[848];
    // Offset 848. This engine always runs in mode 0 (an ordinary installation).
    int RunMode;
    unsigned char EngineBeforeRegistry[72];
    // Offset 924.
    PluginRegistry* Registry;
    // Offset 928.
    SetupContext* Macros;
};

// The name index of the registry: a framework object (its virtual-table pointer first), then
// seven maps from names to objects. The plug-in takes from them only objects whose run-time
// class is WSetupComponent or derives from it, and compares names exactly.
class PluginNameIndex : public FwObject {
public:
    static constexpr int MapCount = 7;
    FwMapStringToPtr Maps[MapCount];
};

// Second argument of PreUNInstall (and of PostUNInstall and UNInitialize, which do not read it).
struct PluginRegistry {
    unsigned char EngineBeforeIndex[524];
    // Offset 524.
    PluginNameIndex Index;
    unsigned char EngineBeforeRemovalList[2852];
    // Offset 3576: the components that go (data pointer at 3580, count at 3584).
    FwPtrArray RemovalList;
};

#if defined(__i386__)
FW_LAYOUT_CHECKS_BEGIN
static_assert(offsetof(PluginInstallRecord, RunMode) == 848, "install record layout");
static_assert(offsetof(PluginInstallRecord, Registry) == 924, "install record layout");
static_assert(offsetof(PluginInstallRecord, Macros) == 928, "install record layout");
static_assert(sizeof(PluginInstallRecord) == 932, "install record layout");
static_assert(sizeof(FwMapStringToPtr) == 28, "name map layout");
static_assert(offsetof(PluginNameIndex, Maps) == 4, "name index layout");
static_assert(sizeof(PluginNameIndex) == 4 + 7 * 28, "name index layout");
static_assert(offsetof(PluginRegistry, Index) == 524, "registry layout");
static_assert(offsetof(PluginRegistry, RemovalList) == 3576, "registry layout");
static_assert(sizeof(FwPtrArray) == 20, "removal list layout");
static_assert(sizeof(PluginRegistry) == 3596, "registry layout");
FW_LAYOUT_CHECKS_END
#endif
