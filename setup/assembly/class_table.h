// The setup library's classes by name: the framework's containers, the element model and the
// seventeen element kinds (kind codes 0 to 16).
#pragma once

// Installs the table that FwRuntimeClass::FromName and FwRuntimeClass::CreateObject(name)
// search. A program that creates setup objects by name calls it once at its start; calling it
// again is harmless. Linking it links every element kind.
void UseSetupClassTable();
