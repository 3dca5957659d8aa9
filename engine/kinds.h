// What the product engine does with each element kind beyond the library's catalogue
// (setup/elements/element_kinds.h, which gives every kind's fields, records and the meaning of
// its status codes): reading fields from texts and rebuilding an element from its uninstall-log
// record. What the transaction does with each kind is its row in kind_table.h.
#pragma once

#include <string>

#include "setup/core/element.h"
#include "setup/core/field_text.h"

// Sets a field from its text form; false (with a reason) when the text is not of the field's form.
[[nodiscard]] bool SetField(WSetupElement* element, const ElementField& field,
                            const std::string& text, std::string& reason);

// The first field of the full record, other than the kind's one wide column, whose text holds
// ","; null when the record splits back into the element's fields.
const ElementField* FieldBreakingRecord(WSetupElement* element, const ElementFieldTable& fields);

// Rebuilds the record columns of an element from a full record; false with a reason when the
// record does not split into the kind's columns or a column is not of its field's form.
[[nodiscard]] bool SetFromRecord(WSetupElement* element, const ElementFieldTable& fields,
                                 const std::string& record, std::string& reason);
