// Line-oriented INI files read and rewritten as text: section and key lines, the rewrite that
// drops or gathers sections, the appended section and the value look-up.
#include "setup/core/ini_file.h"

#include <windows.h>

#include <algorithm>

#include "setup/core/handles.h"
#include "setup/core/line_file.h"
#include "setup/core/path.h"

using namespace linefile;

namespace {

// How far back AppendIniSection looks for the end of the file's last line.
constexpr DWORD TailBytes = 4096;

// The name of a section line; false for any other line.
bool SectionName(const std::string& line, std::string& name) {
    std::size_t p = 0;
    while (p < line.size() && IsBlank(line[p]))
        ++p;
    if (p == line.size() || line[p] != '[')
        return false;
    const std::size_t close = FindText(line, "]", true, p + 1);
    if (close == TextNotFound)
        return false;
    name = Trimmed(line.substr(p + 1, close - p - 1));
    return !name.empty();
}

bool IsKeyLine(const std::string& line) {
    const std::size_t equals = FindText(line, "=", true);
    return equals != TextNotFound && !Trimmed(line.substr(0, equals)).empty();
}

bool SameName(const std::string& name, const std::string& wanted) {
    return EqualText(name, Trimmed(wanted), false);
}

bool NameInList(const std::string& name, const TextList& names) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return SameName(name, n); });
}

// What comes before a new section: nothing at the start of an empty file or after a blank line,
// a line break to end a last line without one, otherwise a line break that makes a blank line.
const char* SectionSeparator(bool empty, bool lastLineEnded, bool lastLineBlank) {
    if (empty || (lastLineEnded && lastLineBlank))
        return "";
    return LineBreak;
}

// Writes `section` and its lines to `writer`.
void WriteSection(Writer& writer, const std::string& section, const TextList& lines) {
    writer.Write("[" + section + "]" + LineBreak);
    for (const std::string& line : lines) {
        writer.Write(line);
        writer.Write(LineBreak);
    }
}

// Rewrites an INI file without the named sections. With `append` set, the key lines of the
// removed sections followed by `extraLines` are written again as one section named `*append`
// at the end of the file (which is created when missing). Nothing is written when nothing
// changes.
bool RewriteIni(const std::string& file, const TextList& sections, const std::string* append,
                const TextList& extraLines) {
    const bool exists = WhatIsAt(file) != PathKind::Nothing;
    if (!exists && !append)
        return false;
    TempFile temp;
    Writer writer;
    if (!temp.Create(writer))
        return false;

    TextList carried;
    bool removed = false;
    bool empty = true;
    bool lastEnded = false;
    bool lastBlank = false;
    if (exists) {
        Reader reader;
        if (!reader.Open(file))
            return false;
        bool skipping = false;
        std::string line;
        std::string name;
        const char* ending = "";
        for (;;) {
            const Reader::Result r = reader.NextLine(line, ending);
            if (r == Reader::Failed)
                return false;
            if (r == Reader::End)
                break;
            Pump();
            if (SectionName(line, name)) {
                skipping = NameInList(name, sections);
                removed = removed || skipping;
                if (skipping)
                    continue;
            } else if (skipping) {
                if (append && IsKeyLine(line))
                    carried.push_back(line);
                continue;
            }
            writer.Write(line);
            writer.Write(ending);
            empty = false;
            lastEnded = *ending != '\0';
            lastBlank = Trimmed(line).empty();
        }
    }
    if (append) {
        carried.insert(carried.end(), extraLines.begin(), extraLines.end());
        writer.Write(SectionSeparator(empty, lastEnded, lastBlank));
        WriteSection(writer, *append, carried);
    }
    if (!writer.Close())
        return false;
    if (!removed && !append)
        return true;
    return CopyBack(temp.Path(), file, append != nullptr);
}

} // namespace

bool ReadIniSectionLines(const std::string& file, const std::string& section, TextList& lines,
                         bool keepAll) {
    lines.clear();
    Reader reader;
    if (!reader.Open(file))
        return false;
    bool inside = false;
    std::string line;
    std::string name;
    const char* ending = "";
    for (;;) {
        const Reader::Result r = reader.NextLine(line, ending);
        if (r == Reader::Failed) {
            lines.clear();
            return false;
        }
        if (r == Reader::End)
            return true;
        Pump();
        if (SectionName(line, name))
            inside = SameName(name, section);
        else if (inside && (keepAll || IsKeyLine(line)))
            lines.push_back(line);
    }
}

bool RemoveIniSections(const std::string& file, const TextList& sections) {
    return RewriteIni(file, sections, nullptr, TextList());
}

bool AddToIniSectionAtEnd(const std::string& file, const std::string& section,
                          const TextList& lines) {
    return RewriteIni(file, TextList{section}, &section, lines);
}

bool AppendIniSection(const std::string& section, const std::string& file, const TextList& lines) {
    KernelHandle handle(CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    unsigned long long size = 0;
    if (!handle.IsOpen() || !SizeOf(handle.Get(), size))
        return false;

    // The end of the last line decides what separates the new section from it.
    bool lastEnded = false;
    bool lastBlank = false;
    if (size > 0) {
        const DWORD want = size < TailBytes ? static_cast<DWORD>(size) : TailBytes;
        std::string tail(want, '\0');
        DWORD got = 0;
        if (!SeekTo(handle.Get(), size - want) ||
            !ReadFile(handle.Get(), &tail[0], want, &got, nullptr) || got != want)
            return false;
        lastEnded = tail.back() == '\n';
        std::size_t p = tail.size() - (lastEnded ? 1 : 0);
        if (lastEnded && p > 0 && tail[p - 1] == '\r')
            --p;
        while (p > 0 && IsBlank(tail[p - 1]))
            --p;
        lastBlank = p == 0 || tail[p - 1] == '\n';
    }

    std::string text = SectionSeparator(size == 0, lastEnded, lastBlank);
    text += "[" + section + "]" + LineBreak;
    for (const std::string& line : lines)
        text += line + LineBreak;
    if (!SeekTo(handle.Get(), size))
        return false;
    if (!WriteAll(handle.Get(), text.data(), text.size())) {
        if (SeekTo(handle.Get(), size))
            SetEndOfFile(handle.Get());
        return false;
    }
    return handle.Reset();
}

std::string GetIniValue(const std::string& file, const std::string& section,
                        const std::string& key) {
    const std::string wantedKey = Trimmed(key);
    const std::string wantedSection = Trimmed(section);
    if (wantedKey.empty())
        return {};
    Reader reader;
    if (!reader.Open(file))
        return {};
    bool inside = wantedSection.empty();
    std::string line;
    std::string name;
    const char* ending = "";
    for (;;) {
        const Reader::Result r = reader.NextLine(line, ending);
        if (r != Reader::Complete)
            return {};
        Pump();
        if (SectionName(line, name)) {
            if (wantedSection.empty())
                continue;
            if (inside)
                return {};
            inside = SameName(name, wantedSection);
            continue;
        }
        if (!inside)
            continue;
        const std::size_t equals = FindText(line, "=", true);
        if (equals != TextNotFound && EqualText(Trimmed(line.substr(0, equals)), wantedKey, false))
            return Trimmed(line.substr(equals + 1));
    }
}
