// The loader's own string resources.
#pragma once

#include <windows.h>

#include <string>

// A string of the running program's string table (at most 1023 characters); empty when there
// is none.
std::string LoadResourceText(UINT id);
