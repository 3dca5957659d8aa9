// The whole setup library in one image, for the import check only (it is not shipped): the
// deliverables link just the parts they use, so their import tables say nothing about the
// element kinds an engine links. Creating classes by name reaches every class of the table and,
// through their operations, everything they call.
#include <windows.h>

#include "setup/assembly/class_table.h"
#include "setup/core/framework.h"

extern "C" __declspec(dllexport) void* __stdcall TarvoCreateByName(const char* name) {
    UseSetupClassTable();
    return FwRuntimeClass::CreateObject(name);
}
