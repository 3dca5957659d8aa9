// The author's reference, docs/description.md: the engine's parser reads the page's description
// examples, the engine's whole check accepts them (with the medium files they name made for it)
// or refuses one at the line the page gives, and the page describes every element class with
// every one of its fields.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "description.h"
#include "setup/elements/element_kinds.h"
#include "support/fixtures.h"

using testsupport::ReadFileBytes;
using testsupport::RunAndWait;
using testsupport::TempFolder;
using testsupport::WriteFileBytes;

namespace {

struct Example {
    int line = 0;      // of the opening fence in the page
    int refusedAt = 0; // "refused-at=<n>": the line of the example the check must name
    std::string text;
};

std::string Page() {
    const std::string root = testsupport::EnvText("TARVO_SOURCE_DIR");
    if (root.empty())
        return "";
    return ReadFileBytes(testsupport::WindowsPathOf(root + "/docs/description.md"));
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// The fenced blocks whose info string begins with "description".
std::vector<Example> ExamplesOf(const std::string& page) {
    std::vector<Example> examples;
    const std::vector<std::string> lines = Lines(page);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].compare(0, 14, "```description") != 0)
            continue;
        Example example;
        example.line = static_cast<int>(i + 1);
        const std::string::size_type at = lines[i].find("refused-at=");
        if (at != std::string::npos)
            example.refusedAt = std::atoi(lines[i].c_str() + at + 11);
        for (++i; i < lines.size() && lines[i] != "```"; ++i)
            example.text += lines[i] + "\r\n";
        examples.push_back(example);
    }
    return examples;
}

std::string Engine() {
    return testsupport::ProgramFolder() + "\\standins\\productengine.exe";
}

// Makes every file the description copies from a medium below `medium` (<S>).
void MakeMediumFiles(const ProductDescription& description, const TempFolder& medium) {
    for (const DescribedItem& item : description.elements) {
        if (item.className != "WSetupFile" && item.className != "WSetupTTFFile")
            continue;
        std::string folder, mediaName, sourceName;
        for (const DescribedValue& v : item.values) {
            if (v.name == "SourceDir")
                folder = v.value;
            else if (v.name == "MediaName")
                mediaName = v.value;
            else if (v.name == "SourceName")
                sourceName = v.value;
        }
        ASSERT_EQ(folder.compare(0, 3, "<S>"), 0)
            << item.id << ": an example's file comes from the medium";
        std::string path = medium.Path() + folder.substr(3);
        CreateDirectoryA(path.c_str(), nullptr);
        ASSERT_TRUE(WriteFileBytes(path + "\\" + (mediaName.empty() ? sourceName : mediaName),
                                   "medium file\r\n"));
    }
    if (!description.plugin.empty()) {
        ASSERT_TRUE(WriteFileBytes(medium / description.plugin, "medium plug-in\r\n"));
    }
}

TEST(DescriptionReference, ItsExamplesParseAndPassTheEnginesCheck) {
    const std::string page = Page();
    ASSERT_FALSE(page.empty()) << "docs/description.md not found (TARVO_SOURCE_DIR)";
    const std::vector<Example> examples = ExamplesOf(page);
    int accepted = 0;
    int refused = 0;
    std::printf("%-12s %-10s %-6s %s\n", "page line", "expected", "exit", "first refusal");
    for (const Example& example : examples) {
        TempFolder medium;
        const std::string path = medium / "product.txt";
        ASSERT_TRUE(WriteFileBytes(path, example.text));
        ProductDescription description;
        std::string error;
        const bool read = ReadDescription(path, description, error);
        if (!example.refusedAt) {
            EXPECT_TRUE(read) << "example at line " << example.line << ": " << error;
            if (!read)
                continue;
            MakeMediumFiles(description, medium);
        }
        const std::string out = medium / "validate.out";
        const long code = RunAndWait("\"" + Engine() + "\" mode=validate \"description=" + path +
                                     "\" \"output=" + out + "\"");
        const std::string output = ReadFileBytes(out);
        std::string firstRefusal;
        const std::string::size_type at = output.find("refused ");
        if (at != std::string::npos)
            firstRefusal = output.substr(at, output.find('\r', at) - at);
        std::printf("%-12d %-10s %-6ld %s\n", example.line,
                    example.refusedAt ? "refused" : "accepted", code, firstRefusal.c_str());
        if (example.refusedAt) {
            ++refused;
            EXPECT_EQ(code, 2) << output;
            EXPECT_NE(output.find("product.txt(" + std::to_string(example.refusedAt) + "): "),
                      std::string::npos)
                << "example at line " << example.line << " is refused elsewhere:\n"
                << output;
        } else {
            ++accepted;
            EXPECT_EQ(code, 0) << "example at line " << example.line << ":\n" << output;
        }
    }
    EXPECT_GE(accepted, 3) << "the page lost its examples";
    EXPECT_GE(refused, 1) << "the page lost its refused example";
}

// The part of the page under the "### " heading that names the class.
std::string SectionOf(const std::string& page, const std::string& className) {
    const std::vector<std::string> lines = Lines(page);
    std::string section;
    bool inside = false;
    for (const std::string& line : lines) {
        if (line.compare(0, 3, "## ") == 0 || line.compare(0, 4, "### ") == 0) {
            inside = false;
            if (line.compare(0, 4, "### ") == 0) {
                const std::string heading = " " + line.substr(4) + " ";
                inside = heading.find(" " + className + " ") != std::string::npos;
            }
            continue;
        }
        if (inside)
            section += line + "\n";
    }
    return section;
}

TEST(DescriptionReference, DescribesEveryClassAndEveryField) {
    const std::string page = Page();
    ASSERT_FALSE(page.empty());
    int missing = 0;
    for (int kind = 0; kind <= 16; ++kind) {
        const ElementKindInfo* info = FindElementKind(kind);
        ASSERT_NE(info, nullptr) << kind;
        const std::string section = SectionOf(page, info->className);
        std::string absent;
        // A kind that extends another's table is described by that kind's section, which its
        // own section names.
        std::string where = section;
        for (const ElementFieldTable* table = info->fields; table; table = table->extends) {
            for (std::size_t i = 0; i < table->count; ++i) {
                const std::string name = table->fields[i].name;
                if (name == "Id")
                    continue; // the section line's
                if (where.find("`" + name + "`") == std::string::npos) {
                    absent += " " + name;
                    ++missing;
                }
            }
            if (table->extends) {
                const ElementKindInfo* base = nullptr;
                for (int other = 0; other <= 16; ++other)
                    if (FindElementKind(other)->fields == table->extends)
                        base = FindElementKind(other);
                ASSERT_NE(base, nullptr) << info->className;
                EXPECT_NE(section.find(std::string("`") + base->className + "`"), std::string::npos)
                    << info->className << "'s section must name " << base->className;
                where = SectionOf(page, base->className);
            }
        }
        std::printf("%-22s %s%s\n", info->className, section.empty() ? "NO SECTION" : "described",
                    absent.empty() ? "" : ("; not described:" + absent).c_str());
        EXPECT_FALSE(section.empty()) << info->className;
    }
    EXPECT_EQ(missing, 0);
}

} // namespace
