// What the product engine does with each element kind beyond the library's catalogue
// (setup/elements/element_kinds.h, which gives every kind's fields, records and the meaning of
// its status codes): reading fields from texts, rebuilding an element from its uninstall-log
// record, and the operations that install, undo and check it.
#pragma once

#include <string>
#include <vector>

#include "setup/core/element.h"
#include "setup/core/field_text.h"
#include "setup/core/framework.h"

// Sets a field from its text form; false (with a reason) when the text is not of the field's form.
bool SetField(WSetupElement* element, const ElementField& field, const std::string& text,
              std::string& reason);

// The first field of the full record, other than the kind's one wide column, whose text holds
// ","; null when the record splits back into the element's fields.
const ElementField* FieldBreakingRecord(WSetupElement* element, const ElementFieldTable& fields);

// Rebuilds the record columns of an element from a full record; false with a reason when the
// record does not split into the kind's columns or a column is not of its field's form.
bool SetFromRecord(WSetupElement* element, const ElementFieldTable& fields,
                   const std::string& record, std::string& reason);

// The order in which the engine installs the kinds (removal runs it backwards).
const std::vector<int>& InstallOrder();

// What one operation on an element answered.
struct StepResult {
    int status;
    std::string note;     // error text of the step, paths it scheduled for the restart
    int fontRegistration; // a font's registration after its copy (a code of RegisterFont)
};

// Installing: the kind's install operations (Install, or InstallStep and what follows it).
StepResult InstallElement(WSetupElement* element, FwStringArray& rebootList, FwPtrArray& collected);
// Undoing: the kind's uninstall operations (Uninstall, UninstallStep or Remove).
StepResult UndoElement(WSetupElement* element, FwStringArray& rebootList);
// Checking: Verify().
int VerifyElement(WSetupElement* element);

// The kinds whose work is removal's (what the product makes when it runs, what the product asks
// to run when it is removed): their install step has nothing to do, and their undo is what
// removal and rollback run even when the install step found nothing to do.
bool ActsAtRemoval(int kind);
