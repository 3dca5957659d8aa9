// What the product engine knows of each element kind: the fields a product description may set
// (by the element's own field names), the columns of the kind's full record (so that an element
// can be rebuilt from the uninstall log), and the operations that install, undo and check it.
//
// The library gives every kind its fields and its record, but not a table of either: an engine
// has to keep this table in step with the kinds. RecordRoundTrips() is the guard: an element
// rebuilt from its record must write the same record again.
#pragma once

#include <string>
#include <vector>

#include "setup/core/element.h"
#include "setup/core/framework.h"

enum class FieldForm { Text, Integer, Flag, Number };

struct FieldInfo {
    const char* name;
    FieldForm form;
    // The field inside an element of the kind (the element must be of that kind).
    void* (*locate)(WSetupElement* element);
};

struct KindInfo {
    const char* className;
    int kind;
    std::vector<FieldInfo> fields;
    // The columns of GetFullRecord, by field name. "Size#" is Size written as a whole number.
    std::vector<const char*> recordColumns;
    // The one column whose value may hold "," (the record does not escape it), or -1.
    int wideColumn;
};

// The table entry of a registered element class name; null for any other name.
const KindInfo* FindKind(const std::string& className);
const KindInfo* FindKind(int kind);
const FieldInfo* FindField(const KindInfo& kind, const std::string& fieldName);

// Sets a field from its text form; false (with a reason) when the text is not of the field's form.
bool SetField(WSetupElement* element, const FieldInfo& field, const std::string& text,
              std::string& reason);

// Rebuilds the record columns of an element from a full record; false with a reason when the
// record does not split into the kind's columns.
bool SetFromRecord(WSetupElement* element, const KindInfo& kind, const std::string& record,
                   std::string& reason);

// The order in which the engine installs the kinds (removal runs it backwards).
const std::vector<int>& InstallOrder();

// What one operation on an element answered.
struct StepResult {
    int status;
    std::string note; // error text of the step, paths it scheduled for the restart
};

// Installing: the kind's install operations (Install, or InstallStep and what follows it).
StepResult InstallElement(WSetupElement* element, FwStringArray& rebootList, FwPtrArray& collected);
// Undoing: the kind's uninstall operations (Uninstall, UninstallStep or Remove).
StepResult UndoElement(WSetupElement* element, FwStringArray& rebootList);
// Checking: Verify().
int VerifyElement(WSetupElement* element);

enum class Phase { Install, Undo, Check };
// Whether a status of the kind means that the element's work failed. Each kind reports in its
// own scheme (files name the copy rule that applied, registry entries what they wrote, the
// check of a registry entry answers 15 for an entry it could read), so "not 0" is no answer.
bool IsFailure(int kind, Phase phase, int status);
