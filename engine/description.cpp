#include "description.h"

#include <unordered_map>

#include "file_io.h"
#include "setup/core/text.h"

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = FindText(text, ",", true, start);
        if (end == TextNotFound)
            end = text.size();
        const std::string part = Trimmed(text.substr(start, end - start));
        if (!part.empty())
            parts.push_back(part);
        start = end + 1;
    }
    return parts;
}

namespace {

std::string Located(const std::string& path, int line, const std::string& reason) {
    return path + "(" + std::to_string(line) + "): " + reason;
}

// The reader's place in the description: the section it is in, and the item the values go to.
class DescriptionReader {
public:
    DescriptionReader(const std::string& path, ProductDescription& description)
        : m_path(path), m_description(description) {}

    // One line of the file; false, with the error set, on a line that cannot be read.
    bool Line(const std::string& raw, int lineNumber, std::string& error) {
        m_line = lineNumber;
        const std::string line = Trimmed(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            return true;
        if (line[0] == '[')
            return Header(line, error);
        const std::string::size_type eq = line.find('=');
        if (eq == std::string::npos || Trimmed(line.substr(0, eq)).empty())
            return Fail("expected \"Name = value\"", error);
        return Value(
            DescribedValue{Trimmed(line.substr(0, eq)), Trimmed(line.substr(eq + 1)), lineNumber},
            error);
    }

private:
    enum class Section { None, Product, Variables, Macros, Item };

    bool Fail(const std::string& reason, std::string& error) const {
        error = Located(m_path, m_line, reason);
        return false;
    }

    bool Header(const std::string& line, std::string& error) {
        if (line.back() != ']')
            return Fail("a section line must end with \"]\"", error);
        const std::string header = Trimmed(line.substr(1, line.size() - 2));
        std::string kind = Trimmed(TextBefore(header, " "));
        std::string id = Trimmed(TextAfter(header, " "));
        if (header.find(' ') == std::string::npos) {
            kind = header;
            id.clear();
        }
        m_item = nullptr;
        if (header == "Product") {
            m_section = Section::Product;
        } else if (header == "Variables") {
            m_section = Section::Variables;
        } else if (header == "Macros") {
            m_section = Section::Macros;
        } else if (id.empty()) {
            return Fail("unknown section \"" + header +
                            "\" (an element section is \"[<class name> <Id>]\")",
                        error);
        } else {
            m_section = Section::Item;
            const bool component = kind == "Component";
            std::vector<DescribedItem>& list =
                component ? m_description.components : m_description.elements;
            // Each Id once among the components and once among the elements: one look-up per
            // section, however long the description.
            const auto first = (component ? m_componentLines : m_elementLines).emplace(id, m_line);
            if (!first.second)
                return Fail("\"" + id + "\" is described twice (first at line " +
                                std::to_string(first.first->second) + ")",
                            error);
            list.push_back(DescribedItem{kind, id, m_line, {}});
            m_item = &list.back();
        }
        return true;
    }

    bool ProductSetting(const DescribedValue& value, std::string& error) {
        if (value.name == "Name")
            m_description.name = value.value;
        else if (value.name == "Destination")
            m_description.destination = value.value;
        else if (value.name == "Group")
            m_description.group = value.value;
        else if (value.name == "Log")
            m_description.log = value.value;
        else if (value.name == "Disclaimer") {
            m_description.disclaimer = value.value;
            m_description.disclaimerLine = m_line;
        } else if (value.name == "Licence") {
            m_description.licence = value.value;
            m_description.licenceLine = m_line;
        } else if (value.name == "Icon") {
            m_description.icon = value.value;
            m_description.iconLine = m_line;
        } else if (value.name == "Version") {
            m_description.version = value.value;
        } else if (value.name == "Publisher") {
            m_description.publisher = value.value;
        } else if (value.name == "DisplayIcon") {
            m_description.displayIcon = value.value;
        } else if (value.name == "Types") {
            m_description.types.clear();
            for (const std::string& type : SplitList(value.value)) {
                for (const std::string& earlier : m_description.types)
                    if (EqualText(earlier, type, false))
                        return Fail("the setup type \"" + type + "\" is named twice", error);
                m_description.types.push_back(type);
            }
            if (m_description.types.empty() || m_description.types.size() > 4)
                return Fail("Types names one to four setup types", error);
            m_description.typesLine = m_line;
        } else if (value.name == "Type") {
            m_description.defaultType = value.value;
            m_description.defaultTypeLine = m_line;
        } else if (value.name == "Plugin") {
            m_description.plugin = value.value;
            m_description.pluginLine = m_line;
        } else
            return Fail("unknown product setting \"" + value.name + "\"", error);
        return true;
    }

    bool Value(const DescribedValue& value, std::string& error) {
        switch (m_section) {
        case Section::None:
            return Fail("a value before the first section", error);
        case Section::Product:
            return ProductSetting(value, error);
        case Section::Variables:
            m_description.variables.push_back(value);
            return true;
        case Section::Macros:
            if (value.name.compare(0, 5, "<CUST") != 0)
                return Fail("a custom macro's name begins with \"<CUST\", not \"" + value.name +
                                "\"",
                            error);
            m_description.customMacros.push_back(value);
            return true;
        case Section::Item:
            for (const DescribedValue& other : m_item->values)
                if (other.name == value.name)
                    return Fail("field " + value.name + " is set twice", error);
            m_item->values.push_back(value);
            return true;
        }
        return true;
    }

    const std::string& m_path;
    ProductDescription& m_description;
    Section m_section = Section::None;
    DescribedItem* m_item = nullptr;
    int m_line = 0;
    std::unordered_map<std::string, int> m_componentLines; // Id -> line of its section
    std::unordered_map<std::string, int> m_elementLines;
};

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
    DescriptionReader reader(path, description);
    int lineNumber = 0;
    for (const std::string& raw : lines)
        if (!reader.Line(raw, ++lineNumber, error))
            return false;
    if (description.destination.empty()) {
        error = path + ": the [Product] section names no Destination";
        return false;
    }
    return true;
}
