#include "kinds.h"

#include "setup/core/text.h"
#include "setup/elements/element_kinds.h"

#include <cstddef>
#include <vector>

bool SetField(WSetupElement* element, const ElementField& field, const std::string& text,
              std::string& reason) {
    switch (SetFieldFromText(*element, field, text)) {
    case FieldTextResult::Set:
        return true;
    case FieldTextResult::NotAFlag:
        reason = std::string("field ") + field.name + " takes 0 or 1, not \"" + text + "\"";
        return false;
    case FieldTextResult::NotAWholeNumber:
        reason = std::string("field ") + field.name + " takes a whole number, not \"" + text + "\"";
        return false;
    case FieldTextResult::NotANumber:
        reason = std::string("field ") + field.name + " takes a number, not \"" + text + "\"";
        return false;
    }
    return false;
}

const ElementField* FieldBreakingRecord(WSetupElement* element, const ElementFieldTable& fields) {
    for (const ElementField* field : FullRecordFields(fields))
        if (field->column != fields.wideColumn &&
            FieldText(*element, *field).find(',') != std::string::npos)
            return field;
    return nullptr;
}

bool SetFromRecord(WSetupElement* element, const ElementFieldTable& fields,
                   const std::string& record, std::string& reason) {
    // Every column is followed by ",": split, dropping the empty text after the last one.
    TextList columns;
    std::string::size_type start = 0;
    for (;;) {
        std::string::size_type comma = record.find(',', start);
        if (comma == std::string::npos)
            break;
        columns.push_back(record.substr(start, comma - start));
        start = comma + 1;
    }
    if (start != record.size()) {
        reason = "the record does not end with \",\"";
        return false;
    }
    const std::vector<const ElementField*> recordFields = FullRecordFields(fields);
    const std::size_t expected = recordFields.size();
    if (columns.size() < expected) {
        reason = "the record has " + std::to_string(columns.size()) + " columns, " +
                 std::to_string(expected) + " expected";
        return false;
    }
    if (columns.size() > expected) {
        if (fields.wideColumn <= 0) {
            reason = "the record has more columns than the kind writes";
            return false;
        }
        // The surplus belongs to the one column that may hold ",".
        std::size_t extra = columns.size() - expected;
        std::size_t w = static_cast<std::size_t>(fields.wideColumn - 1);
        for (std::size_t i = 0; i < extra; ++i)
            columns[w] += "," + columns[w + 1 + i];
        const auto first = columns.begin() + static_cast<std::ptrdiff_t>(w + 1);
        columns.erase(first, first + static_cast<std::ptrdiff_t>(extra));
    }
    for (std::size_t i = 0; i < expected; ++i)
        if (!SetField(element, *recordFields[i], columns[i], reason))
            return false;
    return true;
}
