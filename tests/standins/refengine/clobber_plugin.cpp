// A plug-in that misbehaves on purpose, to prove that the reference engine notices: each entry
// point changes one piece of engine state that a plug-in must leave alone, and returns 1.
#include <windows.h>

#include "plugin/engine_interface.h"

extern "C" {

LONG WINAPI Initialize(LONG, InstallRecord* record, void*, const char*) {
    record->EngineFieldsBeforeRunMode[sizeof record->EngineFieldsBeforeRunMode - 1] = 0;
    return 1;
}

LONG WINAPI PreInstall(LONG, InstallRecord* record, void*, const char*) {
    record->RunMode += 1;
    return 1;
}

LONG WINAPI PostInstall(LONG, InstallRecord* record, void* other, const char*) {
    record->EngineFieldsBeforeRegistry[0] ^= 1;
    static_cast<unsigned char*>(other)[0] = 0;
    return 1;
}

LONG WINAPI PreUNInstall(LONG, ComponentRegistry* registry, void*, const char*) {
    registry->EngineFieldsBeforeIndex[0] = 0;
    registry->EngineFieldsBeforeRemovalList[100] = 0;
    return 1;
}

LONG WINAPI PostUNInstall(LONG, void*, void*, const char* text) {
    if (*text)
        const_cast<char*>(text)[0] = '!';
    return 1;
}

LONG WINAPI UNInitialize(LONG, void*, void*, const char*) {
    return 1; // behaves: nothing may be reported for it
}

} // extern "C"
