#include "description.h"

#include "file_io.h"
#include "setup/core/text.h"

namespace {

std::string Located(const std::string& path, int line, const std::string& reason) {
    return path + "(" + std::to_string(line) + "): " + reason;
}

} // namespace

bool ReadDescription(const std::string& path, ProductDescription& description, std::string& error) {
    std::string text;
    if (!ReadWholeFile(path, text)) {
        error = path + ": cannot be read";
        return false;
    }
    bool torn = false;
    const std::vector<std::string> lines = SplitLines(text, torn);
    description = ProductDescription();
    description.path = path;

    enum class Section { None, Product, Variables, Macros, Item };
    Section section = Section::None;
    DescribedItem* item = nullptr;
    int lineNumber = 0;
    for (const std::string& raw : lines) {
        ++lineNumber;
        std::string line = Trimmed(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (line[0] == '[') {
            if (line.back() != ']') {
                error = Located(path, lineNumber, "a section line must end with \"]\"");
                return false;
            }
            std::string header = Trimmed(line.substr(1, line.size() - 2));
            std::string kind = Trimmed(TextBefore(header, " "));
            std::string id = Trimmed(TextAfter(header, " "));
            if (header.find(' ') == std::string::npos) {
                kind = header;
                id.clear();
            }
            item = nullptr;
            if (header == "Product") {
                section = Section::Product;
            } else if (header == "Variables") {
                section = Section::Variables;
            } else if (header == "Macros") {
                section = Section::Macros;
            } else if (id.empty()) {
                error = Located(path, lineNumber,
                                "unknown section \"" + header +
                                    "\" (an element section is \"[<class name> <Id>]\")");
                return false;
            } else {
                section = Section::Item;
                std::vector<DescribedItem>& list =
                    kind == "Component" ? description.components : description.elements;
                for (const DescribedItem& other : list) {
                    if (other.id == id &&
                        (kind == "Component") == (other.className == "Component")) {
                        error = Located(path, lineNumber,
                                        "\"" + id + "\" is described twice (first at line " +
                                            std::to_string(other.line) + ")");
                        return false;
                    }
                }
                list.push_back(DescribedItem{kind, id, lineNumber, {}});
                item = &list.back();
            }
            continue;
        }
        std::string::size_type eq = line.find('=');
        if (eq == std::string::npos || Trimmed(line.substr(0, eq)).empty()) {
            error = Located(path, lineNumber, "expected \"Name = value\"");
            return false;
        }
        DescribedValue value{Trimmed(line.substr(0, eq)), Trimmed(line.substr(eq + 1)), lineNumber};
        switch (section) {
        case Section::None:
            error = Located(path, lineNumber, "a value before the first section");
            return false;
        case Section::Product:
            if (value.name == "Name")
                description.name = value.value;
            else if (value.name == "Destination")
                description.destination = value.value;
            else if (value.name == "Group")
                description.group = value.value;
            else if (value.name == "Log")
                description.log = value.value;
            else if (value.name == "Disclaimer") {
                description.disclaimer = value.value;
                description.disclaimerLine = lineNumber;
            } else {
                error = Located(path, lineNumber, "unknown product setting \"" + value.name + "\"");
                return false;
            }
            break;
        case Section::Variables:
            description.variables.push_back(value);
            break;
        case Section::Macros:
            if (value.name.compare(0, 5, "<CUST") != 0) {
                error = Located(path, lineNumber,
                                "a custom macro's name begins with \"<CUST\", not \"" + value.name +
                                    "\"");
                return false;
            }
            description.customMacros.push_back(value);
            break;
        case Section::Item:
            for (const DescribedValue& other : item->values) {
                if (other.name == value.name) {
                    error = Located(path, lineNumber, "field " + value.name + " is set twice");
                    return false;
                }
            }
            item->values.push_back(value);
            break;
        }
    }
    if (description.destination.empty()) {
        error = path + ": the [Product] section names no Destination";
        return false;
    }
    return true;
}
