#include "setup/core/field_text.h"

#include <cstdlib>

#include "setup/core/text.h"

namespace {

bool ParseWhole(const std::string& text, long& value) {
    const std::string t = Trimmed(text);
    if (t.empty())
        return false;
    char* end = nullptr;
    value = std::strtol(t.c_str(), &end, 10);
    return *end == '\0';
}

bool ParseReal(const std::string& text, double& value) {
    const std::string t = Trimmed(text);
    if (t.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(t.c_str(), &end);
    return *end == '\0';
}

} // namespace

FieldTextResult SetFieldFromText(WSetupElement& element, const ElementField& field,
                                 const std::string& text) {
    switch (field.form) {
    case FieldForm::Text:
        element.*field.text = FwString(text.c_str());
        return FieldTextResult::Set;
    case FieldForm::Flag:
        if (text != "0" && text != "1")
            return FieldTextResult::NotAFlag;
        element.*field.number = text == "1" ? 1 : 0;
        return FieldTextResult::Set;
    case FieldForm::Integer: {
        long value = 0;
        if (!ParseWhole(text, value))
            return FieldTextResult::NotAWholeNumber;
        element.*field.number = static_cast<int>(value);
        return FieldTextResult::Set;
    }
    case FieldForm::Double:
    case FieldForm::WholeDouble: {
        double value = 0.0;
        if (!ParseReal(text, value))
            return FieldTextResult::NotANumber;
        element.*field.real = value;
        return FieldTextResult::Set;
    }
    }
    return FieldTextResult::NotANumber;
}
