// The seventeen element kinds as one catalogue: each kind's registered class name, kind code,
// field table and meaning table, for a program that builds and drives elements by name.
#pragma once

#include <string>

#include "setup/core/element.h"
#include "setup/core/element_fields.h"

struct ElementKindInfo {
    const char* className;
    int kind; // WSetupKind
    const ElementFieldTable* fields;
    const StepMeaningTable* meanings;
};

// The entry of a registered element class name (case-sensitive) or kind code; null for any
// other.
const ElementKindInfo* FindElementKind(const std::string& className);
const ElementKindInfo* FindElementKind(int kind);

// What `status` of `step` means for an element of kind `kind`; Failed for an unknown kind.
StepMeaning MeaningOfStatus(int kind, ElementStep step, int status);
// The name the kind gives `status` of `step`; null for a code it does not name or an unknown kind.
const char* StatusNameOf(int kind, ElementStep step, int status);
