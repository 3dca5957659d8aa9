// Setting an element's fields from their text forms (a product description, an uninstall log).
// Kept apart from the record writers: reading a double needs the run time's number parser,
// which the programs that only write records do not carry.
#pragma once

#include <string>

#include "setup/core/element_fields.h"

enum class FieldTextResult {
    Set,
    NotAFlag,        // a flag takes "0" or "1"
    NotAWholeNumber, // an integer takes a decimal number (blanks around it allowed)
    NotANumber,      // a double takes a number (blanks around it allowed)
};
// Sets a field from its text form; anything but Set leaves the field as it was.
FieldTextResult SetFieldFromText(WSetupElement& element, const ElementField& field,
                                 const std::string& text);
