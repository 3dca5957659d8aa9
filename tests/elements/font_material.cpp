#include "elements/font_material.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "support/fixtures.h"

namespace testsupport {

namespace {

using Bytes = std::vector<unsigned char>;

std::uint32_t Read32(const Bytes& b, std::size_t at) {
    return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 |
           std::uint32_t(b[at + 2]) << 8 | b[at + 3];
}
std::uint16_t Read16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}
void Write32(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<unsigned char>(v >> 24);
    b[at + 1] = static_cast<unsigned char>(v >> 16);
    b[at + 2] = static_cast<unsigned char>(v >> 8);
    b[at + 3] = static_cast<unsigned char>(v);
}
void Append16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<unsigned char>(v >> 8));
    b.push_back(static_cast<unsigned char>(v));
}

// The sum of the big-endian 32-bit words of b[from, from + length), zero-padded.
std::uint32_t TableSum(const Bytes& b, std::size_t from, std::size_t length) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < length; i += 4) {
        std::uint32_t word = 0;
        for (std::size_t k = 0; k < 4; ++k)
            word = word << 8 | (i + k < length ? b[from + i + k] : 0);
        sum += word;
    }
    return sum;
}

// A name table (format 0) with the family, style, unique, full and PostScript names, once for
// the Macintosh platform (Roman, 8-bit) and once for Windows (Unicode BMP, US English,
// UTF-16BE), records in the required order.
Bytes NameTable(const std::string& family) {
    std::string postscript;
    for (char c : family)
        if (c != ' ')
            postscript += c;
    const struct {
        std::uint16_t id;
        std::string text;
    } names[] = {{1, family},
                 {2, "Regular"},
                 {3, "Tarvo test font: " + family},
                 {4, family},
                 {6, postscript}};
    const std::size_t count = 2 * (sizeof names / sizeof names[0]);

    Bytes records, strings;
    auto add = [&](std::uint16_t platform, std::uint16_t encoding, std::uint16_t language,
                   std::uint16_t id, const Bytes& text) {
        Append16(records, platform);
        Append16(records, encoding);
        Append16(records, language);
        Append16(records, id);
        Append16(records, static_cast<std::uint16_t>(text.size()));
        Append16(records, static_cast<std::uint16_t>(strings.size()));
        strings.insert(strings.end(), text.begin(), text.end());
    };
    for (const auto& name : names)
        add(1, 0, 0, name.id, Bytes(name.text.begin(), name.text.end()));
    for (const auto& name : names) {
        Bytes wide;
        for (char c : name.text) {
            wide.push_back(0);
            wide.push_back(static_cast<unsigned char>(c));
        }
        add(3, 1, 0x409, name.id, wide);
    }

    Bytes table;
    Append16(table, 0);
    Append16(table, static_cast<std::uint16_t>(count));
    Append16(table, static_cast<std::uint16_t>(6 + records.size()));
    table.insert(table.end(), records.begin(), records.end());
    table.insert(table.end(), strings.begin(), strings.end());
    return table;
}

} // namespace

std::string BaseFontPath() {
    return WindowsPathOf("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
}

bool MakeRenamedFont(const std::string& source, const std::string& destination,
                     const std::string& family) {
    const std::string text = ReadFileBytes(source);
    Bytes font(text.begin(), text.end());
    if (font.size() < 12 || (Read32(font, 0) != 0x00010000 && Read32(font, 0) != 0x74727565))
        return false;
    const std::size_t tables = Read16(font, 4);
    if (font.size() < 12 + 16 * tables)
        return false;
    std::size_t nameEntry = 0, headOffset = 0;
    for (std::size_t i = 0; i < tables; ++i) {
        const std::size_t entry = 12 + 16 * i;
        const std::uint32_t tag = Read32(font, entry);
        if (tag == 0x6E616D65) // 'name'
            nameEntry = entry;
        if (tag == 0x68656164) // 'head'
            headOffset = Read32(font, entry + 8);
    }
    if (nameEntry == 0 || headOffset == 0 || headOffset + 12 > font.size())
        return false;

    // The new name table goes at the end of the file, 4-byte aligned; the old one stays
    // unreferenced.
    while (font.size() % 4)
        font.push_back(0);
    const Bytes table = NameTable(family);
    const std::size_t offset = font.size();
    font.insert(font.end(), table.begin(), table.end());
    while (font.size() % 4)
        font.push_back(0);
    Write32(font, nameEntry + 4, TableSum(font, offset, table.size()));
    Write32(font, nameEntry + 8, static_cast<std::uint32_t>(offset));
    Write32(font, nameEntry + 12, static_cast<std::uint32_t>(table.size()));

    Write32(font, headOffset + 8, 0);
    Write32(font, headOffset + 8, 0xB1B0AFBAu - TableSum(font, 0, font.size()));
    return WriteFileBytes(destination, std::string(font.begin(), font.end()));
}

std::string UniqueFamilyName(const std::string& stem) {
    static LONG counter = 0;
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, " %lX%lX%lX", GetCurrentProcessId(), GetTickCount(),
                  InterlockedIncrement(&counter));
    return stem + suffix;
}

} // namespace testsupport
